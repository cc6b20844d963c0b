import QtQuick 2.14
import QtQuick.Controls 2.14

Item {
    property alias busyIndicator: indicator

    width: 800
    height: 600

    Rectangle {
        width: 400
        height: 400
        anchors.centerIn: parent
        anchors.verticalCenterOffset: 24
        radius: 15
        color: "#A0000000"
    }

    BusyIndicator {
        id: indicator
        width: 200
        height: 200
        anchors.centerIn: parent
        running: parent.visible
        // The style draws it in its dark grey, which vanishes on the black box.
        palette.dark: globalStyle.accent
    }

    Text {
        anchors.top: indicator.bottom
        anchors.topMargin: 20
        anchors.horizontalCenter: parent.horizontalCenter
        text: qsTr("Searching Device")
        color: "#c5c6c6"
        font.pixelSize: globalStyle.normalFontSize
    }
}
