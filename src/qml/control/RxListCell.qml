import QtQuick 2.14

Rectangle {
    id: cell

    property string rxName: model.name
    readonly property bool current: ListView.isCurrentItem

    width: ListView.view ? ListView.view.width : 280
    height: ListView.view ? ListView.view.rowHeight : 60
    color: current ? "#313247" : "#A5A5CA"

    // What the screen shows disagrees with what the controller routed (a decoder that kept
    // another source) or within itself (a wall whose screens differ): said under the name,
    // which moves up to make room.
    readonly property string markerText: model.drifted ? qsTr("Shows another source")
                                        : model.mixed ? qsTr("Screens show different sources") : ""

    Column {
        anchors.left: parent.left
        anchors.leftMargin: 20
        anchors.right: parent.right
        anchors.rightMargin: 15 + 31 + 10
        anchors.verticalCenter: parent.verticalCenter

        Text {
            width: parent.width
            textFormat: Text.PlainText
            text: model.alias
            elide: Text.ElideRight
            color: cell.current ? "white" : "#050404"
            font.pixelSize: globalStyle.titleFontSize
        }
        Text {
            objectName: "stateMarker"
            visible: cell.markerText !== ""
            width: parent.width
            textFormat: Text.PlainText
            text: cell.markerText
            elide: Text.ElideRight
            // Amber that reads on the selected row's dark blue and on the others' lilac.
            color: cell.current ? "#FFB400" : "#5C2E00"
            font.pixelSize: globalStyle.normalFontSize - 4
            font.bold: !cell.current
        }
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
