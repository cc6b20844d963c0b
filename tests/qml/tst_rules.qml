import QtQuick 2.14
import QtTest 1.14
import "../../src/qml/js/checks.js" as Checks
import "../../src/qml/js/paging.js" as Paging
import "../../src/qml/js/wall.js" as Wall

// The input checks, paging and wall rules the screens share, the cases of a rule in one row.
TestCase {
    name: "Rules"

    function test_rule_data() {
        // The rule's answers to each list of arguments.
        var each = function (rule, cases) { return cases.map(function (args) { return rule.apply(null, args); }); };
        var placed = function (drops) {
            return drops.reduce(function (cells, drop) { return Wall.place(cells, 4, drop[0], drop[1]); }, Wall.emptyCells(8));
        };
        var cells = function (cases) { return each(Wall.cellSize, cases).map(function (size) { return [size.width, size.height]; }); };
        return [
            { tag: "input: blanks around removed, only blanks refused", got: each(Checks.acceptedInput, [["  Hall  A \t", false], ["   ", false]]), expected: ["Hall  A", null] },
            { tag: "drop: an encoder cell, under no other drag key", got: each(Checks.droppedTxName, [[["videoSource"], { txName: "TX:IPE1" }],
                [["vwcfg"], { txName: "TX:IPE1" }]]), expected: ["TX:IPE1", ""] },
            { tag: "drop: prefix not at the start, not a text, no source", got: each(Checks.droppedTxName, [[["videoSource"], { txName: " TX:IPE1" }],
                [["videoSource"], { txName: 5 }], [["videoSource"], null]]), expected: ["", "", ""] },
            { tag: "password: confirmed with all three filled", got: each(Checks.canConfirmPassword, [["a", "b", "  "], ["a", "b", "b"], [" ", "b", "b"]]), expected: [false, true, false] },
            { tag: "password: cleared with any field typed in", got: each(Checks.canClearPassword, [["a", "", ""], ["", " ", ""]]), expected: [true, true] },
            { tag: "address: four numbers up to 255, not a name", got: [" 192.0.2.1 ", "192.0.2.256", "broker.lan"].map(Checks.isIpAddress), expected: [true, false, false] },
            { tag: "address: IPv6 shortened once, not twice", got: ["fe80::1:2", "1::2::3"].map(Checks.isIpAddress), expected: [true, false] },
            { tag: "power: a trailing blank is no edit, a cleared command is", got: each(Checks.powerCommandsEdited, [["40 04 ", "FF 36", "40 04", "FF 36"],
                ["40 04", "", "40 04", "FF 36"]]), expected: [false, true] },
            // The TX strip: 215 pixels a cell, 30 cells, 884 pixels visible.
            { tag: "paging: right near the end stops at the last cell", got: Paging.rightIndex(5600, 884, 215, 30), expected: 29 },
            { tag: "paging: left from the fifth page, and close to the start", got: each(Paging.leftIndex, [[4300, 884, 215], [300, 884, 215]]), expected: [16, 0] },
            { tag: "wall: one screen is refused, two accepted", got: each(Wall.sizeAllowed, [[1, 1], [1, 2]]), expected: [false, true] },
            { tag: "marker: a third of an 8 x 8 screen's height, full size on a large one", got: each(Wall.markerSize, [[73, 42], [391, 222]]), expected: [14, 31] },
            { tag: "wall: a decoder placed again leaves its old screen", got: placed([[0, 5], [2, 5]]), expected: ["", "", "5", "", "", "", "", ""] },
            { tag: "wall: a decoder displaces the one on its screen", got: placed([[1, 7], [1, 2]]), expected: ["", "2", "", "", "", "", "", ""] },
            // One screen, the margin on both sides; a tall area; a wide one; a wall taller than wide.
            { tag: "screens: the dimension that runs out decides", got: cells([[800, 450, 1, 1, 16 / 9, 10], [400, 900, 1, 2, 16 / 9, 10],
                [1600, 300, 3, 3, 16 / 9, 10], [800, 450, 3, 2, 16 / 9, 10]]), expected: [[782, 444], [200, 109], [171, 100], [260, 150]] }
        ];
    }

    function test_rule(data) {
        compare(data.got, data.expected);
    }
}
