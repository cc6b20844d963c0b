import QtQuick 2.14
import QtTest 1.14
import "../../src/qml"
import "../../src/qml/settings"

// The settings pages and the wall wizard, in a window that stands in for the main one.
Item {
    id: window
    width: 1200
    height: 720

    property var toasts: []

    function toast(text) {
        toasts.push(text);
    }

    Style {
        id: globalStyle
    }

    // Stands in for the window's question layer: remembers how it was opened.
    QtObject {
        id: dialogLayer
        property bool inputMode
        property string title
        property string question
        property string prompt
        property string initialText
        property string placeholder
        property string openingError
        property int openCount: 0
        signal accepted
        signal rejected
        signal textInputed(string text)
        function open() { openCount += 1; }
    }

    // "id" cannot be written as a ListElement role.
    ListModel {
        id: devices
        Component.onCompleted: append({ "name": "IPD-A", "id": "A", "alias": "RX - 1", "address": "192.0.2.10" })
    }

    DeviceEditorListView {
        id: table
        width: 1000
        height: 300
        model: devices
    }

    Loader {
        id: pageLoader
        y: 320
        width: 1000
        height: 380
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
        name: "Settings"
        when: windowShown

        function init() {
            wizard.visible = false;
            closeSpy.clear();
            manager.reset();
            manager.aliases = ["RX - 1", "RX - 2", "Lobby"];
            dialogLayer.openCount = 0;
            devices.setProperty(0, "alias", "RX - 1");
            window.toasts = [];
        }

        function loadPage(file) {
            pageLoader.source = "";
            pageLoader.source = "../../src/qml/settings/" + file;
            return pageLoader.item;
        }

        function test_rename_data() {
            return [
                { tag: "the alias of another device is refused", typed: "rx - 2", alias: "RX - 1", reopened: true },
                { tag: "its own name in another letter case", typed: "rx - 1", alias: "rx - 1", reopened: false }
            ];
        }

        function test_rename(data) {
            var list = findChild(table, "deviceEditorList");
            mouseClick(list.itemAtIndex(0), 300, 30);
            compare([dialogLayer.openCount, dialogLayer.initialText, manager.inOptions], [1, "RX - 1", true]);
            dialogLayer.textInputed(data.typed);
            compare(devices.get(0).alias, data.alias);
            compare([dialogLayer.openCount, manager.inOptions], [data.reopened ? 2 : 1, data.reopened]);
            if (data.reopened) {
                compare([dialogLayer.openingError, dialogLayer.initialText], ["Name exists, please input again!", data.typed]);
                dialogLayer.rejected();
                compare(manager.inOptions, false);
            }
        }

        function test_createWall() {
            var page = loadPage("VWPage.qml");
            var wizardNames = [];
            page.showVwWizard.connect(function (name) { wizardNames.push(name); });
            mouseClick(findChild(page, "createWallRow"));
            dialogLayer.textInputed("LOBBY");
            compare([dialogLayer.openingError, wizardNames], ["Name exists, please input again!", []]);
            dialogLayer.textInputed("Hall");
            compare(wizardNames, ["Hall"]);
        }

        function test_login_data() {
            return [{ tag: "wrong password", result: false }, { tag: "right password", result: true }];
        }

        function test_login(data) {
            var page = loadPage("AdvancedPage.qml");
            manager.loginResult = data.result;
            var field = findChild(page, "passwordField");
            field.text = "secret";
            mouseClick(findChild(page, "unlockButton"));
            compare(manager.callsNamed("login"), [["login", "secret"]]);
            compare([findChild(page, "sections").visible, field.text], [data.result, data.result ? "" : "secret"]);
        }

        function test_changePassword_data() {
            return [
                { tag: "confirmation differs", fields: ["old", "new", "other"], accepted: true,
                  calls: [], toast: "The password entered does not match!" },
                { tag: "blanks around are trimmed", fields: [" old ", " new", "new "], accepted: true,
                  calls: [["changePassword", "old", "new"]], toast: "Password changed." },
                { tag: "old password wrong", fields: ["bad", "new", "new"], accepted: false,
                  calls: [["changePassword", "bad", "new"]], toast: "Old password incorrect, please re-enter." }
            ];
        }

        function test_changePassword(data) {
            manager.locked = false;
            manager.changePasswordResult = data.accepted;
            var page = loadPage("AdvancedPage.qml");
            page.openSection = 0;
            var fields = findChild(page, "passwordFields");
            for (var i = 0; i < 3; ++i)
                fields.children[2 * i + 1].text = data.fields[i];
            waitForRendering(page);
            mouseClick(findChild(page, "passwordConfirmButton"));
            compare(manager.callsNamed("changePassword"), data.calls);
            compare(window.toasts, [data.toast]);
        }

        function chooseSize(rows, columns) {
            findChild(wizard, "rowsTumbler").currentIndex = rows - 1;
            findChild(wizard, "columnsTumbler").currentIndex = columns - 1;
            mouseClick(findChild(wizard, "nextButton"));
        }

        function test_wizard() {
            wizard.visible = true;
            wizard.open("Lobby");
            chooseSize(1, 1);
            verify(findChild(wizard, "sizeError").visible);
            // Opened again, it starts from 2 x 2.
            wizard.open("Lobby");
            compare([wizard.selectedHeight, wizard.selectedWidth, findChild(wizard, "rowsTumbler").currentIndex], [2, 2, 1]);
            chooseSize(2, 3);
            var placePage = findChild(wizard, "createButton").parent;
            verify(placePage.visible);
            for (var i = 0; i < 5; ++i)
                placePage.acceptRxInCell(i, 4 + i);
            var error = findChild(wizard, "placeError");
            mouseClick(findChild(wizard, "createButton"));
            compare([error.visible, manager.callsNamed("createVideoWall").length, closeSpy.count], [true, 0, 0]);
            placePage.acceptRxInCell(5, 9);
            verify(!error.visible);
            mouseClick(findChild(wizard, "createButton"));
            compare(manager.callsNamed("createVideoWall"), [["createVideoWall", "Lobby", 2, 3, "4,5,6,7,8,9" + ",".repeat(58)]]);
            compare([closeSpy.count, window.toasts], [1, ["Video Wall \"Lobby\" created."]]);
            // The numbers stay on the displays exactly while the wizard is on screen.
            wizard.visible = false;
            compare([manager.callsNamed("osdShowSeq").length, manager.callsNamed("osdHideSeq").length], [1, 1]);
        }
    }
}
