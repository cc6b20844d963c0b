import QtQuick 2.14
import QtQuick.Controls 2.14
import "../control"
import "../js/checks.js" as Checks

Item {
    id: page

    // The open sections, one bit each: 0 password, 1 power commands, 2 reset, 3 control API,
    // 4 MQTT. Each opens and closes on its own, so that opening one folds nothing away.
    property int openSections: 0
    // Narrow windows would squeeze the section titles; they keep at least 640 then.
    readonly property int sectionWidth: Math.min(width, Math.max(width - 300, 640))
    // The fields' column: what is left beside the labels, and the room beside a field for
    // what is wrong with it.
    readonly property int fieldColumnWidth: Math.max(360, sectionWidth - 280)
    readonly property int wideFieldWidth: Math.min(400, fieldColumnWidth - 40)
    readonly property int errorWidth: Math.max(160, width - 300 - 220)

    function isOpen(section) {
        return (openSections & (1 << section)) !== 0;
    }

    // The header of a section just opened, scrolled up into sight once the page has grown.
    property Item openedHeader: null

    function toggleSection(section, header) {
        openSections ^= 1 << section;
        openedHeader = isOpen(section) ? header : null;
    }

    // A field's problem code in words.
    function problemText(code) {
        switch (code) {
        case "port": return qsTr("A port is a number from 1 to 65535.");
        case "samePort": return qsTr("Must differ from the other ports.");
        case "empty": return qsTr("Required: 0.0.0.0 listens on every network.");
        case "notAddress": return qsTr("Not an IP address, such as 192.0.2.1.");
        case "pair": return qsTr("TLS needs both the certificate and the key.");
        default: return "";
        }
    }

    // The state the section shows: what runs, or why nothing does.
    function apiState() {
        if (remoteApi.running) {
            var lines = remoteApi.plainLine
                    ? qsTr("text port %1 over TLS and %2 without").arg(remoteApi.lineTlsPort).arg(remoteApi.linePort)
                    : qsTr("text port %1 over TLS").arg(remoteApi.lineTlsPort);
            var web = remoteApi.webTls ? qsTr("WebSocket and HTTPS port %1").arg(remoteApi.webPort)
                                       : qsTr("WebSocket and HTTP port %1 without TLS").arg(remoteApi.webPort);
            return qsTr("Running on %1: %2, %3.").arg(remoteApi.listenAddress).arg(lines).arg(web);
        }
        if (remoteApi.enabled && remoteApi.status !== "")
            return qsTr("Not running: %1").arg(remoteApi.status);
        return qsTr("Off: no control system can connect.");
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

    function applyApiSettings() {
        var problems = Checks.apiFieldProblems(listenField.text, lineTlsPortField.text, linePortField.text,
                                               webPortField.text, certificateField.text, keyField.text);
        listenField.error = problemText(problems.listen);
        lineTlsPortField.error = problemText(problems.lineTlsPort);
        linePortField.error = problemText(problems.linePort);
        webPortField.error = problemText(problems.webPort);
        certificateField.error = problemText(problems.certificate);
        keyField.error = problemText(problems.key);
        apiProblem.text = "";
        if (Checks.hasProblem(problems))
            return;
        var problem = remoteApi.configure(apiSwitch.checked, Checks.portNumber(lineTlsPortField.text),
                                          Checks.portNumber(linePortField.text), plainLineSwitch.checked,
                                          Checks.portNumber(webPortField.text), webTlsSwitch.checked,
                                          listenField.text, certificateField.text, keyField.text);
        // The switch shows again what runs, whatever was asked.
        apiSwitch.checked = Qt.binding(function () { return remoteApi.running; });
        // What stopped it is in the state line; what was refused before, under the button.
        if (problem !== "" && problem !== remoteApi.status)
            apiProblem.text = problem;
        else if (problem === "")
            toast(qsTr("Control API settings saved."));
    }

    function makeToken() {
        var token = remoteApi.newToken();
        if (token === "")
            apiProblem.text = remoteApi.status;
        else
            tokenDialog.show(token);
    }

    ConfirmDialog {
        id: tokenQuestion
        title: qsTr("Attention")
        tips: remoteApi.tokenSet ? qsTr("Make a new token? Every control system that uses the current one is cut off.")
                                 : qsTr("Make a token for control systems?")
        onAccepted: page.makeToken()
    }

    // Shown once, right after it is made; the dialog forgets it when it closes.
    SecretDialog {
        id: tokenDialog
        title: qsTr("New token for control systems")
        warning: qsTr("Copy the token now: it is shown only this once. Control systems sign in with it.")
    }

    ConfirmDialog {
        id: resetQuestion
        title: qsTr("Attention")
        tips: qsTr("Do you want to reset the software?")
        onAccepted: manager.doFactoryDefault()
    }

    // Locked: the password panel.
    LoginPanel {
        visible: manager.locked
        y: 150
        anchors.horizontalCenter: parent.horizontalCenter
    }

    // Unlocked: the sections.
    Flickable {
        id: flick
        objectName: "sections"
        visible: !manager.locked
        anchors.top: parent.top
        anchors.bottom: messageLine.top
        width: parent.width
        contentHeight: sections.height
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        onContentHeightChanged: {
            if (page.openedHeader)
                contentY = Math.max(0, Math.min(page.openedHeader.y, contentHeight - height));
            page.openedHeader = null;
        }
        ScrollBar.vertical: ScrollBar {
            policy: flick.contentHeight > flick.height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
            contentItem: Rectangle {
                implicitWidth: 6
                radius: 3
                color: globalStyle.accent
            }
        }

        Column {
            id: sections
            spacing: 10

            SectionHeader {
                id: header0
                width: page.sectionWidth
                text: qsTr("Change password")
                open: page.isOpen(0)
                onClicked: page.toggleSection(0, header0)
            }
            Grid {
                objectName: "passwordFields"
                visible: page.isOpen(0)
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
                id: header1
                width: page.sectionWidth
                text: qsTr("Customize display power on/off command")
                open: page.isOpen(1)
                onClicked: page.toggleSection(1, header1)
            }
            Grid {
                id: powerPanel
                readonly property bool edited: Checks.powerCommandsEdited(powerOnField.text, powerOffField.text,
                                                                          manager.savedPowerOnCommand,
                                                                          manager.savedPowerOffCommand)
                visible: page.isOpen(1)
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
                }
                FieldLabel { text: qsTr("Power off:") }
                SettingsField {
                    id: powerOffField
                    text: manager.savedPowerOffCommand
                    placeholderText: manager.defaultPowerOffCommand
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

            SwitchRow {
                objectName: "rerouteRow"
                switchName: "rerouteSwitch"
                textWidth: page.sectionWidth - 120
                text: qsTr("Route a decoder again when it comes back showing another source")
                checked: manager.rerouteOnReconnect
                onToggled: manager.rerouteOnReconnect = on
            }
            // For sites where a power cut takes the controller down with the screens.
            SwitchRow {
                objectName: "restoreRow"
                switchName: "restoreSwitch"
                textWidth: page.sectionWidth - 120
                text: qsTr("At start, put every screen back on its saved route")
                checked: manager.restoreRoutesAtStart
                onToggled: manager.restoreRoutesAtStart = on
            }

            SectionHeader {
                id: header3
                objectName: "apiHeader"
                width: page.sectionWidth
                text: qsTr("Control from other systems")
                open: page.isOpen(3)
                onClicked: page.toggleSection(3, header3)
            }
            Grid {
                objectName: "apiFields"
                visible: page.isOpen(3)
                columns: 2
                columnSpacing: 30
                rowSpacing: 10
                leftPadding: 20
                topPadding: 10
                bottomPadding: 10
                verticalItemAlignment: Grid.AlignVCenter
                FieldLabel { text: qsTr("Control API:") }
                ToggleSwitch {
                    id: apiSwitch
                    objectName: "apiSwitch"
                    checked: remoteApi.running
                }
                FieldLabel { text: qsTr("State:") }
                FieldLabel {
                    objectName: "apiState"
                    width: page.fieldColumnWidth
                    wrapMode: Text.Wrap
                    text: page.apiState()
                    color: remoteApi.running ? "white"
                           : remoteApi.enabled && remoteApi.status !== "" ? globalStyle.errorTextColor
                                                                          : globalStyle.fontColorOnBlack
                }
                FieldLabel { text: qsTr("Listen address:") }
                SettingsField {
                    id: listenField
                    objectName: "listenField"
                    errorWidth: page.errorWidth
                    text: remoteApi.listenAddress
                }
                FieldLabel { text: qsTr("Text port over TLS:") }
                SettingsField {
                    id: lineTlsPortField
                    objectName: "lineTlsPortField"
                    errorWidth: page.errorWidth
                    text: remoteApi.lineTlsPort
                    validator: IntValidator { bottom: 1; top: 65535 }
                }
                FieldLabel { text: qsTr("Plain text port:") }
                Row {
                    spacing: 20
                    ToggleSwitch {
                        id: plainLineSwitch
                        objectName: "plainLineSwitch"
                        anchors.verticalCenter: parent.verticalCenter
                        checked: remoteApi.plainLine
                    }
                    SettingsField {
                        id: linePortField
                        objectName: "linePortField"
                        errorWidth: page.errorWidth - 80
                        text: remoteApi.linePort
                        validator: IntValidator { bottom: 1; top: 65535 }
                    }
                }
                Item { width: 1; height: 1; visible: plainLineSwitch.checked }
                FieldLabel {
                    objectName: "plainLineHint"
                    visible: plainLineSwitch.checked
                    width: page.fieldColumnWidth
                    wrapMode: Text.Wrap
                    color: globalStyle.darkFontColorOnBlack
                    text: qsTr("Only for control processors that cannot speak TLS: whoever can watch the network reads the token and the commands.")
                }
                FieldLabel { text: qsTr("WebSocket and HTTP port:") }
                SettingsField {
                    id: webPortField
                    objectName: "webPortField"
                    errorWidth: page.errorWidth
                    text: remoteApi.webPort
                    validator: IntValidator { bottom: 1; top: 65535 }
                }
                FieldLabel { text: qsTr("Web port over TLS:") }
                ToggleSwitch {
                    id: webTlsSwitch
                    objectName: "webTlsSwitch"
                    checked: remoteApi.webTls
                }
                FieldLabel { text: qsTr("TLS certificate file:") }
                SettingsField {
                    id: certificateField
                    objectName: "certificateField"
                    width: page.wideFieldWidth
                    errorWidth: page.errorWidth - (width - 200)
                    text: remoteApi.tlsCertificate
                    placeholderText: qsTr("the controller's own")
                }
                FieldLabel { text: qsTr("TLS key file:") }
                SettingsField {
                    id: keyField
                    objectName: "keyField"
                    width: page.wideFieldWidth
                    errorWidth: page.errorWidth - (width - 200)
                    text: remoteApi.tlsKey
                    placeholderText: qsTr("the controller's own")
                }
                FieldLabel { text: qsTr("Fingerprint (SHA-256):") }
                TextEdit {
                    objectName: "fingerprint"
                    width: page.fieldColumnWidth
                    wrapMode: Text.WrapAnywhere
                    readOnly: true
                    selectByMouse: true
                    textFormat: Text.PlainText
                    font.pixelSize: globalStyle.normalFontSize
                    color: remoteApi.fingerprint !== "" ? "white" : globalStyle.darkFontColorOnBlack
                    text: remoteApi.fingerprint !== "" ? remoteApi.fingerprint : qsTr("shown while the API runs")
                }
                Item { width: 1; height: 1 }
                Column {
                    spacing: 8
                    RoundButton {
                        objectName: "apiApplyButton"
                        width: 160
                        text: qsTr("Apply")
                        onClicked: page.applyApiSettings()
                    }
                    FieldLabel {
                        id: apiProblem
                        objectName: "apiProblem"
                        visible: text !== ""
                        width: page.fieldColumnWidth
                        wrapMode: Text.Wrap
                        color: globalStyle.errorTextColor
                    }
                }
                FieldLabel { text: qsTr("Token:") }
                Row {
                    spacing: 20
                    FieldLabel {
                        objectName: "tokenState"
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
            }

            SectionHeader {
                id: header4
                objectName: "mqttHeader"
                width: page.sectionWidth
                text: qsTr("MQTT and Home Assistant")
                open: page.isOpen(4)
                onClicked: page.toggleSection(4, header4)
            }
            MqttFields {
                objectName: "mqttFields"
                visible: page.isOpen(4)
                fieldColumnWidth: page.fieldColumnWidth
                errorWidth: page.errorWidth
                onSaved: toast(message)
            }

            SectionHeader {
                id: header2
                width: page.sectionWidth
                text: qsTr("Reset software settings")
                open: page.isOpen(2)
                onClicked: page.toggleSection(2, header2)
            }
            Rectangle {
                visible: page.isOpen(2)
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
