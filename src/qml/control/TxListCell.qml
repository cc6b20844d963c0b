import QtQuick 2.14
import Zentrova.Video 1.0

// An encoder's thumbnail; its picture is what the user drags onto a screen.
Item {
    id: cell

    property Item dragLayer: cell
    property alias txName: content.txName
    readonly property bool dragging: dragHandler.drag.active
    property bool videoShown: model.videoAvaiable

    Connections {
        target: model.surface
        ignoreUnknownSignals: true
        function onVideoAvaiableChanged(state) {
            cell.videoShown = state;
        }
    }

    MouseArea {
        id: dragHandler
        width: parent.width
        height: parent.height - 40
        drag.target: content
        cursorShape: drag.active ? Qt.ClosedHandCursor : Qt.OpenHandCursor
        // The drop lands where the finger is, wherever the picture was taken.
        onPressed: content.Drag.hotSpot = Qt.point(mouse.x, mouse.y)
        onReleased: content.Drag.drop()

        Rectangle {
            id: content
            objectName: "txContent"

            property string txName: "TX:" + model.name
            property string txAlias: model.alias

            width: dragHandler.width
            height: dragHandler.height
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.verticalCenter: parent.verticalCenter
            color: "#141418"
            border.width: dragHandler.drag.active ? 1 : 0
            border.color: globalStyle.accent

            Drag.active: dragHandler.drag.active
            Drag.keys: ["videoSource"]

            FrameView {
                id: video
                anchors.fill: parent
                anchors.margins: 1
                visible: cell.videoShown
                source: model.surface
                fillMode: FrameView.PreserveAspectFit
                Component.onCompleted: {
                    if (model.surface)
                        model.surface.size = Qt.size(width, height);
                }
            }

            Item {
                anchors.fill: parent
                visible: !cell.videoShown
                Image {
                    anchors.centerIn: parent
                    width: 50
                    height: 50
                    source: oem.tx_placeholder
                }
                Image {
                    anchors.top: parent.top
                    anchors.topMargin: 15
                    anchors.right: parent.right
                    anchors.rightMargin: 15
                    width: 31
                    height: 31
                    visible: !model.online
                    source: "qrc:/images/offline-rx-tx.png"
                }
            }

            states: State {
                when: dragHandler.drag.active
                ParentChange {
                    target: content
                    parent: cell.dragLayer
                }
                AnchorChanges {
                    target: content
                    anchors.horizontalCenter: undefined
                    anchors.verticalCenter: undefined
                }
            }
        }
    }

    Text {
        anchors.bottom: parent.bottom
        width: parent.width
        height: 40
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        textFormat: Text.PlainText
        text: model.alias
        elide: Text.ElideRight
        color: "white"
        font.pixelSize: globalStyle.normalFontSize
    }
}
