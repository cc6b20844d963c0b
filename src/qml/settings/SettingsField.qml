import QtQuick 2.14
import QtQuick.Controls 2.14
import "../control"

TextEntry {
    id: field

    property bool secret: false
    // Why the value cannot be used, shown beside the field in the error colour; empty when it can.
    property string error: ""
    // Room to the right of the field for that text; none where the page says it elsewhere.
    property int errorWidth: 260

    width: 200
    height: 44
    echoMode: secret ? TextInput.Password : TextInput.Normal
    passwordMaskDelay: 500
    color: "white"
    selectionColor: globalStyle.accent
    selectedTextColor: "black"
    // Typing again is the answer to the complaint.
    onTextEdited: error = ""
    background: Rectangle {
        color: "#141418"
        border.width: field.activeFocus || field.error !== "" ? 2 : 1
        border.color: field.error !== "" ? globalStyle.errorTextColor
                      : field.activeFocus ? globalStyle.accent : "#333333"
        radius: 4
    }

    Text {
        objectName: "fieldError"
        visible: field.error !== "" && field.errorWidth > 0
        x: field.width + 12
        anchors.verticalCenter: parent.verticalCenter
        width: field.errorWidth
        text: field.error
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        maximumLineCount: 2
        elide: Text.ElideRight
        color: globalStyle.errorTextColor
        font.pixelSize: globalStyle.normalFontSize - 3
    }
}
