import QtQuick 2.14
import "../control"

Item {
    id: page

    property bool showRx: true

    Row {
        id: tabs
        spacing: 0
        TabButton {
            objectName: "rxTab"
            text: qsTr("RX")
            current: page.showRx
            onClicked: page.showRx = true
        }
        TabButton {
            objectName: "txTab"
            text: qsTr("TX")
            current: !page.showRx
            onClicked: page.showRx = false
        }
    }

    DeviceEditorListView {
        anchors.top: tabs.bottom
        anchors.bottom: tips.top
        anchors.bottomMargin: 10
        anchors.left: parent.left
        anchors.right: parent.right
        model: page.showRx ? manager.rxlist : manager.txlist
    }

    Text {
        id: tips
        anchors.bottom: parent.bottom
        height: 40
        verticalAlignment: Text.AlignVCenter
        text: qsTr("Tips: You can rename and sequence by click and drag.")
        color: "#999999"
        font.pixelSize: globalStyle.normalFontSize
    }
}
