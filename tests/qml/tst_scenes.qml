import QtQuick 2.14
import QtTest 1.14
import "../../src/qml"
import "../../src/qml/control"
import "../../src/qml/settings"

// The scenes strip and the scenes page against a stand-in for the scene service that records
// what they ask of it.
Item {
    id: window
    width: 1200
    height: 720

    property var toasts: []

    function toast(text) {
        toasts.push(text);
    }

    Style {
        id: globalStyle
    }

    QtObject {
        id: manager
        property bool locked: false
    }

    QtObject {
        id: scenes
        property var names: ["Morning", "Evening"]
        property string activeScene
        property bool recalling
        property string recallingScene
        property int recallDone
        property int recallTotal
        property var failures: []
        property var schedules: []
        property var calls: []
        signal recallFinished
        function recallScene(name) { calls.push(["recallScene", name]); return true; }
        function retryRecall() { calls.push(["retryRecall"]); return true; }
        function saveSchedule(name, action, scene, time, days, at, replacing) {
            calls.push(["saveSchedule", name, action, scene, time, days, at, replacing]);
            return true;
        }
        function setScheduleEnabled(name, on) { calls.push(["setScheduleEnabled", name, on]); return true; }
        function deleteSchedule(name) { calls.push(["deleteSchedule", name]); return true; }
    }

    QtObject {
        id: configTransfer
        property string defaultPath: "/home/user/zentrova-configuration.json"
        property string lastMessage
    }

    ScenesStrip {
        id: strip
        width: 1200
    }

    ScenesPage {
        id: page
        y: 80
        width: 1100
        height: 640
    }

    TestCase {
        name: "Scenes"
        when: windowShown

        function init() {
            scenes.calls = [];
            scenes.recalling = false;
            scenes.failures = [];
            scenes.activeScene = "";
            window.toasts = [];
            manager.locked = false;
            scenes.schedules = [
                { "name": "Wake", "action": "scene", "scene": "Evening", "time": "07:30", "weekdays": [1, 5], "enabled": true },
                { "name": "Night", "action": "power_off", "at": "2099-01-01T22:00", "enabled": false }
            ];
            page.newSchedule();
        }

        function sceneButton(index) {
            return findChild(strip, "sceneButtons").itemAtIndex(index);
        }

        function scheduleRow(index) {
            return findChild(page, "scheduleRows").itemAt(index);
        }

        // A recall blocks further taps, shows its progress, then reports what did not confirm
        // until the report is closed or another recall starts.
        function test_strip() {
            scenes.activeScene = "Evening";
            var outlined = function (index) { return Qt.colorEqual(sceneButton(index).border.color, globalStyle.accent); };
            compare([outlined(0), outlined(1)], [false, true]);
            scenes.activeScene = "";
            compare(outlined(1), false);

            mouseClick(sceneButton(0));
            scenes.recallingScene = "Morning";
            scenes.recallTotal = 4;
            scenes.recallDone = 1;
            scenes.recalling = true;
            mouseClick(sceneButton(1));
            compare(scenes.calls, [["recallScene", "Morning"]]);
            var status = findChild(strip, "sceneStatus");
            verify(status.visible);
            verify(findChild(status, "recallProgressText").text.indexOf("1 of 4") >= 0);

            scenes.failures = [{ "decoder": "IPD-7", "alias": "Lobby left", "outcome": "timed_out" }];
            scenes.recalling = false;
            scenes.recallFinished();
            var report = findChild(strip, "recallReport");
            verify(report.visible && report.text.indexOf("Lobby left") >= 0, report.text);
            compare(window.toasts, []);
            mouseClick(findChild(strip, "retryRecall"));
            compare(scenes.calls[1], ["retryRecall"]);
            mouseClick(findChild(strip, "closeReport"));
            verify(!status.visible);

            // Everything confirmed: a toast, and no report.
            scenes.failures = [];
            scenes.recallFinished();
            compare([status.visible, window.toasts], [false, ["Scene \"Morning\" recalled"]]);
        }

        function test_lock() {
            manager.locked = true;
            verify(!findChild(page, "scenesSections").visible);
            manager.locked = false;
            verify(findChild(page, "scenesSections").visible);
        }

        function test_scheduleForm_data() {
            // The hidden scene choice still names the first scene; the service ignores it.
            var made = function (name, action, time, days, at) {
                return [["saveSchedule", name, action, "Morning", time, days, at, ""]];
            };
            return [
                { tag: "no name", name: " ", time: "07:30", error: "Type a name for the schedule." },
                { tag: "name of another schedule", name: "wake", time: "07:30", error: "Another schedule is named \"Wake\"." },
                { tag: "no weekday", name: "Lights", time: "07:30", days: [], error: "Choose at least one weekday." },
                { tag: "hour out of range", name: "Lights", time: "24:00", error: "Type the time as HH:MM, for example 07:30." },
                { tag: "one-off in the past", name: "Lights", once: "2020-03-01", time: "08:00", error: "That date and time have passed." },
                { tag: "day not in the month", name: "Lights", once: "2099-02-30", time: "08:00", errorStart: "Type the date as" },
                { tag: "weekly, short hour", name: " Lights", action: 1, time: "7:05", days: [0, 4],
                  calls: made("Lights", 1, "07:05", 17, "") },
                { tag: "one-off ahead", name: "Lights", once: "2099-06-01", time: "08:00",
                  calls: made("Lights", 0, "08:00", 0, "2099-06-01T08:00") }
            ];
        }

        function test_scheduleForm(data) {
            findChild(page, "scheduleNameField").text = data.name;
            findChild(page, "scheduleAction").currentIndex = data.action || 0;
            findChild(page, "scheduleRepeat").currentIndex = data.once ? 1 : 0;
            findChild(page, "scheduleDateField").text = data.once || "";
            findChild(page, "scheduleTimeField").text = data.time;
            page.scheduleDays = 0;
            var days = data.days || [2];
            for (var i = 0; i < days.length; ++i)
                page.scheduleDays |= 1 << days[i];
            findChild(page, "saveScheduleButton").clicked();
            var error = findChild(page, "scheduleError").text;
            if (data.errorStart)
                verify(error.indexOf(data.errorStart) === 0, error);
            else
                compare(error, data.error || "");
            compare(scenes.calls, data.calls || []);
        }

        // A listed schedule opens in the form and is saved in its own place, under its own
        // name in other letters too; only another schedule's name is refused.
        function test_editInPlace() {
            // Clicked in code: the form, scrolled into view, leaves the list above the page.
            findChild(scheduleRow(1), "editScheduleButton").clicked();
            compare([findChild(page, "scheduleAction").currentIndex, findChild(page, "scheduleRepeat").currentIndex,
                     findChild(page, "scheduleDateField").text, findChild(page, "scheduleTimeField").text],
                    [2, 1, "2099-01-01", "22:00"]);
            findChild(scheduleRow(0), "editScheduleButton").clicked();
            var name = findChild(page, "scheduleNameField");
            compare([name.text, findChild(page, "scheduleScene").currentText, findChild(page, "scheduleTimeField").text,
                     page.scheduleDays, findChild(page, "scheduleFormTitle").text],
                    ["Wake", "Evening", "07:30", 17, "Change schedule \"Wake\""]);
            name.text = "night";
            findChild(page, "saveScheduleButton").clicked();
            compare(scenes.calls, []);
            name.text = "WAKE";
            findChild(page, "saveScheduleButton").clicked();
            compare(scenes.calls, [["saveSchedule", "WAKE", 0, "Evening", "07:30", 17, "", "Wake"]]);
            compare([page.editing, name.text], ["", ""]);
        }

        function test_enableFromList() {
            var toggle = findChild(scheduleRow(1), "scheduleSwitch");
            verify(!toggle.checked);
            mouseClick(toggle);
            compare(scenes.calls, [["setScheduleEnabled", "Night", true]]);
        }
    }
}
