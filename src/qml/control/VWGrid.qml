import QtQuick 2.14
import QtQuick.Shapes 1.14
import "../js/wall.js" as Wall

// The dotted outline of a wall's screens, centred in the item.
Item {
    id: grid

    property int rows: 1
    property int cols: 1
    property color borderColor: "#999999"
    property real vwWHRatio: Wall.displayRatio
    property int vwSafePixel: Wall.safetyMargin
    readonly property var cellSize: Wall.cellSize(width, height, rows, cols, vwWHRatio, vwSafePixel)
    readonly property int cellWidth: cellSize.width
    readonly property int cellHeight: cellSize.height
    readonly property int totalWidth: cellWidth * cols
    readonly property int totalHeight: cellHeight * rows

    // Every cell's left and top edges, and the grid's right and bottom edges.
    readonly property var lines: {
        var result = [];
        for (var c = 0; c <= cols; ++c)
            result.push([Qt.point(c * cellWidth + 1, 0), Qt.point(c * cellWidth + 1, totalHeight + 2)]);
        for (var r = 0; r <= rows; ++r)
            result.push([Qt.point(0, r * cellHeight + 1), Qt.point(totalWidth + 2, r * cellHeight + 1)]);
        return result;
    }

    Shape {
        x: Math.floor((grid.width - grid.totalWidth) / 2) - 1
        y: Math.floor((grid.height - grid.totalHeight) / 2) - 1
        width: grid.totalWidth + 2
        height: grid.totalHeight + 2
        ShapePath {
            strokeColor: grid.borderColor
            strokeWidth: 2
            strokeStyle: ShapePath.DashLine
            dashPattern: [1, 4]
            fillColor: "transparent"
            PathMultiline {
                paths: grid.lines
            }
        }
    }
}
