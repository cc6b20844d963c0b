import QtQuick 2.14
import QtQuick.Controls 2.14
import "control"
import "js/checks.js" as Checks
import "js/paging.js" as Paging

Item {
    id: mainFrame
    objectName: "mainFrame"

    property bool txDragging: false
    readonly property int contentMargin: 70
    readonly property int rxListWidth: 280
    readonly property int txCellWidth: 210
    readonly property int txCellHeight: 150
    readonly property int txCellSpacing: 5
    readonly property int headerHeight: header.height
    // At the smallest window the decoders' list needs the height the header and the zone
    // for all screens can spare.
    readonly property bool lowWindow: height < 800
    readonly property point videoCentre: Qt.point(centre.x + rxVideo.x + rxVideo.width / 2,
                                                  centre.y + rxVideo.y + rxVideo.height / 2)

    signal optionsClicked
    signal healthClicked

    // Cells inserted before the visible ones move the view's origin, not its first cell:
    // positions count from the origin.
    function txListMoveLeft() {
        if (txListView.atXBeginning)
            return;
        txListView.positionViewAtIndex(Paging.leftIndex(txListView.contentX - txListView.originX, txListView.width,
                                                        txCellWidth + txCellSpacing), ListView.Beginning);
    }

    function txListMoveRight() {
        if (txListView.atXEnd)
            return;
        txListView.positionViewAtIndex(Paging.rightIndex(txListView.contentX - txListView.originX, txListView.width,
                                                         txCellWidth + txCellSpacing, txListView.count),
                                       ListView.Beginning);
    }

    Header {
        id: header
        compact: mainFrame.lowWindow
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        onOptionsClicked: mainFrame.optionsClicked()
        onHealthClicked: mainFrame.healthClicked()
        onDisplayOnClicked: displayOnQuestion.open()
        onDisplayOffClicked: displayOffQuestion.open()
    }

    ConfirmDialog {
        id: displayOnQuestion
        title: qsTr("Notification")
        tips: qsTr("Are you sure want to turn on all monitors?")
        onAccepted: {
            manager.switchMonitor(true);
            toast(qsTr("All monitors are opened"));
        }
    }

    ConfirmDialog {
        id: displayOffQuestion
        title: qsTr("Notification")
        tips: qsTr("Are you sure want to turn off all monitors?")
        onAccepted: {
            manager.switchMonitor(false);
            toast(qsTr("All monitors are closed"));
        }
    }

    Item {
        id: centre
        anchors.top: header.bottom
        anchors.bottom: txStrip.top
        anchors.bottomMargin: 20
        anchors.left: parent.left
        anchors.leftMargin: contentMargin
        anchors.right: parent.right
        anchors.rightMargin: contentMargin

        Text {
            id: rxTitle
            width: rxListWidth
            height: 40
            verticalAlignment: Text.AlignVCenter
            text: qsTr("RX List")
            color: globalStyle.accent
            font.pixelSize: globalStyle.titleFontSize
            font.bold: true
        }

        ListView {
            id: rxListView
            objectName: "rxListView"
            readonly property int rowHeight: 60
            // Whole rows only: a row cut by the edge reads as the last one.
            readonly property int room: allScreensZone.y - (mainFrame.lowWindow ? 12 : 20) - y
            anchors.top: rxTitle.bottom
            width: rxListWidth
            height: Math.max(rowHeight, Math.floor((room + spacing) / (rowHeight + spacing)) * (rowHeight + spacing) - spacing)
            clip: true
            spacing: 1
            snapMode: ListView.SnapToItem
            boundsBehavior: Flickable.StopAtBounds
            model: manager.rxlist
            delegate: RxListCell {}
            // Outside the rows, always there while some rows are out of sight.
            ScrollBar.vertical: ScrollBar {
                objectName: "rxScrollBar"
                parent: rxListView.parent
                anchors.top: rxListView.top
                anchors.left: rxListView.right
                anchors.leftMargin: 4
                anchors.bottom: rxListView.bottom
                policy: rxListView.contentHeight > rxListView.height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
                contentItem: Rectangle {
                    implicitWidth: 6
                    radius: 3
                    color: globalStyle.accent
                }
                background: Rectangle {
                    implicitWidth: 6
                    radius: 3
                    color: "#26262E"
                }
            }

            function selectCurrent() {
                manager.setCurrentRxDevice(currentItem ? currentItem.rxName : "");
            }
            onCurrentItemChanged: selectCurrent()
            Component.onCompleted: {
                if (currentItem)
                    selectCurrent();
            }
        }

        Rectangle {
            id: allScreensZone
            objectName: "allScreensZone"
            anchors.bottom: parent.bottom
            width: rxListWidth
            height: mainFrame.lowWindow ? 90 : 120
            radius: 20
            readonly property bool hovered: allScreensDrop.containsDrag
            color: hovered ? "#1E1E1E" : "#141418"
            border.width: hovered ? 2 : 1
            border.color: hovered ? globalStyle.accent : "#26262E"

            Image {
                anchors.centerIn: parent
                height: Math.min(sourceSize.height, parent.height - 10)
                fillMode: Image.PreserveAspectFit
                smooth: true
                mipmap: true
                source: allScreensZone.hovered ? qsTr("qrc:/images/toallscreens-drop.png")
                                               : qsTr("qrc:/images/toallscreens.png")
            }

            // Reaches past the box so that a thumbnail dragged in from the strip lands easily,
            // but on the right only halfway to the video area, which is a drop target too.
            DropArea {
                id: allScreensDrop
                objectName: "allScreensDrop"
                enabled: mainFrame.txDragging
                x: -(contentMargin + 40)
                y: -30
                width: parent.width + contentMargin + 40 + 10
                height: parent.height + 30 + 20
                keys: ["videoSource"]
                onDropped: {
                    var txName = Checks.droppedTxName(drop.keys, drop.source);
                    if (txName === "")
                        return;
                    drop.accept();
                    // A refusal is already told by the manager; only a route that went out is confirmed.
                    var errorsBefore = managerErrors;
                    manager.changeRxDeviceSource(txName, true);
                    if (managerErrors === errorsBefore)
                        toast(qsTr("All screens now show \"%1\"").arg(drop.source.txAlias));
                }
            }
        }

        RxVideo {
            id: rxVideo
            objectName: "rxVideo"
            anchors.top: parent.top
            anchors.bottom: scenesStrip.visible ? scenesStrip.top : parent.bottom
            anchors.bottomMargin: scenesStrip.visible ? 12 : 0
            anchors.left: rxTitle.right
            anchors.leftMargin: 20
            anchors.right: parent.right
            hasSelection: rxListView.currentIndex >= 0
            onSourceChanged: manager.dropSourceOn(source, rxListView.currentItem ? rxListView.currentItem.rxName : "")
        }

        // Under the video only: the decoders' column keeps the whole height.
        ScenesStrip {
            id: scenesStrip
            anchors.bottom: parent.bottom
            anchors.left: rxVideo.left
            anchors.right: parent.right
        }
    }

    Connections {
        target: manager
        function onVideoWallCreated(index) {
            rxListView.currentIndex = index;
            manager.dropCurrentRxSource();
        }
    }

    Rectangle {
        id: txStrip
        anchors.bottom: parent.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        height: 220
        color: "black"

        Text {
            x: contentMargin
            y: 9
            text: qsTr("TX List")
            font.family: "Arial Black"
            font.bold: true
            font.pixelSize: globalStyle.titleFontSize
            color: "white"
        }

        ListView {
            id: txListView
            objectName: "txListView"
            anchors.fill: parent
            anchors.topMargin: 55
            anchors.bottomMargin: 25
            anchors.leftMargin: contentMargin
            anchors.rightMargin: contentMargin
            orientation: ListView.Horizontal
            clip: true
            spacing: txCellSpacing
            snapMode: ListView.SnapToItem
            boundsBehavior: Flickable.StopAtBounds
            model: manager.txlist
            delegate: TxListCell {
                width: txCellWidth
                height: txCellHeight
                dragLayer: mainFrame
                onDraggingChanged: mainFrame.txDragging = dragging
            }
        }

        IconButton {
            objectName: "txScrollLeft"
            anchors.left: parent.left
            anchors.verticalCenter: txListView.verticalCenter
            iconWidth: 78
            iconHeight: 128
            visible: !txListView.atXBeginning
            source: "qrc:/images/icons/scroll-left.png"
            pressedSource: "qrc:/images/icons/scroll-left-press.png"
            onClicked: txListMoveLeft()
        }

        IconButton {
            objectName: "txScrollRight"
            anchors.right: parent.right
            anchors.verticalCenter: txListView.verticalCenter
            iconWidth: 78
            iconHeight: 128
            visible: !txListView.atXEnd
            source: "qrc:/images/icons/scroll-right.png"
            pressedSource: "qrc:/images/icons/scroll-right-press.png"
            onClicked: txListMoveRight()
        }
    }
}
