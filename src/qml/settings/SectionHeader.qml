import QtQuick 2.14

// A bar that opens and closes the panel below it.
Rectangle {
    id: header

    property alias text: label.text
    property bool open: false

    signal clicked

    height: 60
    color: mouseArea.pressed ? "#26262E" : "#333333"

    Text {
        id: label
        textFormat: Text.PlainText
        anchors.fill: parent
        anchors.leftMargin: 20
        anchors.rightMargin: 60
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        color: "#CCCCCC"
        font.pixelSize: globalStyle.headerLabelFontSize - 5
    }
    Text {
        textFormat: Text.PlainText
        anchors.right: parent.right
        anchors.rightMargin: 20
        anchors.verticalCenter: parent.verticalCenter
        text: header.open ? "\u2212" : "+"
        color: "#999999"
        font.pixelSize: globalStyle.headerLabelFontSize
    }
    MouseArea {
        id: mouseArea
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: header.clicked()
    }
}
