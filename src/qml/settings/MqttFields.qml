import QtQuick 2.14
import QtQuick.Controls 2.14
import "../control"

// The MQTT bridge's settings on the advanced page: the broker, the site and the sign-in.
Grid {
    id: fields

    signal saved(string message)

    function apply() {
        var problem = mqttBridge.configure(mqttSwitch.checked, hostField.text, parseInt(portField.text, 10),
                                           siteField.text, clientIdField.text, userField.text,
                                           passwordField.text, caFileField.text);
        saved(problem !== "" ? problem : qsTr("MQTT settings saved."));
    }

    columns: 2
    columnSpacing: 30
    rowSpacing: 10
    leftPadding: 20
    topPadding: 10
    bottomPadding: 10
    verticalItemAlignment: Grid.AlignVCenter
    FieldLabel { text: qsTr("MQTT bridge:") }
    Switch {
        id: mqttSwitch
        objectName: "mqttSwitch"
        checked: mqttBridge.enabled
    }
    FieldLabel { text: qsTr("Broker:") }
    SettingsField {
        id: hostField
        objectName: "mqttHostField"
        width: 400
        text: mqttBridge.host
    }
    FieldLabel { text: qsTr("Port:") }
    SettingsField {
        id: portField
        objectName: "mqttPortField"
        text: mqttBridge.port
        validator: IntValidator { bottom: 1; top: 65535 }
    }
    FieldLabel { text: qsTr("Site name:") }
    SettingsField {
        id: siteField
        objectName: "mqttSiteField"
        width: 400
        text: mqttBridge.site
        placeholderText: mqttBridge.hostName
    }
    FieldLabel { text: qsTr("Client id:") }
    SettingsField {
        id: clientIdField
        objectName: "mqttClientIdField"
        width: 400
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
        width: 400
        text: mqttBridge.caFile
        placeholderText: qsTr("none")
    }
    Item { width: 1; height: 1 }
    RoundButton {
        objectName: "mqttApplyButton"
        width: 160
        text: qsTr("Apply")
        onClicked: fields.apply()
    }
    FieldLabel { text: qsTr("State:") }
    FieldLabel {
        width: 520
        wrapMode: Text.Wrap
        text: !mqttBridge.enabled ? qsTr("off")
              : mqttBridge.connected ? qsTr("connected")
              : mqttBridge.status !== "" ? mqttBridge.status : qsTr("connecting")
        color: mqttBridge.enabled && !mqttBridge.connected ? globalStyle.errorTextColor : "white"
    }
}
