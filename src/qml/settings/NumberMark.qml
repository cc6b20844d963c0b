import QtQuick 2.14

// The number of the highlighted row or column beside the wizard's grid.
Rectangle {
    property int number: -1

    visible: number > 0
    color: "#40B4E6FF"
    border.width: 2
    border.color: "#804EC4FF"

    Text {
        textFormat: Text.PlainText
        anchors.centerIn: parent
        text: parent.number
        color: "white"
        font.pixelSize: globalStyle.normalFontSize
    }
}
