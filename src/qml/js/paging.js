.pragma library

// Page steps of a horizontal strip of equally spaced cells: the index of the cell that
// should become the first visible one. A step left keeps a fifth of a cell of overlap.

function leftIndex(position, viewWidth, pitch) {
    return Math.max(0, Math.floor((position - viewWidth + 0.8 * pitch) / pitch));
}

function rightIndex(position, viewWidth, pitch, count) {
    return Math.min(count - 1, Math.floor((position + viewWidth) / pitch));
}
