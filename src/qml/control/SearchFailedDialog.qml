import QtQuick 2.14

Rectangle {
    id: dialog

    signal demoButtonClicked
    signal retryButtonClicked

    width: 700
    height: 300
    radius: 25
    color: "#B2B3B2"

    RoundButton {
        objectName: "demoButton"
        anchors.top: parent.top
        anchors.topMargin: 30
        anchors.right: parent.right
        anchors.rightMargin: 30
        width: 120
        normalBg: "#666666"
        text: qsTr("Demo")
        onClicked: dialog.demoButtonClicked()
    }

    Text {
        anchors.centerIn: parent
        width: 600
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        text: qsTr("Unable to discover any online devices, please make sure the devices are in the same LAN and retry.")
        font.pixelSize: globalStyle.titleFontSize
        font.bold: true
    }

    RoundButton {
        objectName: "retryButton"
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 50
        anchors.horizontalCenter: parent.horizontalCenter
        width: 150
        text: qsTr("Retry")
        onClicked: dialog.retryButtonClicked()
    }
}
