import QtQuick 2.14
import QtQuick.Controls 2.14
import "../control"

// A table of devices to rename (click a row) and re-order (drag the handle).
Item {
    id: table

    property var model
    readonly property int spareWidth: Math.max(0, width - 60 - 4 * 180)
    readonly property var columnWidths: [60, 180, 180 + spareWidth, 180, 180]

    RenameDialog {
        id: renameDialog
        title: qsTr("Modify Alias Name")
        tips: qsTr("Alias Name:")
        existsError: qsTr("Name exists, please input again!")
        onRenamed: list.currentItem.setAlias(newName)
    }

    Rectangle {
        id: header
        width: parent.width
        height: 70
        color: "#808080"
        Row {
            anchors.fill: parent
            Repeater {
                model: [qsTr("No."), qsTr("ID"), qsTr("Alias Name"), qsTr("IP Address"), qsTr("Sequencing")]
                Text {
                    textFormat: Text.PlainText
                    width: table.columnWidths[index]
                    height: header.height
                    leftPadding: 12
                    verticalAlignment: Text.AlignVCenter
                    text: modelData
                    elide: Text.ElideRight
                    color: "white"
                    font.pixelSize: globalStyle.titleFontSize - 3
                }
            }
        }
    }

    ListView {
        id: list
        objectName: "deviceEditorList"
        anchors.top: header.bottom
        anchors.topMargin: 2
        anchors.bottom: parent.bottom
        width: parent.width
        clip: true
        spacing: 2
        boundsBehavior: Flickable.StopAtBounds
        model: table.model
        ScrollIndicator.vertical: ScrollIndicator {}

        displaced: Transition {
            NumberAnimation { properties: "y"; easing.type: Easing.OutQuad }
        }
        move: Transition {
            NumberAnimation { properties: "y"; easing.type: Easing.OutQuad }
        }

        delegate: Item {
            id: slot
            width: list.width
            height: 60

            DropArea {
                anchors.fill: parent
                keys: ["devlist"]
                onEntered: {
                    var from = drag.source.rowIndex;
                    if (from !== index)
                        table.model.move(from, index, 1);
                }
            }

            Rectangle {
                id: row
                objectName: "deviceRow"

                readonly property int rowIndex: index
                readonly property bool current: slot.ListView.isCurrentItem
                readonly property color textColor: current ? "white" : "#999999"
                // The sequence number, as the displays and the wall wizard show it; a wall has none.
                readonly property var cells: [model.category === "vw" ? "" : String(model.seq), model.id, model.alias,
                                              model.address]

                width: slot.width
                height: slot.height
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.verticalCenter: parent.verticalCenter
                color: current ? "#808080" : "#333333"

                Drag.active: handle.drag.active
                Drag.source: row
                Drag.keys: ["devlist"]
                Drag.hotSpot.x: 10
                Drag.hotSpot.y: 10

                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: {
                        list.currentIndex = index;
                        renameDialog.start(model.alias);
                    }
                }

                Row {
                    anchors.fill: parent
                    Repeater {
                        model: row.cells
                        Text {
                            width: table.columnWidths[index]
                            height: row.height
                            leftPadding: 12
                            rightPadding: 8
                            verticalAlignment: Text.AlignVCenter
                            textFormat: Text.PlainText
                            text: modelData === undefined ? "" : modelData
                            elide: Text.ElideRight
                            color: row.textColor
                            font.pixelSize: globalStyle.normalFontSize
                        }
                    }
                    Item {
                        width: table.columnWidths[4]
                        height: row.height
                        Image {
                            x: 12
                            anchors.verticalCenter: parent.verticalCenter
                            width: 43
                            height: 26
                            source: row.current ? "qrc:/images/icons/sequencing-select.png"
                                                : "qrc:/images/icons/sequencing.png"
                        }
                        MouseArea {
                            id: handle
                            objectName: "sequenceHandle"
                            anchors.fill: parent
                            drag.target: row
                            drag.axis: Drag.YAxis
                            // Otherwise the list takes a vertical drag for scrolling.
                            preventStealing: true
                            cursorShape: drag.active ? Qt.ClosedHandCursor : Qt.OpenHandCursor
                            onPressed: list.currentIndex = index
                            drag.onActiveChanged: manager.inOptions = drag.active
                            onReleased: row.Drag.drop()
                        }
                    }
                }

                states: State {
                    when: handle.drag.active
                    ParentChange {
                        target: row
                        parent: table
                    }
                    AnchorChanges {
                        target: row
                        anchors.horizontalCenter: undefined
                        anchors.verticalCenter: undefined
                    }
                    PropertyChanges {
                        target: row
                        z: 10
                        opacity: 0.9
                    }
                }
            }

            function setAlias(text) {
                model.alias = text;
            }

            // A row taken away mid-drag (its device gone) would otherwise hold every save back.
            Component.onDestruction: {
                if (handle.drag.active)
                    manager.inOptions = false;
            }
        }
    }
}
