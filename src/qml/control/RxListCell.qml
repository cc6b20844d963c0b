import QtQuick 2.14

Rectangle {
    id: cell

    property string rxName: model.name
    readonly property bool current: ListView.isCurrentItem

    width: ListView.view ? ListView.view.width : 280
    height: ListView.view ? ListView.view.rowHeight : 60
    color: current ? "#313247" : "#A5A5CA"

    Text {
        anchors.fill: parent
        anchors.leftMargin: 20
        anchors.rightMargin: 15 + 31 + 10
        verticalAlignment: Text.AlignVCenter
        textFormat: Text.PlainText
        text: model.alias
        elide: Text.ElideRight
        color: cell.current ? "white" : "#050404"
        font.pixelSize: globalStyle.titleFontSize
    }

    // The decoder kept another source than the one routed to it.
    Text {
        objectName: "driftedMarker"
        anchors.right: parent.right
        anchors.rightMargin: 15 + 31 + 10
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 4
        visible: model.drifted
        textFormat: Text.PlainText
        text: qsTr("Shows another source")
        color: "#B06000"
        font.pixelSize: globalStyle.normalFontSize * 0.8
    }

    Image {
        anchors.right: parent.right
        anchors.rightMargin: 15
        anchors.verticalCenter: parent.verticalCenter
        width: 31
        height: 31
        visible: !model.online
        source: cell.current ? "qrc:/images/offline-rx-select-vwgrid.png" : "qrc:/images/offline-rx-tx.png"
    }

    MouseArea {
        anchors.fill: parent
        onClicked: cell.ListView.view.currentIndex = index
    }
}
