import QtQuick 2.14

Rectangle {
    id: button

    property alias text: label.text
    property color normalBg: "#333333"
    property color pressBg: "#CCCCCC"
    property color normalColor: "white"
    property color pressColor: "black"

    signal clicked

    height: 50
    radius: height / 2
    color: mouseArea.pressed ? pressBg : normalBg
    opacity: enabled ? 1 : 0.4

    Text {
        id: label
        textFormat: Text.PlainText
        anchors.fill: parent
        anchors.leftMargin: 10
        anchors.rightMargin: 10
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        color: mouseArea.pressed ? button.pressColor : button.normalColor
        font.pixelSize: globalStyle.normalFontSize
    }

    MouseArea {
        id: mouseArea
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
}
