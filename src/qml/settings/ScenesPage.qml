import QtQuick 2.14
import QtQuick.Controls 2.14
import "../control"
import "../js/checks.js" as Checks

// Scenes, schedules and the configuration file, behind the same lock as the advanced settings.
Item {
    id: page

    readonly property var dayNames: [qsTr("Mon"), qsTr("Tue"), qsTr("Wed"), qsTr("Thu"), qsTr("Fri"), qsTr("Sat"),
        qsTr("Sun")]
    property int scheduleDays: 31
    readonly property string exampleDate: Qt.formatDate(new Date(), "yyyy-MM-dd")
    // What the last save left out of the scene (a wall whose screens disagree); kept on the
    // page until the next save, since a toast would be gone before it is read.
    property string saveNote: ""

    // The name of the schedule the form changes in place; empty while it makes a new one.
    property string editing: ""
    readonly property var actionNames: ["scene", "power_on", "power_off"]

    // Deleting or overwriting cannot be undone, and a touch screen is easily brushed: each asks first.
    ConfirmDialog {
        id: question
        property var action: null
        title: qsTr("Confirm")
        onAccepted: action()
    }

    InputDialog {
        id: renameQuestion
        property string oldName
        tips: qsTr("New name:")
        placeHolder: qsTr("Scene name")
        onAccepted: {
            var verdict = Checks.renameVerdict(oldName, inputText, scenes.sceneExists);
            if (verdict === "exists")
                open(qsTr("Another scene is named \"%1\".").arg(page.savedSceneName(inputText)));
            else if (verdict === "ok" && !scenes.renameScene(oldName, inputText))
                toast(qsTr("The scene could not be renamed."));
        }
    }

    // Sections fold away on their own, all open at first.
    property bool scenesOpen: true
    property bool schedulesOpen: true
    property bool transferOpen: true

    function ask(text, action) {
        question.tips = text;
        question.action = action;
        question.open();
    }

    // The saved scene's own spelling of a name, compared as the service compares; "" for none.
    function savedSceneName(name) {
        for (var i = 0; i < scenes.names.length; ++i) {
            if (scenes.names[i].toLowerCase() === name.toLowerCase())
                return scenes.names[i];
        }
        return "";
    }

    // The service says why a save failed, or what it left out.
    function storeScene(name, power) {
        var saved = scenes.saveScene(name, [], power);
        page.saveNote = saved ? scenes.saveMessage : "";
        if (saved)
            toast(qsTr("Scene \"%1\" saved").arg(name));
        else
            sceneNameField.error = scenes.saveMessage !== "" ? scenes.saveMessage : qsTr("The scene could not be saved.");
        return saved;
    }

    // An empty name says so at the field; a name already saved asks before it is replaced.
    function saveScene() {
        var name = sceneNameField.text.trim();
        if (name === "") {
            sceneNameField.error = qsTr("Type a name for the scene.");
            return;
        }
        sceneNameField.error = "";
        var power = powerChoice.currentIndex;
        var existing = savedSceneName(name);
        var store = function () {
            if (page.storeScene(existing !== "" ? existing : name, power))
                sceneNameField.text = "";
        };
        if (existing !== "")
            ask(qsTr("A scene named \"%1\" exists. Replace it with the current routing?").arg(existing), store);
        else
            store();
    }

    // Asks for the new name in a dialog of its own, again while it is taken by another scene.
    function renameScene(name) {
        renameQuestion.oldName = name;
        renameQuestion.inputText = name;
        renameQuestion.open();
    }

    // "7:30" and "07:30" alike as "07:30"; empty when it is not a time of day.
    function typedTime() {
        var parts = /^\s*(\d{1,2}):(\d{2})\s*$/.exec(timeField.text);
        if (!parts || parseInt(parts[1], 10) > 23 || parseInt(parts[2], 10) > 59)
            return "";
        return (parts[1].length === 1 ? "0" : "") + parts[1] + ":" + parts[2];
    }

    // The local moment of the one-off date and time; null unless the date is a real day.
    function typedMoment(time) {
        var parts = /^\s*(\d{4})-(\d{2})-(\d{2})\s*$/.exec(dateField.text);
        if (!parts || time === "")
            return null;
        var moment = new Date(parts[1], parts[2] - 1, parts[3], time.substr(0, 2), time.substr(3, 2));
        return moment.getDate() === parseInt(parts[3], 10) && moment.getMonth() === parts[2] - 1 ? moment : null;
    }

    // What keeps the form from being saved, in words; empty when nothing does.
    function scheduleProblem() {
        var name = scheduleNameField.text.trim();
        if (name === "")
            return qsTr("Type a name for the schedule.");
        for (var i = 0; i < scenes.schedules.length; ++i) {
            var other = scenes.schedules[i].name.toLowerCase();
            if (other === name.toLowerCase() && other !== page.editing.toLowerCase())
                return qsTr("Another schedule is named \"%1\".").arg(scenes.schedules[i].name);
        }
        if (actionChoice.currentIndex === 0 && sceneChoice.currentIndex < 0)
            return scenes.names.length === 0 ? qsTr("Save a scene first: there is none to recall.")
                                             : qsTr("Choose the scene to recall.");
        var time = typedTime();
        if (time === "")
            return qsTr("Type the time as HH:MM, for example 07:30.");
        if (repeatChoice.currentIndex === 0)
            return page.scheduleDays === 0 ? qsTr("Choose at least one weekday.") : "";
        var moment = typedMoment(time);
        if (moment === null)
            return qsTr("Type the date as YYYY-MM-DD, for example %1.").arg(page.exampleDate);
        return moment <= new Date() ? qsTr("That date and time have passed.") : "";
    }

    function saveSchedule() {
        scheduleError.text = scheduleProblem();
        if (scheduleError.text !== "")
            return;
        var once = repeatChoice.currentIndex === 1;
        var time = typedTime();
        var name = scheduleNameField.text.trim();
        if (scenes.saveSchedule(name, actionChoice.currentIndex, sceneChoice.currentText, time,
                                once ? 0 : page.scheduleDays, once ? dateField.text.trim() + "T" + time : "",
                                page.editing)) {
            toast(qsTr("Schedule \"%1\" saved").arg(name));
            newSchedule();
        } else {
            scheduleError.text = qsTr("The schedule could not be saved.");
        }
    }

    // Fills the form from a listed schedule; saving changes that one.
    function editSchedule(schedule) {
        page.editing = schedule.name;
        scheduleNameField.text = schedule.name;
        actionChoice.currentIndex = page.actionNames.indexOf(schedule.action);
        sceneChoice.currentIndex = schedule.scene !== undefined ? sceneChoice.find(schedule.scene) : 0;
        var once = schedule.at !== undefined;
        repeatChoice.currentIndex = once ? 1 : 0;
        dateField.text = once ? schedule.at.substr(0, 10) : "";
        timeField.text = once ? schedule.at.substr(11) : schedule.time;
        var days = 0;
        for (var i = 0; !once && i < schedule.weekdays.length; ++i)
            days |= 1 << (schedule.weekdays[i] - 1);
        page.scheduleDays = once ? 31 : days;
        scheduleError.text = "";
        page.schedulesOpen = true;
        sections.contentY = Math.max(0, Math.min(scheduleForm.y, sections.contentHeight - sections.height));
    }

    function newSchedule() {
        page.editing = "";
        scheduleNameField.text = "";
        actionChoice.currentIndex = 0;
        sceneChoice.currentIndex = 0;
        repeatChoice.currentIndex = 0;
        page.scheduleDays = 31;
        timeField.text = "";
        dateField.text = "";
        scheduleError.text = "";
    }

    // A file picked to write to: one that exists is replaced only after a yes.
    function exportFile(path) {
        if (path === "")
            return;
        transferPath.text = path;
        var write = function () {
            configTransfer.exportTo(path, withSecrets.checked);
            toast(configTransfer.lastMessage);
        };
        if (configTransfer.fileExists(path))
            ask(qsTr("The file %1 exists. Replace it with the configuration?").arg(path), write);
        else
            write();
    }

    // The file is read and checked before the question, so that only a file that can be
    // imported is asked about; what is wrong with another is said under the buttons.
    function importFile(path) {
        if (path === "")
            return;
        transferPath.text = path;
        if (!configTransfer.check(path))
            return;
        ask(qsTr("Replace the current configuration with %1? The program restarts to use it; the current one is kept as a copy.")
            .arg(path), function () { configTransfer.importFrom(path); });
    }

    function describe(schedule) {
        var what = schedule.action === "scene" ? qsTr("recall \"%1\"").arg(schedule.scene)
                 : schedule.action === "power_on" ? qsTr("all displays on") : qsTr("all displays off");
        if (schedule.at !== undefined)
            return qsTr("%1 once at %2").arg(what).arg(schedule.at.replace("T", " "));
        var days = [];
        for (var i = 0; i < schedule.weekdays.length; ++i)
            days.push(page.dayNames[schedule.weekdays[i] - 1]);
        return qsTr("%1 at %2 on %3").arg(what).arg(schedule.time).arg(days.join(" "));
    }

    LoginPanel {
        visible: manager.locked
        y: 150
        anchors.horizontalCenter: parent.horizontalCenter
        width: Math.min(600, page.width)
        purpose: qsTr("Scenes, schedules and the configuration file are kept behind the admin password.")
    }

    Flickable {
        id: sections
        objectName: "scenesSections"
        visible: !manager.locked
        anchors.fill: parent
        contentHeight: column.height
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {
            policy: sections.contentHeight > sections.height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
            contentItem: Rectangle {
                implicitWidth: 6
                radius: 3
                color: globalStyle.accent
            }
        }

        Column {
            id: column
            width: parent.width - 16
            spacing: 12

            SectionHeader {
                objectName: "scenesHeader"
                width: column.width
                text: qsTr("Scenes")
                open: page.scenesOpen
                onClicked: page.scenesOpen = !page.scenesOpen
            }
            Flow {
                visible: page.scenesOpen
                width: column.width
                spacing: 12
                SettingsField {
                    id: sceneNameField
                    objectName: "sceneNameField"
                    width: 280
                    height: 50
                    // Said under the row: beside the field are the choice and the button.
                    errorWidth: 0
                    placeholderText: qsTr("Scene name")
                    onAccepted: page.saveScene()
                }
                ChoiceBox {
                    id: powerChoice
                    width: 240
                    model: [qsTr("Displays unchanged"), qsTr("Displays on"), qsTr("Displays off")]
                }
                RoundButton {
                    objectName: "saveSceneButton"
                    width: 260
                    text: qsTr("Save current routing")
                    onClicked: page.saveScene()
                }
            }
            Text {
                textFormat: Text.PlainText
                objectName: "sceneNameError"
                visible: page.scenesOpen && sceneNameField.error !== ""
                width: column.width
                wrapMode: Text.Wrap
                text: sceneNameField.error
                color: globalStyle.errorTextColor
                font.pixelSize: globalStyle.normalFontSize - 2
            }
            Text {
                textFormat: Text.PlainText
                objectName: "sceneSaveNote"
                visible: page.scenesOpen && page.saveNote !== ""
                width: column.width
                wrapMode: Text.Wrap
                text: page.saveNote
                color: "#FFB400"
                font.pixelSize: globalStyle.normalFontSize - 2
            }
            Text {
                objectName: "noScenes"
                visible: page.scenesOpen && scenes.names.length === 0
                width: column.width
                wrapMode: Text.Wrap
                text: qsTr("No scenes yet. Route the screens as they should be, type a name above and press \"Save current routing\".")
                color: globalStyle.fontColorOnBlack
                font.pixelSize: globalStyle.normalFontSize - 2
            }
            Repeater {
                objectName: "sceneRows"
                model: page.scenesOpen ? scenes.names : []
                // The scene the screens show now: an accent bar and outline, and the words.
                delegate: Rectangle {
                    readonly property bool active: modelData === scenes.activeScene
                    width: column.width
                    height: 60
                    radius: 4
                    color: "#141418"
                    border.width: active ? 2 : 0
                    border.color: globalStyle.accent
                    Rectangle {
                        objectName: "activeBar"
                        visible: parent.active
                        width: 6
                        height: parent.height
                        radius: 3
                        color: globalStyle.accent
                    }
                    Column {
                        anchors.left: parent.left
                        anchors.leftMargin: 20
                        anchors.right: renameButton.left
                        anchors.rightMargin: 12
                        anchors.verticalCenter: parent.verticalCenter
                        Text {
                            width: parent.width
                            text: modelData
                            textFormat: Text.PlainText
                            color: "white"
                            elide: Text.ElideRight
                            font.pixelSize: globalStyle.normalFontSize
                            font.bold: active
                        }
                        Text {
                            visible: active
                            width: parent.width
                            text: qsTr("On the screens now")
                            color: globalStyle.accent
                            elide: Text.ElideRight
                            font.pixelSize: globalStyle.normalFontSize - 4
                        }
                    }
                    RoundButton {
                        id: renameButton
                        objectName: "renameSceneButton"
                        anchors.right: overwriteButton.left
                        anchors.rightMargin: 12
                        anchors.verticalCenter: parent.verticalCenter
                        width: 120
                        height: 44
                        text: qsTr("Rename")
                        onClicked: page.renameScene(modelData)
                    }
                    RoundButton {
                        id: overwriteButton
                        anchors.right: deleteSceneButton.left
                        anchors.rightMargin: 12
                        anchors.verticalCenter: parent.verticalCenter
                        width: 120
                        height: 44
                        objectName: "overwriteSceneButton"
                        text: qsTr("Overwrite")
                        onClicked: {
                            var name = modelData;
                            var power = powerChoice.currentIndex;
                            page.ask(qsTr("Replace the scene \"%1\" with the current routing?").arg(name),
                                     function () { page.storeScene(name, power); });
                        }
                    }
                    RoundButton {
                        id: deleteSceneButton
                        anchors.right: parent.right
                        anchors.rightMargin: 8
                        anchors.verticalCenter: parent.verticalCenter
                        width: 120
                        height: 44
                        objectName: "deleteSceneButton"
                        text: qsTr("Delete")
                        onClicked: {
                            var name = modelData;
                            var recalling = scenes.schedulesRecalling(name);
                            var question = recalling.length === 0 ? qsTr("Delete the scene \"%1\"?").arg(name)
                                : qsTr("Delete the scene \"%1\"? These schedules recall it and are switched off: %2")
                                    .arg(name).arg(recalling.join(", "));
                            page.ask(question, function () { scenes.deleteScene(name); });
                        }
                    }
                }
            }

            SectionHeader {
                objectName: "schedulesHeader"
                width: column.width
                text: qsTr("Schedules")
                open: page.schedulesOpen
                onClicked: page.schedulesOpen = !page.schedulesOpen
            }
            Text {
                objectName: "noSchedules"
                visible: page.schedulesOpen && scenes.schedules.length === 0
                width: column.width
                wrapMode: Text.Wrap
                text: qsTr("No schedules yet. Fill in the form below to recall a scene or switch the displays at set times.")
                color: globalStyle.fontColorOnBlack
                font.pixelSize: globalStyle.normalFontSize - 2
            }
            Repeater {
                objectName: "scheduleRows"
                model: page.schedulesOpen ? scenes.schedules : []
                delegate: Rectangle {
                    width: column.width
                    height: modelData.missed !== undefined ? 84 : 60
                    radius: 4
                    color: modelData.name === page.editing ? "#26262E" : "#141418"
                    ToggleSwitch {
                        objectName: "scheduleSwitch"
                        anchors.left: parent.left
                        anchors.leftMargin: 8
                        anchors.verticalCenter: parent.verticalCenter
                        checked: modelData.enabled
                        onToggled: {
                            if (!scenes.setScheduleEnabled(modelData.name, checked))
                                toast(qsTr("The schedule could not be changed."));
                        }
                    }
                    Column {
                        anchors.left: parent.left
                        anchors.leftMargin: 90
                        anchors.right: editButton.left
                        anchors.rightMargin: 12
                        anchors.verticalCenter: parent.verticalCenter
                        Text {
                            textFormat: Text.PlainText
                            width: parent.width
                            text: modelData.name
                            color: modelData.enabled ? "white" : globalStyle.fontColorOnBlack
                            elide: Text.ElideRight
                            font.pixelSize: globalStyle.normalFontSize
                        }
                        Text {
                            textFormat: Text.PlainText
                            width: parent.width
                            text: page.describe(modelData)
                            color: modelData.enabled ? globalStyle.fontColorOnBlack : globalStyle.darkFontColorOnBlack
                            elide: Text.ElideRight
                            font.pixelSize: globalStyle.normalFontSize - 3
                        }
                        // The last due time that could not be run, and why.
                        Text {
                            objectName: "scheduleMissed"
                            visible: modelData.missed !== undefined
                            width: parent.width
                            text: modelData.missed !== undefined ? modelData.missed : ""
                            textFormat: Text.PlainText
                            color: globalStyle.errorTextColor
                            elide: Text.ElideRight
                            font.pixelSize: globalStyle.normalFontSize - 3
                        }
                    }
                    RoundButton {
                        id: editButton
                        objectName: "editScheduleButton"
                        anchors.right: deleteButton.left
                        anchors.rightMargin: 12
                        anchors.verticalCenter: parent.verticalCenter
                        width: 120
                        height: 44
                        text: qsTr("Edit")
                        onClicked: page.editSchedule(modelData)
                    }
                    RoundButton {
                        id: deleteButton
                        anchors.right: parent.right
                        anchors.rightMargin: 8
                        anchors.verticalCenter: parent.verticalCenter
                        width: 120
                        height: 44
                        objectName: "deleteScheduleButton"
                        text: qsTr("Delete")
                        onClicked: {
                            var name = modelData.name;
                            page.ask(qsTr("Delete the schedule \"%1\"?").arg(name), function () {
                                if (name === page.editing)
                                    page.newSchedule();
                                scenes.deleteSchedule(name);
                            });
                        }
                    }
                }
            }
            Column {
                id: scheduleForm
                visible: page.schedulesOpen
                width: column.width
                spacing: 12
                Text {
                    id: scheduleFormTitle
                    textFormat: Text.PlainText
                    objectName: "scheduleFormTitle"
                    width: column.width
                    topPadding: 8
                    text: page.editing === "" ? qsTr("New schedule") : qsTr("Change schedule \"%1\"").arg(page.editing)
                    color: globalStyle.accent
                    elide: Text.ElideRight
                    font.pixelSize: globalStyle.normalFontSize
                }
                Flow {
                    width: column.width
                    spacing: 12
                    SettingsField {
                        id: scheduleNameField
                        objectName: "scheduleNameField"
                        width: 220
                        height: 50
                        placeholderText: qsTr("Name")
                    }
                    ChoiceBox {
                        id: actionChoice
                        objectName: "scheduleAction"
                        width: 240
                        model: [qsTr("Recall scene"), qsTr("All displays on"), qsTr("All displays off")]
                    }
                    ChoiceBox {
                        id: sceneChoice
                        objectName: "scheduleScene"
                        visible: actionChoice.currentIndex === 0
                        width: 240
                        model: scenes.names
                    }
                }
                Flow {
                    width: column.width
                    spacing: 12
                    ChoiceBox {
                        id: repeatChoice
                        objectName: "scheduleRepeat"
                        width: 160
                        model: [qsTr("Weekly"), qsTr("Once")]
                    }
                    SettingsField {
                        id: timeField
                        objectName: "scheduleTimeField"
                        width: 110
                        height: 50
                        placeholderText: qsTr("e.g. %1").arg("07:30")
                    }
                    SettingsField {
                        id: dateField
                        objectName: "scheduleDateField"
                        visible: repeatChoice.currentIndex === 1
                        width: 170
                        height: 50
                        placeholderText: qsTr("e.g. %1").arg(page.exampleDate)
                    }
                }
                Flow {
                    visible: repeatChoice.currentIndex === 0
                    width: column.width
                    spacing: 12
                    Repeater {
                        model: 7
                        delegate: RoundButton {
                            readonly property bool chosen: (page.scheduleDays & (1 << index)) !== 0
                            objectName: "weekday" + index
                            width: 70
                            height: 50
                            normalBg: chosen ? "#26262E" : "#141418"
                            normalColor: chosen ? globalStyle.accent : globalStyle.darkFontColorOnBlack
                            border.width: chosen ? 2 : 1
                            border.color: chosen ? globalStyle.accent : "#26262E"
                            text: page.dayNames[index]
                            onClicked: page.scheduleDays ^= (1 << index)
                        }
                    }
                }
                Row {
                    spacing: 16
                    RoundButton {
                        objectName: "saveScheduleButton"
                        width: 220
                        text: page.editing === "" ? qsTr("Add schedule") : qsTr("Save changes")
                        onClicked: page.saveSchedule()
                    }
                    RoundButton {
                        objectName: "newScheduleButton"
                        visible: page.editing !== ""
                        width: 220
                        text: qsTr("Cancel changes")
                        onClicked: page.newSchedule()
                    }
                }
                // A one-off at a time the clock skips runs later; said before it is saved.
                Text {
                    textFormat: Text.PlainText
                    objectName: "scheduleOnceNote"
                    readonly property string at: repeatChoice.currentIndex === 1
                                                  && page.typedMoment(page.typedTime()) !== null
                                                  ? dateField.text.trim() + "T" + page.typedTime() : ""
                    visible: text !== ""
                    width: column.width
                    wrapMode: Text.Wrap
                    text: at !== "" ? scenes.onceNote(at) : ""
                    color: globalStyle.fontColorOnBlack
                    font.pixelSize: globalStyle.normalFontSize - 2
                }
                Text {
                    id: scheduleError
                    textFormat: Text.PlainText
                    objectName: "scheduleError"
                    visible: text !== ""
                    width: column.width
                    wrapMode: Text.Wrap
                    color: globalStyle.errorTextColor
                    font.pixelSize: globalStyle.normalFontSize - 2
                }
            }

            SectionHeader {
                objectName: "transferHeader"
                width: column.width
                text: qsTr("Configuration file")
                open: page.transferOpen
                onClicked: page.transferOpen = !page.transferOpen
            }
            // The choice wraps under the path where the page is narrow.
            Flow {
                visible: page.transferOpen
                width: column.width
                spacing: 16
                SettingsField {
                    id: transferPath
                    objectName: "transferPath"
                    width: 420
                    errorWidth: 0
                    text: configTransfer.defaultPath
                }
                CheckBox {
                    id: withSecrets
                    text: qsTr("Include password and API token")
                    indicator: Rectangle {
                        x: withSecrets.leftPadding
                        y: (withSecrets.height - height) / 2
                        implicitWidth: 28
                        implicitHeight: 28
                        radius: 4
                        color: "#141418"
                        border.color: withSecrets.checked ? globalStyle.accent : globalStyle.darkFontColorOnBlack
                        Text {
                            anchors.centerIn: parent
                            visible: withSecrets.checked
                            text: "\u2713"
                            color: globalStyle.accent
                            font.pixelSize: globalStyle.normalFontSize
                        }
                    }
                    contentItem: Text {
                        textFormat: Text.PlainText
                        leftPadding: withSecrets.indicator.width + 8
                        text: withSecrets.text
                        color: globalStyle.fontColorOnBlack
                        verticalAlignment: Text.AlignVCenter
                        font.pixelSize: globalStyle.normalFontSize - 2
                    }
                }
            }
            Row {
                visible: page.transferOpen
                spacing: 16
                RoundButton {
                    objectName: "exportButton"
                    width: 200
                    text: qsTr("Export…")
                    onClicked: page.exportFile(filePicker.fileToWrite(qsTr("Export the configuration"), transferPath.text))
                }
                RoundButton {
                    objectName: "importButton"
                    width: 200
                    text: qsTr("Import…")
                    onClicked: page.importFile(filePicker.fileToRead(qsTr("Import a configuration"), transferPath.text))
                }
            }
            Text {
                objectName: "transferMessage"
                visible: page.transferOpen
                width: column.width
                wrapMode: Text.Wrap
                textFormat: Text.PlainText
                text: configTransfer.lastMessage
                color: configTransfer.lastSucceeded ? globalStyle.fontColorOnBlack : globalStyle.errorTextColor
                font.pixelSize: globalStyle.normalFontSize - 2
            }
        }
    }
}
