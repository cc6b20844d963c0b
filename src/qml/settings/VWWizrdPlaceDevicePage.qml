import QtQuick 2.14
import "../control"
import "../js/wall.js" as Wall
import "../js/paging.js" as Paging

Item {
    id: page

    property Item wizard
    readonly property int rows: wizard ? wizard.selectedHeight : 2
    readonly property int cols: wizard ? wizard.selectedWidth : 2
    property int currentRow: -1
    property int currentCol: -1
    property int enterCounter: 0
    readonly property int rxCellWidth: 50
    readonly property int rxCellSpacing: 5

    function clearEnterState() {
        currentRow = -1;
        currentCol = -1;
        enterCounter = 0;
    }

    function acceptRxInCell(index, seq) {
        wizard.deviceItems = Wall.place(wizard.deviceItems, rows * cols, index, seq);
        placeError.visible = false;
    }

    function saveVideoWall() {
        if (!Wall.allAssigned(wizard.deviceItems, rows * cols)) {
            placeError.visible = true;
            return;
        }
        var name = wizard.vwName;
        if (!manager.createVideoWall(name, rows, cols, Wall.cellsText(wizard.deviceItems))) {
            toast(qsTr("Video Wall \"%1\" could not be created.").arg(name));
            return;
        }
        wizard.cleanup();
        wizard.closeButtonClicked();
        toast(qsTr("Video Wall \"%1\" created.").arg(name));
    }

    function vwEditorRxListMoveLeft() {
        rxStrip.positionViewAtIndex(Paging.leftIndex(rxStrip.contentX, rxStrip.width, rxCellWidth + rxCellSpacing),
                                    ListView.Beginning);
    }

    function vwEditorRxListMoveRight() {
        rxStrip.positionViewAtIndex(Paging.rightIndex(rxStrip.contentX, rxStrip.width, rxCellWidth + rxCellSpacing,
                                                      rxStrip.count), ListView.Beginning);
    }

    onVisibleChanged: {
        clearEnterState();
        placeError.visible = false;
    }

    Text {
        id: title
        width: parent.width
        height: 50
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        textFormat: Text.PlainText
        text: wizard ? wizard.vwName : ""
        elide: Text.ElideRight
        color: "white"
        font.pixelSize: globalStyle.headerLabelFontSize
        font.bold: true
    }

    Item {
        id: gridArea
        anchors.top: title.bottom
        anchors.topMargin: page.height > 900 ? 60 : 0
        anchors.bottom: stepText.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: 100
        anchors.rightMargin: 100

        VWGrid {
            id: grid
            anchors.fill: parent
            anchors.margins: 40
            rows: page.rows
            cols: page.cols
        }

        Item {
            id: gridBox
            x: grid.x + (grid.width - grid.totalWidth) / 2
            y: grid.y + (grid.height - grid.totalHeight) / 2
            width: grid.totalWidth
            height: grid.totalHeight
            z: -1

            Rectangle {
                anchors.fill: parent
                color: "#333333"
            }

            Grid {
                rows: page.rows
                columns: page.cols
                Repeater {
                    model: page.rows * page.cols
                    DropArea {
                        id: cell
                        readonly property int row: Math.floor(index / page.cols) + 1
                        readonly property int column: index % page.cols + 1
                        width: grid.cellWidth
                        height: grid.cellHeight
                        keys: ["vwcfg"]
                        onEntered: {
                            page.currentRow = row;
                            page.currentCol = column;
                            page.enterCounter += 1;
                        }
                        onExited: {
                            page.enterCounter -= 1;
                            if (page.enterCounter <= 0)
                                page.clearEnterState();
                        }
                        onDropped: page.acceptRxInCell(index, drop.source.rxSeq)

                        Rectangle {
                            anchors.fill: parent
                            color: "#0B3233"
                            visible: cell.row === page.currentRow || cell.column === page.currentCol
                        }
                        Text {
                            textFormat: Text.PlainText
                            anchors.centerIn: parent
                            text: wizard ? wizard.deviceItems[index] : ""
                            color: "white"
                            font.pixelSize: globalStyle.headerLabelFontSize
                            font.bold: true
                        }
                    }
                }
            }
        }

        NumberMark {
            x: gridBox.x - 40
            y: gridBox.y + (page.currentRow - 1) * grid.cellHeight
            width: 40
            height: grid.cellHeight
            number: page.currentRow
        }
        NumberMark {
            x: gridBox.x + (page.currentCol - 1) * grid.cellWidth
            y: gridBox.y - 40
            width: grid.cellWidth
            height: 40
            number: page.currentCol
        }
    }

    Text {
        id: stepText
        anchors.bottom: separator.top
        width: parent.width
        height: Math.max(page.height > 900 ? 100 : 50, implicitHeight)
        verticalAlignment: Text.AlignVCenter
        wrapMode: Text.Wrap
        text: qsTr("Step 2:\nDrag RX to each display frame, ensure the number in the frame is consistent with that in the physical video wall.")
        color: "#999999"
        font.pixelSize: globalStyle.normalFontSize - 2
    }

    Item {
        id: separator
        anchors.bottom: stripArea.top
        anchors.bottomMargin: 8
        width: parent.width
        height: 30
        Rectangle {
            anchors.verticalCenter: parent.verticalCenter
            width: parent.width
            height: 1
            color: "#333333"
        }
        Rectangle {
            anchors.centerIn: parent
            width: separatorLabel.implicitWidth + 30
            height: parent.height
            color: "black"
            Text {
                id: separatorLabel
                anchors.centerIn: parent
                text: qsTr("RX List")
                color: globalStyle.accent
                font.pixelSize: globalStyle.normalFontSize
            }
        }
    }

    Item {
        id: stripArea
        anchors.bottom: placeError.top
        width: parent.width
        height: 60

        ListView {
            id: rxStrip
            objectName: "wizardRxStrip"
            anchors.fill: parent
            anchors.leftMargin: 60
            anchors.rightMargin: 60
            orientation: ListView.Horizontal
            spacing: page.rxCellSpacing
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            model: manager.purerxlist
            delegate: MouseArea {
                id: rxCell
                width: page.rxCellWidth
                height: 60
                drag.target: rxTile
                onPressed: page.clearEnterState()
                onReleased: {
                    rxTile.Drag.drop();
                    page.clearEnterState();
                }

                Rectangle {
                    id: rxTile
                    property string rxName: model.name
                    property int rxSeq: model.seq
                    width: rxCell.width
                    height: rxCell.height
                    anchors.horizontalCenter: parent.horizontalCenter
                    anchors.verticalCenter: parent.verticalCenter
                    color: "#333333"
                    border.width: rxCell.drag.active ? 1 : 0
                    border.color: "#999999"
                    Drag.active: rxCell.drag.active
                    Drag.keys: ["vwcfg"]
                    Drag.hotSpot.x: 32
                    Drag.hotSpot.y: 32
                    Text {
                        textFormat: Text.PlainText
                        anchors.centerIn: parent
                        text: model.seq
                        color: "#999999"
                        font.pixelSize: globalStyle.normalFontSize
                    }
                    states: State {
                        when: rxCell.drag.active
                        ParentChange {
                            target: rxTile
                            parent: page
                        }
                        AnchorChanges {
                            target: rxTile
                            anchors.horizontalCenter: undefined
                            anchors.verticalCenter: undefined
                        }
                    }
                }
            }
        }

        IconButton {
            anchors.left: parent.left
            anchors.verticalCenter: parent.verticalCenter
            iconWidth: 60
            iconHeight: 60
            visible: !rxStrip.atXBeginning
            source: "qrc:/images/icons/scroll-left.png"
            pressedSource: "qrc:/images/icons/scroll-left-press.png"
            onClicked: page.vwEditorRxListMoveLeft()
        }
        IconButton {
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            iconWidth: 60
            iconHeight: 60
            visible: !rxStrip.atXEnd
            source: "qrc:/images/icons/scroll-right.png"
            pressedSource: "qrc:/images/icons/scroll-right-press.png"
            onClicked: page.vwEditorRxListMoveRight()
        }
    }

    Text {
        id: placeError
        objectName: "placeError"
        anchors.bottom: buttons.top
        width: parent.width
        height: page.height > 900 ? 50 : 30
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        visible: false
        text: qsTr("Can't create video wall because some cells have not been configured!")
        color: globalStyle.errorTextColor
        font.pixelSize: globalStyle.normalFontSize
    }

    Row {
        id: buttons
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 20
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 40
        RoundButton {
            objectName: "backButton"
            width: 200
            normalBg: "#26262E"
            text: qsTr("Back")
            onClicked: wizard.back()
        }
        RoundButton {
            id: createButton
            objectName: "createButton"
            width: 200
            text: qsTr("Create")
            onClicked: page.saveVideoWall()
        }
    }
}
