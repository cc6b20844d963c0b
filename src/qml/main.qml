import QtQuick 2.14
import QtQuick.Window 2.14

Window {
    id: window
    visible: true
    width: 1280
    height: 800
    title: oem.name
    color: "#1e2229"

    Column {
        anchors.centerIn: parent
        spacing: 12

        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: oem.name
            color: "white"
            font.pointSize: 28
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: oem.version
            color: "#9aa4b2"
            font.pointSize: 14
        }
    }
}
