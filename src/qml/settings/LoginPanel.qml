import QtQuick 2.14
import "../control"

// The admin password, asked where a locked page is: every locked page opens from itself.
Column {
    id: panel
    objectName: "loginPanel"

    // What the password opens, said above the field.
    property string purpose

    function unlock() {
        if (manager.login(passwordField.text)) {
            passwordField.text = "";
            passwordField.error = "";
        } else {
            passwordField.error = qsTr("Password error!");
        }
    }

    width: 600
    spacing: 12

    FieldLabel {
        visible: panel.purpose !== ""
        width: panel.width
        wrapMode: Text.Wrap
        text: panel.purpose
        color: globalStyle.fontColorOnBlack
    }
    FieldLabel {
        text: qsTr("Admin password:")
    }
    Row {
        spacing: 20
        SettingsField {
            id: passwordField
            objectName: "passwordField"
            secret: true
            width: panel.width - 120 - 20
            height: 50
            // Under the field: beside it is the button.
            errorWidth: 0
            onAccepted: panel.unlock()
        }
        RoundButton {
            objectName: "unlockButton"
            width: 120
            text: qsTr("Unlock")
            onClicked: panel.unlock()
        }
    }
    FieldLabel {
        objectName: "passwordError"
        visible: passwordField.error !== ""
        text: passwordField.error
        color: globalStyle.errorTextColor
        font.bold: true
    }
}
