import QtQuick 2.14
import QtQuick.Controls 2.14
import "../control"
import "../js/checks.js" as Checks

Item {
    id: page

    // Which section is open: -1 none, 0 password, 1 power commands, 2 reset, 3 control API.
    property int openSection: -1
    // Narrow windows would squeeze the section titles; they keep at least 640 then.
    readonly property int sectionWidth: Math.min(width, Math.max(width - 300, 640))

    function toggleSection(section) {
        openSection = openSection === section ? -1 : section;
    }

    function unlock() {
        if (manager.login(passwordField.text)) {
            passwordField.text = "";
            passwordError.visible = false;
        } else {
            passwordError.visible = true;
        }
    }

    function changePassword() {
        var oldPassword = oldPasswordField.text.trim();
        var newPassword = newPasswordField.text.trim();
        if (newPassword !== confirmField.text.trim()) {
            toast(qsTr("The password entered does not match!"));
            return;
        }
        // A refusal the manager explained itself is already on screen.
        var errorsBefore = managerErrors;
        if (manager.changePassword(oldPassword, newPassword)) {
            clearPasswordFields();
            toast(qsTr("Password changed."));
        } else if (managerErrors === errorsBefore) {
            toast(qsTr("Old password incorrect, please re-enter."));
        }
    }

    function clearPasswordFields() {
        oldPasswordField.text = "";
        newPasswordField.text = "";
        confirmField.text = "";
    }

    // A refused command comes back with the manager's own message.
    function savePowerCommands() {
        if (manager.changePowerCommand(powerOnField.text.trim(), powerOffField.text.trim()))
            toast(qsTr("New display power on/off command saved."));
    }

    // Bound again, the fields go on following what is saved.
    function restorePowerCommands() {
        powerOnField.text = Qt.binding(function () { return manager.savedPowerOnCommand; });
        powerOffField.text = Qt.binding(function () { return manager.savedPowerOffCommand; });
    }

    // Shown once, right after it is made; the page forgets it when it closes.
    property string shownToken: ""

    function applyApiSettings() {
        var problem = remoteApi.configure(apiSwitch.checked, parseInt(linePortField.text, 10),
                                          parseInt(webPortField.text, 10), listenField.text,
                                          certificateField.text, keyField.text);
        toast(problem !== "" ? problem : qsTr("Control API settings saved."));
    }

    function makeToken() {
        shownToken = remoteApi.newToken();
        if (shownToken === "")
            toast(remoteApi.status);
    }

    ConfirmDialog {
        id: tokenQuestion
        title: qsTr("Attention")
        tips: remoteApi.tokenSet ? qsTr("Make a new token? Every control system that uses the current one is cut off.")
                                 : qsTr("Make a token for control systems?")
        onAccepted: page.makeToken()
    }

    ConfirmDialog {
        id: resetQuestion
        title: qsTr("Attention")
        tips: qsTr("Do you want to reset the software?")
        onAccepted: manager.doFactoryDefault()
    }

    // Locked: the password panel.
    Column {
        objectName: "loginPanel"
        visible: manager.locked
        y: 150
        anchors.horizontalCenter: parent.horizontalCenter
        width: 600
        spacing: 12
        FieldLabel {
            text: qsTr("Admin password:")
        }
        Row {
            spacing: 20
            SettingsField {
                id: passwordField
                objectName: "passwordField"
                secret: true
                width: 600 - 120 - 20
                height: 50
                onAccepted: page.unlock()
            }
            RoundButton {
                objectName: "unlockButton"
                width: 120
                text: qsTr("Unlock")
                onClicked: page.unlock()
            }
        }
        FieldLabel {
            id: passwordError
            visible: false
            text: qsTr("Password error!")
            color: globalStyle.errorTextColor
            font.bold: true
        }
    }

    // Unlocked: the three sections.
    Flickable {
        objectName: "sections"
        visible: !manager.locked
        anchors.top: parent.top
        anchors.bottom: messageLine.top
        width: parent.width
        contentHeight: sections.height
        clip: true
        boundsBehavior: Flickable.StopAtBounds

        Column {
            id: sections
            spacing: 10

            SectionHeader {
                width: page.sectionWidth
                text: qsTr("Change password")
                open: page.openSection === 0
                onClicked: page.toggleSection(0)
            }
            Grid {
                objectName: "passwordFields"
                visible: page.openSection === 0
                columns: 2
                columnSpacing: 30
                rowSpacing: 10
                leftPadding: 20
                topPadding: 10
                bottomPadding: 10
                verticalItemAlignment: Grid.AlignVCenter
                FieldLabel { text: qsTr("Old password:") }
                SettingsField { id: oldPasswordField; secret: true }
                FieldLabel { text: qsTr("New password:") }
                SettingsField { id: newPasswordField; secret: true }
                FieldLabel { text: qsTr("Confirm:") }
                SettingsField { id: confirmField; secret: true }
                Item { width: 1; height: 1 }
                Row {
                    spacing: 20
                    IconButton {
                        objectName: "passwordConfirmButton"
                        enabled: Checks.canConfirmPassword(oldPasswordField.text, newPasswordField.text, confirmField.text)
                        source: "qrc:/images/icons/confirm.png"
                        pressedSource: "qrc:/images/icons/confirm-press.png"
                        disabledSource: "qrc:/images/icons/confirm-disable.png"
                        onClicked: page.changePassword()
                    }
                    IconButton {
                        enabled: Checks.canClearPassword(oldPasswordField.text, newPasswordField.text, confirmField.text)
                        source: "qrc:/images/icons/cancel.png"
                        pressedSource: "qrc:/images/icons/cancel-press.png"
                        disabledSource: "qrc:/images/icons/cancel-disable.png"
                        onClicked: page.clearPasswordFields()
                    }
                }
            }

            SectionHeader {
                width: page.sectionWidth
                text: qsTr("Customize display power on/off command")
                open: page.openSection === 1
                onClicked: page.toggleSection(1)
            }
            Grid {
                id: powerPanel
                readonly property bool edited: Checks.powerCommandsEdited(powerOnField.text, powerOffField.text,
                                                                          manager.savedPowerOnCommand,
                                                                          manager.savedPowerOffCommand)
                visible: page.openSection === 1
                columns: 2
                columnSpacing: 30
                rowSpacing: 10
                leftPadding: 20
                topPadding: 10
                bottomPadding: 10
                verticalItemAlignment: Grid.AlignVCenter
                FieldLabel { text: qsTr("Power on:") }
                SettingsField {
                    id: powerOnField
                    objectName: "powerOnField"
                    text: manager.savedPowerOnCommand
                    placeholderText: manager.defaultPowerOnCommand
                    placeholderTextColor: "#CCCCCC"
                }
                FieldLabel { text: qsTr("Power off:") }
                SettingsField {
                    id: powerOffField
                    text: manager.savedPowerOffCommand
                    placeholderText: manager.defaultPowerOffCommand
                    placeholderTextColor: "#CCCCCC"
                }
                Item { width: 1; height: 1 }
                Row {
                    spacing: 20
                    IconButton {
                        objectName: "powerSaveButton"
                        enabled: powerPanel.edited
                        source: "qrc:/images/icons/confirm.png"
                        pressedSource: "qrc:/images/icons/confirm-press.png"
                        disabledSource: "qrc:/images/icons/confirm-disable.png"
                        onClicked: page.savePowerCommands()
                    }
                    IconButton {
                        objectName: "powerCancelButton"
                        enabled: powerPanel.edited
                        source: "qrc:/images/icons/cancel.png"
                        pressedSource: "qrc:/images/icons/cancel-press.png"
                        disabledSource: "qrc:/images/icons/cancel-disable.png"
                        onClicked: page.restorePowerCommands()
                    }
                }
            }

            Row {
                objectName: "rerouteRow"
                spacing: 20
                leftPadding: 20
                height: 60
                Switch {
                    objectName: "rerouteSwitch"
                    anchors.verticalCenter: parent.verticalCenter
                    checked: manager.rerouteOnReconnect
                    onToggled: manager.rerouteOnReconnect = checked
                }
                FieldLabel {
                    anchors.verticalCenter: parent.verticalCenter
                    width: page.sectionWidth - 120
                    wrapMode: Text.Wrap
                    text: qsTr("Route a decoder again when it comes back showing another source")
                }
            }

            SectionHeader {
                width: page.sectionWidth
                text: qsTr("Control from other systems")
                open: page.openSection === 3
                onClicked: page.toggleSection(3)
            }
            Grid {
                objectName: "apiFields"
                visible: page.openSection === 3
                columns: 2
                columnSpacing: 30
                rowSpacing: 10
                leftPadding: 20
                topPadding: 10
                bottomPadding: 10
                verticalItemAlignment: Grid.AlignVCenter
                FieldLabel { text: qsTr("Control API:") }
                Switch {
                    id: apiSwitch
                    objectName: "apiSwitch"
                    checked: remoteApi.enabled
                }
                FieldLabel { text: qsTr("Listen address:") }
                SettingsField {
                    id: listenField
                    objectName: "listenField"
                    text: remoteApi.listenAddress
                }
                FieldLabel { text: qsTr("Text port (TCP):") }
                SettingsField {
                    id: linePortField
                    objectName: "linePortField"
                    text: remoteApi.linePort
                    validator: IntValidator { bottom: 1; top: 65535 }
                }
                FieldLabel { text: qsTr("WebSocket and HTTP port:") }
                SettingsField {
                    id: webPortField
                    objectName: "webPortField"
                    text: remoteApi.webPort
                    validator: IntValidator { bottom: 1; top: 65535 }
                }
                FieldLabel { text: qsTr("TLS certificate file:") }
                SettingsField {
                    id: certificateField
                    objectName: "certificateField"
                    width: 400
                    text: remoteApi.tlsCertificate
                    placeholderText: qsTr("none")
                }
                FieldLabel { text: qsTr("TLS key file:") }
                SettingsField {
                    id: keyField
                    objectName: "keyField"
                    width: 400
                    text: remoteApi.tlsKey
                    placeholderText: qsTr("none")
                }
                Item { width: 1; height: 1 }
                RoundButton {
                    objectName: "apiApplyButton"
                    width: 160
                    text: qsTr("Apply")
                    onClicked: page.applyApiSettings()
                }
                FieldLabel { text: qsTr("Token:") }
                Row {
                    spacing: 20
                    FieldLabel {
                        height: 44
                        text: remoteApi.tokenSet ? qsTr("set") : qsTr("none yet")
                    }
                    RoundButton {
                        objectName: "newTokenButton"
                        width: 200
                        text: qsTr("New token")
                        onClicked: tokenQuestion.open()
                    }
                }
                Item { width: 1; height: 1; visible: page.shownToken !== "" }
                Column {
                    visible: page.shownToken !== ""
                    spacing: 6
                    SettingsField {
                        objectName: "tokenField"
                        width: 520
                        readOnly: true
                        text: page.shownToken
                    }
                    FieldLabel {
                        width: 520
                        wrapMode: Text.Wrap
                        text: qsTr("Copy the token now: it is shown only this once.")
                        color: globalStyle.errorTextColor
                    }
                }
                Item { width: 1; height: 1; visible: remoteApi.status !== "" }
                FieldLabel {
                    visible: remoteApi.status !== ""
                    width: 520
                    wrapMode: Text.Wrap
                    text: remoteApi.status
                    color: globalStyle.errorTextColor
                }
            }

            SectionHeader {
                width: page.sectionWidth
                text: qsTr("MQTT and Home Assistant")
                open: page.openSection === 4
                onClicked: page.toggleSection(4)
            }
            MqttFields {
                objectName: "mqttFields"
                visible: page.openSection === 4
                onSaved: toast(message)
            }

            SectionHeader {
                width: page.sectionWidth
                text: qsTr("Reset software settings")
                open: page.openSection === 2
                onClicked: page.toggleSection(2)
            }
            Rectangle {
                visible: page.openSection === 2
                width: page.sectionWidth
                height: 60
                color: resetMouse.pressed ? "#B0282E" : "#941E23"
                Text {
                    anchors.fill: parent
                    anchors.leftMargin: 20
                    verticalAlignment: Text.AlignVCenter
                    text: qsTr("Reset software settings")
                    color: "white"
                    font.pixelSize: globalStyle.normalFontSize
                }
                MouseArea {
                    id: resetMouse
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: resetQuestion.open()
                }
            }
        }
    }

    Text {
        id: messageLine
        anchors.bottom: parent.bottom
        width: parent.width
        height: 50
        verticalAlignment: Text.AlignVCenter
        wrapMode: Text.Wrap
        visible: manager.demoMode
        text: qsTr("You are in demo mode, all configurations will not be saved.")
        color: globalStyle.errorTextColor
        font.bold: true
        font.pixelSize: globalStyle.normalFontSize
    }
}
