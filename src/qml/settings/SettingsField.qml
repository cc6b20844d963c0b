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
}
