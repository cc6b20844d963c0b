import QtQuick 2.14
import QtQuick.Controls 2.14
import "../control"

// Scenes, schedules and the configuration file, behind the same lock as the advanced settings.
Item {
    id: page

    readonly property var dayNames: [qsTr("Mon"), qsTr("Tue"), qsTr("Wed"), qsTr("Thu"), qsTr("Fri"), qsTr("Sat"),
        qsTr("Sun")]
    property int scheduleDays: 31

    function saveScene() {
        var name = sceneNameField.text.trim();
        if (name === "")
            return;
        if (scenes.saveScene(name, [], powerChoice.currentIndex))
            toast(qsTr("Scene \"%1\" saved").arg(name));
        else
            toast(qsTr("The scene could not be saved."));
    }

    function saveSchedule() {
        var once = repeatChoice.currentIndex === 1;
        var ok = scenes.saveSchedule(scheduleNameField.text, actionChoice.currentIndex, sceneChoice.currentText,
                                     timeField.text, once ? 0 : page.scheduleDays, dateField.text + "T" + timeField.text);
        toast(ok ? qsTr("Schedule saved") : qsTr("The schedule could not be saved: check its name, time and date."));
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

    Text {
        visible: manager.locked
        anchors.centerIn: parent
        text: qsTr("Unlock on the Advanced Settings page to manage scenes and schedules.")
        color: globalStyle.fontColorOnBlack
        font.pixelSize: globalStyle.normalFontSize
    }

    Flickable {
        objectName: "scenesSections"
        visible: !manager.locked
        anchors.fill: parent
        contentHeight: column.height
        clip: true
        boundsBehavior: Flickable.StopAtBounds

        Column {
            id: column
            width: parent.width
            spacing: 12

            SectionHeader { width: column.width; text: qsTr("Scenes"); open: true }
            Row {
                spacing: 16
                SettingsField { id: sceneNameField; objectName: "sceneNameField"; width: 300 }
                ComboBox {
                    id: powerChoice
                    width: 220
                    height: 50
                    model: [qsTr("Displays unchanged"), qsTr("Displays on"), qsTr("Displays off")]
                }
                RoundButton {
                    objectName: "saveSceneButton"
                    width: 260
                    text: qsTr("Save current routing")
                    onClicked: page.saveScene()
                }
            }
            Repeater {
                model: scenes.names
                delegate: Row {
                    spacing: 16
                    Text {
                        width: 300
                        anchors.verticalCenter: parent.verticalCenter
                        text: modelData + (modelData === scenes.activeScene ? "  \u25CF" : "")
                        color: modelData === scenes.activeScene ? globalStyle.accent : "white"
                        elide: Text.ElideRight
                        font.pixelSize: globalStyle.normalFontSize
                    }
                    RoundButton {
                        width: 140
                        height: 40
                        text: qsTr("Rename")
                        onClicked: {
                            if (sceneNameField.text.trim() === "" || !scenes.renameScene(modelData, sceneNameField.text))
                                toast(qsTr("Type the new name above; it must not be taken."));
                        }
                    }
                    RoundButton {
                        width: 140
                        height: 40
                        text: qsTr("Overwrite")
                        onClicked: scenes.saveScene(modelData, [], powerChoice.currentIndex)
                    }
                    RoundButton {
                        width: 140
                        height: 40
                        text: qsTr("Delete")
                        onClicked: scenes.deleteScene(modelData)
                    }
                }
            }

            SectionHeader { width: column.width; text: qsTr("Schedules"); open: true }
            Repeater {
                model: scenes.schedules
                delegate: Row {
                    spacing: 16
                    Text {
                        width: 640
                        anchors.verticalCenter: parent.verticalCenter
                        text: modelData.name + ": " + page.describe(modelData)
                        color: "white"
                        elide: Text.ElideRight
                        font.pixelSize: globalStyle.normalFontSize
                    }
                    RoundButton {
                        width: 140
                        height: 40
                        text: qsTr("Delete")
                        onClicked: scenes.deleteSchedule(modelData.name)
                    }
                }
            }
            Flow {
                width: column.width
                spacing: 12
                SettingsField { id: scheduleNameField; width: 200; placeholderText: qsTr("Name") }
                ComboBox {
                    id: actionChoice
                    width: 220
                    height: 50
                    model: [qsTr("Recall scene"), qsTr("All displays on"), qsTr("All displays off")]
                }
                ComboBox {
                    id: sceneChoice
                    visible: actionChoice.currentIndex === 0
                    width: 220
                    height: 50
                    model: scenes.names
                }
                ComboBox {
                    id: repeatChoice
                    width: 180
                    height: 50
                    model: [qsTr("Weekly"), qsTr("Once")]
                }
                SettingsField { id: dateField; visible: repeatChoice.currentIndex === 1; width: 170; placeholderText: "2026-12-24" }
                SettingsField { id: timeField; width: 110; placeholderText: "07:30" }
                Repeater {
                    model: repeatChoice.currentIndex === 0 ? 7 : 0
                    delegate: RoundButton {
                        readonly property bool chosen: (page.scheduleDays & (1 << index)) !== 0
                        width: 70
                        height: 50
                        normalBg: chosen ? "#26262E" : "#141418"
                        normalColor: chosen ? globalStyle.accent : globalStyle.darkFontColorOnBlack
                        text: page.dayNames[index]
                        onClicked: page.scheduleDays ^= (1 << index)
                    }
                }
                RoundButton {
                    width: 200
                    text: qsTr("Add schedule")
                    onClicked: page.saveSchedule()
                }
            }

            SectionHeader { width: column.width; text: qsTr("Configuration file"); open: true }
            Row {
                spacing: 16
                SettingsField {
                    id: transferPath
                    objectName: "transferPath"
                    width: 420
                    text: configTransfer.defaultPath
                }
                CheckBox {
                    id: withSecrets
                    text: qsTr("Include password and API token")
                    contentItem: Text {
                        leftPadding: withSecrets.indicator.width + 8
                        text: withSecrets.text
                        color: globalStyle.fontColorOnBlack
                        verticalAlignment: Text.AlignVCenter
                        font.pixelSize: globalStyle.normalFontSize - 2
                    }
                }
            }
            Row {
                spacing: 16
                RoundButton {
                    width: 200
                    text: qsTr("Export")
                    onClicked: {
                        configTransfer.exportTo(transferPath.text, withSecrets.checked);
                        toast(configTransfer.lastMessage);
                    }
                }
                RoundButton {
                    width: 200
                    text: qsTr("Import")
                    onClicked: importQuestion.open()
                }
            }
            Text {
                width: column.width
                wrapMode: Text.Wrap
                text: configTransfer.lastMessage
                color: globalStyle.fontColorOnBlack
                font.pixelSize: globalStyle.normalFontSize - 2
            }
        }
    }

    ConfirmDialog {
        id: importQuestion
        title: qsTr("Attention")
        tips: qsTr("Replace this configuration with the file's? The current one is kept as a copy.")
        onAccepted: configTransfer.importFrom(transferPath.text)
    }
}
