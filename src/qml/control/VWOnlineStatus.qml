import QtQuick 2.14
import "../js/wall.js" as Wall

// A marker on every screen of the selected wall whose decoder is offline.
Item {
    id: status

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
                    anchors.top: parent.top
                    anchors.topMargin: 15
                    anchors.right: parent.right
                    anchors.rightMargin: 15
                    width: 31
                    height: 31
                    visible: manager.vwOnlineStatus[index] === false
                    source: "qrc:/images/offline-rx-select-vwgrid.png"
                }
            }
        }
    }
}
