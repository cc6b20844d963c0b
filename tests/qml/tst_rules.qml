import QtQuick 2.14
import QtTest 1.14
import "../../src/qml/js/checks.js" as Checks
import "../../src/qml/js/paging.js" as Paging
import "../../src/qml/control"
import "../../src/qml/js/wall.js" as Wall

TestCase {
    name: "Rules"

    function test_input_data() {
        return [
            { tag: "surrounding blanks are removed", text: "  Lobby \t", expected: "Lobby" },
            { tag: "inner blanks stay", text: " Hall  A ", expected: "Hall  A" },
            { tag: "only blanks are refused", text: "   ", expected: null },
            { tag: "nothing is refused", text: "", expected: null }
        ];
    }

    function test_input(data) {
        compare(Checks.acceptedInput(data.text, false), data.expected);
    }

    function test_drop_data() {
        var cell = { txName: "TX:IPE1" };
        return [
            { tag: "encoder cell", keys: ["videoSource"], source: cell, expected: "TX:IPE1" },
            { tag: "empty source name still routes", keys: ["videoSource"], source: { txName: "TX:" }, expected: "TX:" },
            { tag: "another drag key", keys: ["vwcfg"], source: cell, expected: "" },
            { tag: "no txName", keys: ["videoSource"], source: { rxSeq: 3 }, expected: "" },
            { tag: "lower-case prefix", keys: ["videoSource"], source: { txName: "tx:IPE1" }, expected: "" },
            { tag: "prefix not at the start", keys: ["videoSource"], source: { txName: " TX:IPE1" }, expected: "" },
            { tag: "not a text", keys: ["videoSource"], source: { txName: 5 }, expected: "" },
            { tag: "no source", keys: ["videoSource"], source: null, expected: "" }
        ];
    }

    function test_drop(data) {
        compare(Checks.droppedTxName(data.keys, data.source), data.expected);
    }

    function test_rename_data() {
        return [
            { tag: "same name", from: "RX - 1", to: "RX - 1", known: ["RX - 1"], expected: "unchanged" },
            { tag: "letter case of its own name", from: "RX - 1", to: "rx - 1", known: ["RX - 1"], expected: "ok" },
            { tag: "name of another device", from: "RX - 1", to: "rx - 2", known: ["RX - 1", "RX - 2"], expected: "exists" },
            { tag: "free name", from: "RX - 1", to: "Lobby", known: ["RX - 1"], expected: "ok" },
            { tag: "new wall with a used name", from: "", to: "LOBBY", known: ["Lobby"], expected: "exists" },
            { tag: "new wall with a free name", from: "", to: "Hall", known: ["Lobby"], expected: "ok" }
        ];
    }

    function test_rename(data) {
        var exists = function (name) {
            return data.known.some(function (known) { return known.toLowerCase() === name.toLowerCase(); });
        };
        compare(Checks.renameVerdict(data.from, data.to, exists), data.expected);
    }

    function test_passwordButtons_data() {
        return [
            { tag: "all empty", fields: ["", "", ""], confirm: false, clear: false },
            { tag: "one blank", fields: [" ", "", ""], confirm: false, clear: true },
            { tag: "confirmation blank", fields: ["a", "b", "  "], confirm: false, clear: true },
            { tag: "all filled", fields: ["a", "b", "b"], confirm: true, clear: true }
        ];
    }

    function test_passwordButtons(data) {
        compare(Checks.canConfirmPassword(data.fields[0], data.fields[1], data.fields[2]), data.confirm);
        compare(Checks.canClearPassword(data.fields[0], data.fields[1], data.fields[2]), data.clear);
    }

    function test_powerButtons_data() {
        return [
            { tag: "saved commands", on: "40 04", off: "FF 36", expected: false },
            { tag: "trailing blank only", on: "40 04 ", off: "FF 36", expected: false },
            { tag: "on changed", on: "40 05", off: "FF 36", expected: true },
            { tag: "off cleared", on: "40 04", off: "", expected: true }
        ];
    }

    function test_powerButtons(data) {
        compare(Checks.powerCommandsEdited(data.on, data.off, "40 04", "FF 36"), data.expected);
    }

    // The TX strip: 215 pixels a cell, 30 cells.
    function test_paging_data() {
        return [
            { tag: "right from the start", position: 0, width: 884, right: 4 },
            { tag: "right near the end stops at the last cell", position: 5600, width: 884, right: 29 },
            { tag: "left from the fifth page", position: 4300, width: 884, left: 16 },
            { tag: "left close to the start", position: 300, width: 884, left: 0 }
        ];
    }

    function test_paging(data) {
        if (data.right !== undefined)
            compare(Paging.rightIndex(data.position, data.width, 215, 30), data.right);
        if (data.left !== undefined)
            compare(Paging.leftIndex(data.position, data.width, 215), data.left);
    }

    function test_cellSize_data() {
        return [
            { tag: "800 x 450, one screen", w: 800, h: 450, rows: 1, cols: 1, cw: 782, ch: 444 },
            { tag: "800 x 450, 2 x 2", w: 800, h: 450, rows: 2, cols: 2, cw: 391, ch: 222 },
            { tag: "tall area, width decides", w: 400, h: 900, rows: 1, cols: 2, cw: 200, ch: 109 },
            { tag: "wide area, height decides", w: 1600, h: 300, rows: 3, cols: 3, cw: 171, ch: 100 }
        ];
    }

    Component {
        id: gridComponent
        VWGrid {}
    }

    // The grid that the video area and the wizard lay their cells out by.
    function test_gridFollowsItsSize() {
        var grid = createTemporaryObject(gridComponent, null, { width: 800, height: 450, rows: 2, cols: 2 });
        compare([grid.cellWidth, grid.cellHeight, grid.totalWidth, grid.totalHeight], [391, 222, 782, 444]);
        grid.rows = 1;
        grid.cols = 1;
        compare([grid.cellWidth, grid.cellHeight], [782, 444]);
    }

    function test_cellSize(data) {
        var size = Wall.cellSize(data.w, data.h, data.rows, data.cols, 16 / 9, 10);
        compare(size.width, data.cw);
        compare(size.height, data.ch);
    }
}
