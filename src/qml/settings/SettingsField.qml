import QtQuick 2.14
import QtQuick.Controls 2.14

TextField {
    property bool secret: false

    width: 200
    height: 44
    font.pixelSize: globalStyle.normalFontSize
    selectByMouse: true
    echoMode: secret ? TextInput.Password : TextInput.Normal
    passwordMaskDelay: 500
    color: "white"
    placeholderTextColor: "#666666"
    selectionColor: globalStyle.accent
    selectedTextColor: "black"
    background: Rectangle {
        color: "#141418"
        border.width: parent.activeFocus ? 2 : 1
        border.color: parent.activeFocus ? globalStyle.accent : "#333333"
        radius: 4
    }
}
