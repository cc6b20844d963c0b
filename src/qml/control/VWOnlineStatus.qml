import QtQuick 2.14
import "../js/wall.js" as Wall

// A marker on every screen of the selected wall whose decoder is offline.
Item {
    id: status
    objectName: "wallOnlineStatus"

    property int rows: 1
    property int cols: 1
    readonly property var cellSize: Wall.cellSize(width, height, rows, cols, Wall.displayRatio, Wall.safetyMargin)

    Grid {
        anchors.centerIn: parent
        rows: status.rows
        columns: status.cols
        Repeater {
            model: status.rows * status.cols
            Item {
                width: status.cellSize.width
                height: status.cellSize.height
                Image {
                    readonly property int size: Wall.markerSize(parent.width, parent.height)
                    anchors.top: parent.top
                    anchors.topMargin: size / 2
                    anchors.right: parent.right
                    anchors.rightMargin: size / 2
                    width: size
                    height: size
                    visible: manager.vwOnlineStatus[index] === false
                    source: "qrc:/images/offline-rx-select-vwgrid.png"
                }
            }
        }
    }
}
