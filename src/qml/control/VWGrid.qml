import QtQuick 2.14
import "../js/wall.js" as Wall

// The dotted outline of a wall's screens, centred in the item.
Item {
    id: grid

    property int rows: 1
    property int cols: 1
    property color borderColor: "#999999"
    property real vwWHRatio: 16 / 9
    property int vwSafePixel: 10
    readonly property var cellSize: Wall.cellSize(width, height, rows, cols)
    readonly property int cellWidth: cellSize.width
    readonly property int cellHeight: cellSize.height
    readonly property int totalWidth: cellWidth * cols
    readonly property int totalHeight: cellHeight * rows

    Canvas {
        id: canvas
        x: Math.floor((grid.width - grid.totalWidth) / 2)
        y: Math.floor((grid.height - grid.totalHeight) / 2)
        width: grid.totalWidth + 2
        height: grid.totalHeight + 2
        onPaint: {
            var ctx = getContext("2d");
            ctx.reset();
            ctx.strokeStyle = grid.borderColor;
            ctx.lineWidth = 2;
            ctx.setLineDash([1, 4]);
            ctx.beginPath();
            for (var c = 0; c <= grid.cols; ++c) {
                ctx.moveTo(c * grid.cellWidth + 1, 0);
                ctx.lineTo(c * grid.cellWidth + 1, grid.totalHeight + 2);
            }
            for (var r = 0; r <= grid.rows; ++r) {
                ctx.moveTo(0, r * grid.cellHeight + 1);
                ctx.lineTo(grid.totalWidth + 2, r * grid.cellHeight + 1);
            }
            ctx.stroke();
        }
        onWidthChanged: requestPaint()
        onHeightChanged: requestPaint()
    }

    onRowsChanged: canvas.requestPaint()
    onColsChanged: canvas.requestPaint()
    onBorderColorChanged: canvas.requestPaint()
}
