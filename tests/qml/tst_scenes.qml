import QtQuick 2.14
import QtTest 1.14
import "../../src/qml"
import "../../src/qml/control"
import "../../src/qml/settings"

// The scenes strip and page against a stand-in scene service that records what it is asked.
Item {
    id: window
    width: 1200; height: 720

    property var toasts: []
    function toast(text) { toasts.push(text); }

    Style { id: globalStyle }
    QtObject {
        id: manager
        property bool locked: false
        function login(password) { locked = password !== "right"; return !locked; }
    }
    // The file chooser answers what a test sets; the transfer records what it is asked.
    QtObject {
        id: filePicker
        property string answer
        function fileToWrite(title, suggested) { return answer; }
        function fileToRead(title, suggested) { return answer; }
    }
    QtObject {
        id: configTransfer
        property string defaultPath; property string lastMessage; property bool lastSucceeded: true
        property var existing: ["/t/site.json"]; property string refusal; property var calls: []
        function fileExists(path) { return existing.indexOf(path) >= 0; }
        function check(path) { calls.push(["check", path]); lastMessage = refusal; return lastSucceeded = refusal === ""; }
        function exportTo(path, withSecrets) { calls.push(["exportTo", path]); lastMessage = "saved"; return true; }
        function importFrom(path) { calls.push(["importFrom", path]); return true; }
    }

    QtObject {
        id: scenes
        property var names: ["Morning", "Evening"]
        property string activeScene; property string saveMessage
        property bool recalling; property string recallingScene: "Morning"; property int recallDone: 1; property int recallTotal: 4
        function onceNote(at) { return at === "2099-03-29T02:30" ? "runs at 03:00: the clock skips 02:30" : ""; }
        readonly property var savedSchedules: [
            { "name": "Wake", "action": "scene", "scene": "Evening", "time": "07:30", "weekdays": [1, 5], "enabled": true },
            { "name": "Night", "action": "power_off", "at": "2099-01-01T22:00", "enabled": false, "missed": "missed: the controller was off" }
        ]
        property var schedules: savedSchedules
        property var calls: []; property var failures: []
        signal recallFinished
        function recallScene(name) { calls.push(["recallScene", name]); return true; }
        function retryRecall() { calls.push(["retryRecall"]); return true; }
        function saveSchedule(name, action, scene, time, days, at, replacing) {
            calls.push(["saveSchedule", name, action, scene, time, days, at, replacing]);
            return true;
        }
        function setScheduleEnabled(name, on) { calls.push(["setScheduleEnabled", name, on]); return true; }
        function saveScene(name, screens, power) { calls.push(["saveScene", name, power]); return saveMessage.indexOf("Not saved") !== 0; }
        function renameScene(name, newName) { calls.push(["renameScene", name, newName]); return true; }
        function sceneExists(name) { return names.some(function (n) { return n.toLowerCase() === name.trim().toLowerCase(); }); }
        function deleteScene(name) { calls.push(["deleteScene", name]); return true; }
        function schedulesRecalling(scene) { return scene === "Evening" ? ["Wake"] : []; }
        function deleteSchedule(name) { calls.push(["deleteSchedule", name]); return true; }
    }

    DialogLayerStub { id: dialogLayer }

    ScenesStrip { id: strip; width: 1200 }
    ScenesPage { id: page; y: 80; width: 1100; height: 640 }

    TestCase {
        name: "Scenes"
        when: windowShown

        function init() {
            scenes.calls = []; configTransfer.calls = []; window.toasts = [];
            scenes.names = ["Morning", "Evening"];
            scenes.schedules = scenes.savedSchedules;
            scenes.activeScene = scenes.saveMessage = page.saveNote = dialogLayer.question = "";
            manager.locked = false;
            dialogLayer.openCount = 0;
            page.newSchedule();
            page.scenesOpen = page.schedulesOpen = page.transferOpen = true;
            pageItem("sceneNameField").text = pageItem("sceneNameField").error = "";
            pageItem("scenesSections").contentY = 0;
        }

        function pageItem(name) { return findChild(page, name); }
        function shownText(item) { return item.visible ? item.text : ""; }
        function sceneRow(row, name) { return findChild(pageItem("sceneRows").itemAt(row), name); }
        function scheduleRow(row, name) { return findChild(pageItem("scheduleRows").itemAt(row), name); }

        // A recall blocks further taps, shows its progress, then reports what did not confirm
        // until the report is closed.
        function test_strip() {
            var buttons = findChild(strip, "sceneButtons");
            scenes.activeScene = "Evening";
            compare([0, 1].map(function (i) { return Qt.colorEqual(buttons.itemAtIndex(i).border.color, globalStyle.accent); }), [false, true]);

            mouseClick(buttons.itemAtIndex(0));
            scenes.recalling = true;
            mouseClick(buttons.itemAtIndex(1));
            compare(scenes.calls, [["recallScene", "Morning"]]);
            verify(findChild(strip, "recallProgressText").text.indexOf("1 of 4") >= 0);

            scenes.failures = [{ "decoder": "IPD-7", "alias": "Lobby left", "outcome": "timed_out" }];
            scenes.recalling = false;
            scenes.recallFinished();
            var report = findChild(strip, "recallReport");
            verify(report.visible && report.text.indexOf("Lobby left") >= 0, report.text);
            mouseClick(findChild(strip, "retryRecall"));
            mouseClick(findChild(strip, "closeReport"));
            compare([scenes.calls[1], findChild(strip, "sceneStatus").visible], [["retryRecall"], false]);

            scenes.failures = [];
            scenes.recallFinished();
            compare(window.toasts, ["Scene \"Morning\" recalled"]);
        }

        // A one-off at a time the clock skips says when it runs, before it is saved.
        function test_scheduleForm_data() {
            var saved = function (action, time, days, at) { return [["saveSchedule", "Lights", action, "Morning", time, days, at, ""]]; };
            return [
                { tag: "no weekday", name: "Lights", time: "07:30", days: [], error: "Choose at least one weekday." },
                { tag: "one-off in the past", name: "Lights", once: "2020-03-01", time: "08:00", error: "That date and time have passed." },
                { tag: "day not in the month", name: "Lights", once: "2099-02-30", time: "08:00", error: "Type the date as YYYY-MM-DD, for example %1." },
                { tag: "weekly, short hour", name: " Lights", action: 1, time: "7:05", days: [0, 4], calls: saved(1, "07:05", 17, "") },
                { tag: "one-off ahead", name: "Lights", once: "2099-06-01", time: "08:00", calls: saved(0, "08:00", 0, "2099-06-01T08:00") },
                { tag: "one-off, skipped hour", name: "Lights", once: "2099-03-29", time: "2:30", note: "runs at 03:00: the clock skips 02:30",
                  calls: saved(0, "02:30", 0, "2099-03-29T02:30") }
            ];
        }

        function test_scheduleForm(data) {
            pageItem("scheduleNameField").text = data.name;
            pageItem("scheduleAction").currentIndex = data.action || 0;
            pageItem("scheduleRepeat").currentIndex = data.once ? 1 : 0;
            pageItem("scheduleDateField").text = data.once || "";
            pageItem("scheduleTimeField").text = data.time;
            page.scheduleDays = (data.days || [2]).reduce(function (bits, day) { return bits | 1 << day; }, 0);
            var note = shownText(pageItem("scheduleOnceNote"));
            pageItem("saveScheduleButton").clicked();
            var error = data.error ? data.error.replace("%1", page.exampleDate) : "";
            compare([note, pageItem("scheduleError").text, scenes.calls], [data.note || "", error, data.calls || []]);
        }

        // An empty name is told at the field; a name already saved, in any letter case, is
        // replaced only after a yes, under the name it had. What the service says about a save
        // stays on the page, where the user looks; a refused save says why at the field.
        function test_saveScene_data() {
            var replace = "A scene named \"Evening\" exists. Replace it with the current routing?";
            return [
                { tag: "empty name", name: "  ", error: "Type a name for the scene.", calls: [] },
                { tag: "new name, with a note", name: " Noon ", message: "Saved without Lobby wall: its screens show different sources.",
                  note: true, calls: [["saveScene", "Noon", 0]], toasts: ["Scene \"Noon\" saved"] },
                { tag: "not saved", name: "Dusk", message: "Not saved: there is no screen to keep.", error: "Not saved: there is no screen to keep.",
                  calls: [["saveScene", "Dusk", 0]] },
                { tag: "name taken, no", name: "evening", question: replace, calls: [] },
                { tag: "name taken, yes", name: "evening", yes: true, question: replace, calls: [["saveScene", "Evening", 0]], toasts: ["Scene \"Evening\" saved"] }
            ];
        }

        function test_saveScene(data) {
            scenes.saveMessage = data.message || "";
            pageItem("sceneNameField").text = data.name;
            pageItem("saveSceneButton").clicked();
            if (data.question)
                data.yes ? dialogLayer.accepted() : dialogLayer.rejected();
            compare([pageItem("sceneNameField").error, dialogLayer.question, scenes.calls, window.toasts, shownText(pageItem("sceneSaveNote"))],
                    [data.error || "", data.question || "", data.calls, data.toasts || [], data.note ? data.message : ""]);
        }

        // Export asks before it replaces a file; import reads and checks the file before it
        // asks, names it in the question and says that the program restarts. Cancelling the
        // chooser does nothing.
        function test_transfer_data() {
            var replace = "The file /t/site.json exists. Replace it with the configuration?";
            var restart = "Replace the current configuration with /t/site.json? The program restarts to use it; the current one is kept as a copy.";
            var foreign = "This is not a configuration file of this program: /t/photo.jpg";
            var checked = [["check", "/t/site.json"]];
            return [
                { tag: "export, chooser cancelled", button: "export", path: "", calls: [] },
                { tag: "export to a new file", button: "export", path: "/t/new.json", calls: [["exportTo", "/t/new.json"]] },
                { tag: "export over a file, no", button: "export", path: "/t/site.json", answer: false, question: replace, calls: [] },
                { tag: "export over a file, yes", button: "export", path: "/t/site.json", answer: true, question: replace, calls: [["exportTo", "/t/site.json"]] },
                { tag: "import, chooser cancelled", button: "import", path: "", calls: [] },
                { tag: "import of a foreign file", button: "import", path: "/t/photo.jpg", refusal: foreign, calls: [["check", "/t/photo.jpg"]] },
                { tag: "import, no", button: "import", path: "/t/site.json", answer: false, question: restart, calls: checked },
                { tag: "import, yes", button: "import", path: "/t/site.json", answer: true, question: restart, calls: checked.concat([["importFrom", "/t/site.json"]]) }
            ];
        }

        function test_transfer(data) {
            configTransfer.refusal = data.refusal || "";
            filePicker.answer = data.path;
            pageItem(data.button + "Button").clicked();
            if (data.answer !== undefined)
                data.answer ? dialogLayer.accepted() : dialogLayer.rejected();
            var message = pageItem("transferMessage");
            var refused = Qt.colorEqual(message.color, globalStyle.errorTextColor) ? message.text : "";
            compare([dialogLayer.question, configTransfer.calls, refused], [data.question || "", data.calls, data.refusal || ""]);
        }

        // The headers fold their sections; empty lists say what to do; the scene on the
        // screens is marked by the accent bar and words, its name as bright as the others;
        // a schedule the controller missed says so in its row. Locked, the page asks for the
        // password itself.
        function test_sectionsAndLists() {
            mouseClick(pageItem("scenesHeader"));
            mouseClick(pageItem("schedulesHeader"));
            compare([pageItem("sceneRows").count, pageItem("scheduleRows").count, pageItem("saveScheduleButton").visible], [0, 0, false]);
            mouseClick(pageItem("scenesHeader"));
            mouseClick(pageItem("schedulesHeader"));
            compare([pageItem("sceneRows").count, pageItem("scheduleRows").count], [2, 2]);

            scenes.activeScene = "Evening";
            compare([sceneRow(0, "activeBar").visible, sceneRow(1, "activeBar").visible, shownText(scheduleRow(0, "scheduleMissed")),
                     shownText(scheduleRow(1, "scheduleMissed")), pageItem("noScenes").visible, pageItem("noSchedules").visible],
                    [false, true, "", "missed: the controller was off", false, false]);
            scenes.names = [];
            scenes.schedules = [];
            compare([pageItem("noScenes").visible, pageItem("noSchedules").visible], [true, true]);

            // Locked, the page asks for the password itself.
            manager.locked = true;
            var panel = findChild(page, "loginPanel");
            verify(panel.visible && !pageItem("scenesSections").visible);
            findChild(panel, "passwordField").text = "wrong";
            mouseClick(findChild(panel, "unlockButton"));
            verify(findChild(panel, "passwordError").visible);
            findChild(panel, "passwordField").text = "right";
            mouseClick(findChild(panel, "unlockButton"));
            // Once used, the password leaves the field.
            verify(!panel.visible && pageItem("scenesSections").visible && findChild(panel, "passwordField").text === "");
        }

        // Rename asks for the name in its own dialog, starting from the old one, and asks
        // again while another scene has it; the field at the top plays no part. Deleting and
        // overwriting ask first, naming what goes; only a yes does it, to the row that asked.
        function test_sceneRows() {
            pageItem("sceneNameField").text = "Ignored";
            sceneRow(0, "renameSceneButton").clicked();
            compare([dialogLayer.inputMode, dialogLayer.initialText, dialogLayer.openCount], [true, "Morning", 1]);
            dialogLayer.textInputed("EVENING");
            compare([dialogLayer.openCount, dialogLayer.openingError, dialogLayer.initialText, scenes.calls],
                    [2, "Another scene is named \"Evening\".", "EVENING", []]);
            dialogLayer.textInputed("Dawn");
            // Its own name in other letters is a rename too; the same name is no change. None asks again.
            sceneRow(1, "renameSceneButton").clicked();
            dialogLayer.textInputed("Evening");
            sceneRow(1, "renameSceneButton").clicked();
            dialogLayer.textInputed("evening");
            compare([dialogLayer.openCount, scenes.calls], [4, [["renameScene", "Morning", "Dawn"], ["renameScene", "Evening", "evening"]]]);

            sceneRow(1, "deleteSceneButton").clicked();
            compare([scenes.calls.length, dialogLayer.question],
                    [2, "Delete the scene \"Evening\"? These schedules recall it and are switched off: Wake"]);
            dialogLayer.rejected();
            sceneRow(0, "overwriteSceneButton").clicked();
            compare([scenes.calls.length, dialogLayer.question], [2, "Replace the scene \"Morning\" with the current routing?"]);
            dialogLayer.accepted();
            sceneRow(1, "deleteSceneButton").clicked();
            dialogLayer.accepted();
            compare(scenes.calls.slice(2), [["saveScene", "Morning", 0], ["deleteScene", "Evening"]]);
        }

        // The list switches a schedule on and off, and opens it in the form, which saves it in
        // its own place, under its own name in other letters too, but not under another's. A
        // delete asks first, and a schedule deleted while open in the form leaves the form.
        function test_scheduleRows() {
            mouseClick(scheduleRow(1, "scheduleSwitch"));
            scheduleRow(1, "editScheduleButton").clicked();
            compare([pageItem("scheduleAction").currentIndex, pageItem("scheduleRepeat").currentIndex,
                     pageItem("scheduleDateField").text, pageItem("scheduleTimeField").text], [2, 1, "2099-01-01", "22:00"]);
            scheduleRow(0, "editScheduleButton").clicked();
            compare([pageItem("scheduleScene").currentText, pageItem("scheduleTimeField").text, page.scheduleDays],
                    ["Evening", "07:30", 17]);
            pageItem("scheduleNameField").text = "night";
            pageItem("saveScheduleButton").clicked();
            pageItem("scheduleNameField").text = "WAKE";
            pageItem("saveScheduleButton").clicked();
            compare([scenes.calls, page.editing], [[["setScheduleEnabled", "Night", true],
                     ["saveSchedule", "WAKE", 0, "Evening", "07:30", 17, "", "Wake"]], ""]);

            scheduleRow(0, "editScheduleButton").clicked();
            scheduleRow(0, "deleteScheduleButton").clicked();
            compare([scenes.calls.length, page.editing], [2, "Wake"]);
            dialogLayer.accepted();
            compare([scenes.calls[2], page.editing], [["deleteSchedule", "Wake"], ""]);
        }
    }
}
