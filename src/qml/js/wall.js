.pragma library

// Geometry of a wall's screens inside an area, and the cell assignments of the wall wizard.

var displayRatio = 16 / 9;
var safetyMargin = 10;

// Each dimension is fitted on its own, so a cell need not keep the ratio exactly.
function cellSize(width, height, rows, columns, ratio, margin) {
    var cellWidth = Math.floor(width / columns);
    if (cellWidth / ratio * rows > height - margin)
        cellWidth = Math.floor((height - margin) / rows * ratio);
    var cellHeight = Math.floor(height / rows);
    if (cellHeight * ratio * columns > width - margin)
        cellHeight = Math.floor((width - margin) / columns / ratio);
    return { "width": Math.max(cellWidth, 0), "height": Math.max(cellHeight, 0) };
}

function sizeAllowed(rows, columns) {
    return rows * columns > 1;
}

// Every screen of a new wall needs a decoder of its own, so two free ones at least.
function canCreate(freeDecoders) {
    return freeDecoders >= 2;
}

// The most rows (or columns) a wizard may offer beside the other dimension's choice.
function largestFit(other, freeDecoders, limit) {
    return Math.max(1, Math.min(limit, Math.floor(freeDecoders / other)));
}

// Two by two when there are decoders enough, otherwise one row of two.
function startSize(freeDecoders) {
    return { "rows": freeDecoders >= 4 ? 2 : 1, "columns": 2 };
}

// A wall screen's offline marker, 31 pixels but never more than a third of the screen.
function markerSize(cellWidth, cellHeight) {
    return Math.min(31, Math.floor(Math.min(cellWidth, cellHeight) / 3));
}

function emptyCells(count) {
    var cells = [];
    for (var i = 0; i < count; ++i)
        cells.push("");
    return cells;
}

// A decoder takes one screen only: placing it again frees its old screen, and it
// displaces whatever decoder held the new one (that one becomes unassigned).
function place(cells, used, index, seq) {
    var result = cells.slice();
    var text = String(seq);
    for (var i = 0; i < used; ++i) {
        if (result[i] === text) {
            result[i] = "";
            break;
        }
    }
    result[index] = text;
    return result;
}

function allAssigned(cells, used) {
    for (var i = 0; i < used; ++i) {
        if (cells[i] === "")
            return false;
    }
    return true;
}

function cellsText(cells) {
    return cells.join(",");
}
