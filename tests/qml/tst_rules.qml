import QtQuick 2.14
import QtTest 1.14
import "../../src/qml/js/checks.js" as Checks
import "../../src/qml/js/paging.js" as Paging
import "../../src/qml/js/wall.js" as Wall

// The input checks, paging and wall rules the screens share, each case one call.
TestCase {
    name: "Rules"

    function test_rule_data() {
        var exists = function (name) { return ["rx - 1", "rx - 2", "lobby"].indexOf(name.toLowerCase()) >= 0; };
        var placed = function (drops) {
            return drops.reduce(function (cells, drop) { return Wall.place(cells, 4, drop[0], drop[1]); }, Wall.emptyCells(8));
        };
        return [
            { tag: "input: surrounding blanks are removed", got: Checks.acceptedInput("  Hall  A \t", false), expected: "Hall  A" },
            { tag: "input: only blanks are refused", got: Checks.acceptedInput("   ", false), expected: null },
            { tag: "drop: encoder cell", got: Checks.droppedTxName(["videoSource"], { txName: "TX:IPE1" }), expected: "TX:IPE1" },
            { tag: "drop: another drag key", got: Checks.droppedTxName(["vwcfg"], { txName: "TX:IPE1" }), expected: "" },
            { tag: "drop: prefix not at the start", got: Checks.droppedTxName(["videoSource"], { txName: " TX:IPE1" }), expected: "" },
            { tag: "drop: not a text", got: Checks.droppedTxName(["videoSource"], { txName: 5 }), expected: "" },
            { tag: "drop: no source", got: Checks.droppedTxName(["videoSource"], null), expected: "" },
            { tag: "rename: same name", got: Checks.renameVerdict("RX - 1", "RX - 1", exists), expected: "unchanged" },
            { tag: "rename: letter case of its own name", got: Checks.renameVerdict("RX - 1", "rx - 1", exists), expected: "ok" },
            { tag: "rename: name of another device", got: Checks.renameVerdict("RX - 1", "rx - 2", exists), expected: "exists" },
            { tag: "rename: new wall with a used name", got: Checks.renameVerdict("", "LOBBY", exists), expected: "exists" },
            { tag: "password: confirmation blank", got: Checks.canConfirmPassword("a", "b", "  "), expected: false },
            { tag: "password: all filled", got: Checks.canConfirmPassword("a", "b", "b"), expected: true },
            { tag: "password: old left blank", got: Checks.canConfirmPassword(" ", "b", "b"), expected: false },
            { tag: "password: only the old one to clear", got: Checks.canClearPassword("a", "", ""), expected: true },
            { tag: "password: a blank to clear", got: Checks.canClearPassword("", " ", ""), expected: true },
            { tag: "address: four numbers up to 255", got: [Checks.isIpAddress(" 192.0.2.1 "), Checks.isIpAddress("192.0.2.256")], expected: [true, false] },
            { tag: "address: IPv6 shortened once, not twice", got: [Checks.isIpAddress("fe80::1:2"), Checks.isIpAddress("1::2::3")], expected: [true, false] },
            { tag: "address: a name is none", got: Checks.isIpAddress("broker.lan"), expected: false },
            { tag: "power: saved commands, trailing blank", got: Checks.powerCommandsEdited("40 04 ", "FF 36", "40 04", "FF 36"), expected: false },
            { tag: "power: off cleared", got: Checks.powerCommandsEdited("40 04", "", "40 04", "FF 36"), expected: true },
            // The TX strip: 215 pixels a cell, 30 cells, 884 pixels visible.
            { tag: "paging: right near the end stops at the last cell", got: Paging.rightIndex(5600, 884, 215, 30), expected: 29 },
            { tag: "paging: left from the fifth page", got: Paging.leftIndex(4300, 884, 215), expected: 16 },
            { tag: "paging: left close to the start", got: Paging.leftIndex(300, 884, 215), expected: 0 },
            { tag: "wall: 1 x 1 is refused", got: Wall.sizeAllowed(1, 1), expected: false },
            { tag: "wall: 1 x 2 is accepted", got: Wall.sizeAllowed(1, 2), expected: true },
            { tag: "marker: 8 x 8 screen, a third of its height", got: Wall.markerSize(73, 42), expected: 14 },
            { tag: "marker: large screen, full size", got: Wall.markerSize(391, 222), expected: 31 },
            { tag: "wall: a decoder placed again leaves its old screen", got: placed([[0, 5], [2, 5]]), expected: ["", "", "5", "", "", "", "", ""] },
            { tag: "wall: a decoder displaces the one on its screen", got: placed([[1, 7], [1, 2]]), expected: ["", "2", "", "", "", "", "", ""] },
            { tag: "wall: one screen left empty", got: Wall.allAssigned(["1", "2", "3", "", "5"], 4), expected: false },
            { tag: "screens: one screen, margin on both sides", got: Wall.cellSize(800, 450, 1, 1, 16 / 9, 10), expected: { width: 782, height: 444 } },
            { tag: "screens: tall area, width decides", got: Wall.cellSize(400, 900, 1, 2, 16 / 9, 10), expected: { width: 200, height: 109 } },
            { tag: "screens: wide area, height decides", got: Wall.cellSize(1600, 300, 3, 3, 16 / 9, 10), expected: { width: 171, height: 100 } },
            { tag: "screens: wall taller than wide, height decides", got: Wall.cellSize(800, 450, 3, 2, 16 / 9, 10), expected: { width: 260, height: 150 } }
        ];
    }

    function test_rule(data) {
        compare(data.got, data.expected);
    }
}
