import QtQuick 2.14

// A setting that is on or off, with its sentence beside the switch.
Row {
    property alias text: label.text
    property alias checked: toggle.checked
    property alias switchName: toggle.objectName
    // Room for the sentence.
    property int textWidth: 500

    signal toggled(bool on)

    spacing: 20
    leftPadding: 20
    height: 60

    ToggleSwitch {
        id: toggle
        anchors.verticalCenter: parent.verticalCenter
        onToggled: parent.toggled(checked)
    }
    FieldLabel {
        id: label
        anchors.verticalCenter: parent.verticalCenter
        width: parent.textWidth
        wrapMode: Text.Wrap
    }
}
