import QtQuick 2.14
import QtQuick.Controls 2.14
import "../control"
import "../js/checks.js" as Checks

// The MQTT bridge's settings on the advanced page: the broker, the site and the sign-in.
Grid {
    id: fields

    // Room for the state and for what is wrong beside a field.
    property int fieldColumnWidth: 520
    property int errorWidth: 260

    signal saved(string message)

    function apply() {
        var problems = Checks.mqttFieldProblems(mqttSwitch.checked, hostField.text, portField.text);
        hostField.error = problems.host === "" ? "" : qsTr("Type the broker's name or address.");
        portField.error = problems.port === "" ? "" : qsTr("A port is a number from 1 to 65535.");
        applyProblem.text = "";
        if (Checks.hasProblem(problems))
            return;
        var problem = mqttBridge.configure(mqttSwitch.checked, hostField.text, Checks.portNumber(portField.text),
                                           siteField.text, clientIdField.text, userField.text,
                                           passwordField.text, caFileField.text);
        mqttSwitch.checked = Qt.binding(function () { return mqttBridge.enabled; });
        if (problem !== "")
            applyProblem.text = problem;
        else
            saved(qsTr("MQTT settings saved."));
    }

    columns: 2
    columnSpacing: 30
    rowSpacing: 10
    leftPadding: 20
    topPadding: 10
    bottomPadding: 10
    verticalItemAlignment: Grid.AlignVCenter
    FieldLabel { text: qsTr("MQTT bridge:") }
    ToggleSwitch {
        id: mqttSwitch
        objectName: "mqttSwitch"
        checked: mqttBridge.enabled
    }
    FieldLabel { text: qsTr("State:") }
    FieldLabel {
        objectName: "mqttState"
        width: fields.fieldColumnWidth
        wrapMode: Text.Wrap
        text: !mqttBridge.enabled ? qsTr("Off.")
              : mqttBridge.connected ? qsTr("Connected to %1 port %2.").arg(mqttBridge.host).arg(mqttBridge.port)
              : mqttBridge.status
        color: !mqttBridge.enabled ? globalStyle.fontColorOnBlack
               : mqttBridge.connected ? "white"
               : mqttBridge.failing ? globalStyle.errorTextColor : globalStyle.fontColorOnBlack
    }
    FieldLabel { text: qsTr("Broker:") }
    SettingsField {
        id: hostField
        objectName: "mqttHostField"
        width: Math.min(400, fields.fieldColumnWidth - 120)
        errorWidth: fields.errorWidth - (width - 200)
        text: mqttBridge.host
    }
    FieldLabel { text: qsTr("Port:") }
    SettingsField {
        id: portField
        objectName: "mqttPortField"
        errorWidth: fields.errorWidth
        text: mqttBridge.port
        validator: IntValidator { bottom: 1; top: 65535 }
    }
    FieldLabel { text: qsTr("Site name:") }
    SettingsField {
        id: siteField
        objectName: "mqttSiteField"
        width: Math.min(400, fields.fieldColumnWidth - 120)
        text: mqttBridge.site
        placeholderText: mqttBridge.hostName
    }
    FieldLabel { text: qsTr("Client id:") }
    SettingsField {
        id: clientIdField
        objectName: "mqttClientIdField"
        width: Math.min(400, fields.fieldColumnWidth - 120)
        text: mqttBridge.clientId
        placeholderText: qsTr("from the site name")
    }
    FieldLabel { text: qsTr("User name:") }
    SettingsField {
        id: userField
        objectName: "mqttUserField"
        text: mqttBridge.user
    }
    FieldLabel { text: qsTr("Password:") }
    SettingsField {
        id: passwordField
        objectName: "mqttPasswordField"
        secret: true
        text: mqttBridge.password
    }
    FieldLabel { text: qsTr("TLS CA file:") }
    SettingsField {
        id: caFileField
        objectName: "mqttCaFileField"
        width: Math.min(400, fields.fieldColumnWidth - 120)
        text: mqttBridge.caFile
        placeholderText: qsTr("none")
    }
    Item { width: 1; height: 1 }
    Column {
        spacing: 8
        RoundButton {
            objectName: "mqttApplyButton"
            width: 160
            text: qsTr("Apply")
            onClicked: fields.apply()
        }
        FieldLabel {
            id: applyProblem
            objectName: "mqttProblem"
            visible: text !== ""
            width: fields.fieldColumnWidth
            wrapMode: Text.Wrap
            color: globalStyle.errorTextColor
        }
    }
}
