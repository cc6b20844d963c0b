import QtQuick 2.14

Item {
    id: tab

    property bool current: false
    property alias text: label.text

    signal clicked

    width: 150
    height: 60

    Rectangle {
        anchors.fill: parent
        anchors.topMargin: tab.current ? 0 : 6
        anchors.leftMargin: tab.current ? 0 : 3
        color: tab.current ? "#808080" : "#333333"
    }

    Text {
        id: label
        textFormat: Text.PlainText
        anchors.centerIn: parent
        color: tab.current ? "white" : "#666666"
        font.pixelSize: globalStyle.headerLabelFontSize
        font.weight: Font.Black
    }

    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: tab.clicked()
    }
}
