import QtQuick 2.14
import QtTest 1.14
import "../../src/qml"
import "../../src/qml/settings"

Item {
    id: window
    width: 1024
    height: 720

    property var toasts: []

    function toast(text) {
        toasts.push(text);
    }

    Style {
        id: globalStyle
    }

    VWWizardDialog {
        id: wizard
        anchors.fill: parent
        visible: false
    }

    SignalSpy {
        id: closeSpy
        target: wizard
        signalName: "closeButtonClicked"
    }

    TestCase {
        name: "Wizard"
        when: windowShown

        property Item sizePage: findChild(wizard, "nextButton").parent
        property Item placePage: findChild(wizard, "createButton").parent

        function init() {
            manager.reset();
            window.toasts = [];
            closeSpy.clear();
            wizard.visible = true;
            wizard.open("Lobby");
        }

        function cleanup() {
            wizard.visible = false;
        }

        function chooseSize(rows, columns) {
            findChild(wizard, "rowsTumbler").currentIndex = rows - 1;
            findChild(wizard, "columnsTumbler").currentIndex = columns - 1;
        }

        function pressNext() {
            mouseClick(findChild(wizard, "nextButton"));
        }

        function place(cells) {
            for (var i = 0; i < cells.length; ++i)
                placePage.acceptRxInCell(i, cells[i]);
        }

        function test_openingResetsTheSize() {
            chooseSize(3, 4);
            compare(wizard.selectedHeight, 3);
            compare(wizard.selectedWidth, 4);
            wizard.open("Hall");
            compare(wizard.selectedHeight, 2);
            compare(wizard.selectedWidth, 2);
            compare(findChild(wizard, "rowsTumbler").currentIndex, 1);
        }

        function test_sizeStep_data() {
            return [
                { tag: "1 x 1 is refused", rows: 1, cols: 1, advances: false },
                { tag: "1 x 2 is accepted", rows: 1, cols: 2, advances: true },
                { tag: "2 x 1 is accepted", rows: 2, cols: 1, advances: true }
            ];
        }

        function test_sizeStep(data) {
            chooseSize(data.rows, data.cols);
            pressNext();
            compare(sizePage.visible, !data.advances);
            compare(placePage.visible, data.advances);
            compare(findChild(wizard, "sizeError").visible, !data.advances);
        }

        function test_placing_data() {
            return [
                { tag: "a decoder placed again leaves its old screen", drops: [[0, 5], [2, 5]], cells: ["", "", "5", ""] },
                { tag: "a decoder displaces the one on its screen", drops: [[1, 7], [1, 2]], cells: ["", "2", "", ""] },
                { tag: "two decoders on two screens", drops: [[0, 3], [3, 1]], cells: ["3", "", "", "1"] }
            ];
        }

        function test_placing(data) {
            pressNext();
            for (var i = 0; i < data.drops.length; ++i)
                placePage.acceptRxInCell(data.drops[i][0], data.drops[i][1]);
            compare(wizard.deviceItems.slice(0, 4), data.cells);
            compare(wizard.deviceItems.length, 64);
        }

        function test_create_data() {
            var many = [];
            for (var i = 0; i < 64; ++i)
                many.push(String(64 - i));
            return [
                { tag: "2 x 3", rows: 2, cols: 3, cells: ["4", "5", "6", "7", "8", "9"],
                  expected: "4,5,6,7,8,9" + ",".repeat(58) },
                { tag: "8 x 8", rows: 8, cols: 8, cells: many, expected: many.join(",") }
            ];
        }

        function test_create(data) {
            chooseSize(data.rows, data.cols);
            pressNext();
            place(data.cells);
            mouseClick(findChild(wizard, "createButton"));
            var created = manager.callsNamed("createVideoWall");
            compare(created.length, 1);
            compare(created[0], ["createVideoWall", "Lobby", data.rows, data.cols, data.expected]);
            compare(created[0][4].split(",").length, 64);
            compare(closeSpy.count, 1);
            compare(window.toasts, ["Video Wall \"Lobby\" created."]);
            compare(wizard.deviceItems.every(function (cell) { return cell === ""; }), true);
        }

        function test_unassignedScreenBlocksCreation() {
            pressNext();
            place(["1", "2", "3"]);
            var error = findChild(wizard, "placeError");
            mouseClick(findChild(wizard, "createButton"));
            verify(error.visible);
            compare(manager.callsNamed("createVideoWall").length, 0);
            compare(closeSpy.count, 0);
            placePage.acceptRxInCell(3, 4);
            verify(!error.visible);
        }

        // The numbers stay on the displays exactly while the wizard is on screen.
        function test_onScreenNumbersFollowTheWizard() {
            wizard.visible = false;
            manager.reset();
            wizard.visible = true;
            compare(manager.calls, [["osdShowSeq"]]);
            pressNext();
            wizard.visible = false;
            compare(manager.calls, [["osdShowSeq"], ["osdHideSeq"]]);
        }
    }
}
