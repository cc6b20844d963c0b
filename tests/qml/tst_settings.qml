import QtQuick 2.14
import QtTest 1.14
import "../../src/qml"
import "../../src/qml/settings"

Item {
    id: window
    width: 1200
    height: 700

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
        function open() {
            openCount += 1;
        }
    }

    // "id" cannot be written as a ListElement role.
    ListModel {
        id: devices
        Component.onCompleted: {
            append({ "name": "IPD-A", "id": "A", "alias": "RX - 1", "address": "192.0.2.10" });
            append({ "name": "IPD-B", "id": "B", "alias": "RX - 2", "address": "192.0.2.11" });
        }
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

    SignalSpy {
        id: wizardSpy
        signalName: "showVwWizard"
    }

    TestCase {
        name: "Settings"
        when: windowShown

        function init() {
            manager.reset();
            manager.aliases = ["RX - 1", "RX - 2", "Lobby"];
            dialogLayer.openCount = 0;
            devices.setProperty(0, "alias", "RX - 1");
            window.toasts = [];
        }

        function clickRow(row) {
            var list = findChild(table, "deviceEditorList");
            list.currentIndex = row;
            mouseClick(list.currentItem, 300, 30);
        }

        function test_rename_data() {
            return [
                { tag: "the alias of another device is refused", typed: "rx - 2", alias: "RX - 1", reopened: true },
                { tag: "its own name in another letter case", typed: "rx - 1", alias: "rx - 1", reopened: false },
                { tag: "a free name", typed: "Reception", alias: "Reception", reopened: false },
                { tag: "unchanged", typed: "RX - 1", alias: "RX - 1", reopened: false }
            ];
        }

        function test_rename(data) {
            clickRow(0);
            compare(dialogLayer.openCount, 1);
            verify(dialogLayer.inputMode);
            compare(dialogLayer.initialText, "RX - 1");
            compare(manager.inOptions, true);
            dialogLayer.textInputed(data.typed);
            compare(devices.get(0).alias, data.alias);
            compare(dialogLayer.openCount, data.reopened ? 2 : 1);
            compare(manager.inOptions, data.reopened);
            if (data.reopened) {
                compare(dialogLayer.openingError, "Name exists, please input again!");
                compare(dialogLayer.initialText, data.typed);
                dialogLayer.rejected();
                compare(manager.inOptions, false);
            }
        }

        function test_createWall() {
            pageLoader.source = "../../src/qml/settings/VWPage.qml";
            wizardSpy.target = pageLoader.item;
            wizardSpy.clear();
            mouseClick(findChild(pageLoader.item, "createWallRow"));
            dialogLayer.textInputed("LOBBY");
            compare(dialogLayer.openingError, "Name exists, please input again!");
            compare(wizardSpy.count, 0);
            dialogLayer.textInputed("Hall");
            compare(wizardSpy.count, 1);
            compare(wizardSpy.signalArguments[0][0], "Hall");
        }

        function test_login_data() {
            return [
                { tag: "wrong password", result: false },
                { tag: "right password", result: true }
            ];
        }

        function test_login(data) {
            pageLoader.source = "../../src/qml/settings/AdvancedPage.qml";
            var page = pageLoader.item;
            manager.loginResult = data.result;
            var field = findChild(page, "passwordField");
            field.text = "secret";
            mouseClick(findChild(page, "unlockButton"));
            compare(manager.callsNamed("login"), [["login", "secret"]]);
            compare(findChild(page, "loginPanel").visible, !data.result);
            compare(findChild(page, "sections").visible, data.result);
            compare(field.text, data.result ? "" : "secret");
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
            pageLoader.source = "";
            pageLoader.source = "../../src/qml/settings/AdvancedPage.qml";
            var page = pageLoader.item;
            manager.changePasswordResult = data.accepted;
            page.openSection = 0;
            var fields = findChild(page, "passwordFields");
            for (var i = 0; i < 3; ++i)
                fields.children[2 * i + 1].text = data.fields[i];
            var confirm = findChild(page, "passwordConfirmButton");
            verify(confirm.enabled);
            waitForRendering(page);
            mouseClick(confirm);
            compare(manager.callsNamed("changePassword"), data.calls);
            compare(window.toasts, [data.toast]);
        }
    }
}
