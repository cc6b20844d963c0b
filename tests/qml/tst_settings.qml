import QtQuick 2.14
import QtTest 1.14
import "../../src/qml"
import "../../src/qml/settings"

// The settings pages and the wall wizard, in a window that stands in for the main one: the
// screens find `manager`, `dialogLayer`, `globalStyle` and `toast` here as they find them there.
Item {
    id: window
    width: 1200; height: 720

    property var toasts: []
    property int managerErrors: 0
    function toast(text) { toasts.push(text); }

    Style { id: globalStyle }

    // Records what the screens ask of the manager; tests read `calls` and set the answers.
    QtObject {
        id: manager
        property var calls: []
        property bool loginResult; property bool changePasswordResult; property bool saveFails
        property bool changePowerCommandResult; property bool createWallResult: true
        property int vwMaxRows: 8; property int vwMaxColumns: 8
        property bool locked: true; property bool inOptions; property bool demoMode
        property bool rerouteOnReconnect; property bool restoreRoutesAtStart
        property string defaultPowerOnCommand: "40 04"; property string defaultPowerOffCommand: "FF 36"
        property string savedPowerOnCommand; property string savedPowerOffCommand
        property ListModel purerxlist: ListModel {}
        property ListModel rxlist: ListModel { ListElement { name: "IPD-A"; alias: "Lobby" } ListElement { name: "IPD-B"; alias: "Hall" } }
        property ListModel txlist: ListModel { ListElement { name: "IPE-A"; alias: "Lectern" } }
        function callsNamed(name) { return calls.filter(function (call) { return call[0] === name; }); }
        function validDisplayName(name) { return name.length <= 256; }
        function deviceAliasExists(alias) { return ["rx - 1", "rx - 2", "lobby"].indexOf(alias.toLowerCase()) >= 0; }
        function createVideoWall(name, rows, columns, cells) {
            calls.push(["createVideoWall", name, rows, columns, cells]);
            return createWallResult;
        }
        // As the manager: a refusal or a failed save is reported as an error and answered false.
        function changePowerCommand(onCmd, offCmd) {
            calls.push(["changePowerCommand", onCmd, offCmd]);
            if (!changePowerCommandResult) {
                ++window.managerErrors;
                return false;
            }
            savedPowerOnCommand = onCmd;
            savedPowerOffCommand = offCmd;
            return true;
        }
        function osdShowSeq() { calls.push(["osdShowSeq"]); }
        function osdHideSeq() { calls.push(["osdHideSeq"]); }
        function login(password) { locked = !loginResult; return loginResult; }
        function changePassword(oldPassword, newPassword) {
            calls.push(["changePassword", oldPassword, newPassword]);
            if (saveFails)
                ++window.managerErrors;
            return changePasswordResult;
        }
    }

    // Records what the advanced page asks of the control API.
    QtObject {
        id: remoteApi
        property var calls: []
        property bool enabled: false; property bool running: false; property string status
        property int linePort: 7740; property int lineTlsPort: 7742; property int webPort: 7741
        property bool plainLine: false; property bool webTls: true; property bool tokenSet: false
        property string listenAddress: "0.0.0.0"; property string fingerprint
        property string tlsCertificate; property string tlsKey
        // What the service would make of the next call: a refusal before anything is stored,
        // or, when empty, the state it reaches (`runs`, else the `startProblem`).
        property string refusal
        property bool runs: true
        property string startProblem
        function configure(on, lineTlsPort, linePort, plain, webPort, tls, address, certificate, key) {
            calls.push(["configure", on, lineTlsPort, linePort, plain, webPort, tls, address, certificate, key]);
            if (refusal !== "")
                return refusal;
            enabled = on;
            plainLine = plain;
            webTls = tls;
            running = on && runs;
            status = on && !runs ? startProblem : "";
            return status;
        }
        function newToken() { calls.push(["newToken"]); tokenSet = true; return "tok-" + calls.length; }
        // The command set as the users page and "Add a device" call it: the users and the
        // installation are read, every other command is recorded; "users.pair" answers as
        // while the web remote runs, the rest with a credential.
        property var listed: []
        signal usersChanged
        signal devicePaired(string code, string user)
        function command(method, params) {
            if (method === "users.list")
                return { "ok": true, "result": listed };
            if (method === "state")
                return { "ok": true, "result": {
                    "walls": [{ "name": "VW-1", "alias": "Lobby" }],
                    "decoders": [{ "name": "IPD-A", "alias": "RX - 1", "wall": "" }, { "name": "IPD-B", "alias": "RX - 2", "wall": "VW-1" }],
                    "encoders": [{ "name": "IPE-1", "alias": "TX - 1" }] } };
            calls.push([method, params]);
            if (method === "users.pair")
                return { "ok": true, "code": 0, "error": "",
                         "result": { "code": "0123456789", "link": "https://192.0.2.1:7741/#pair=0123456789", "valid_seconds": 300 } };
            return refusal !== "" ? { "ok": false, "error": refusal, "code": 3 }
                                  : { "ok": true, "result": { "name": params.name, "credential": "cred-" + calls.length } };
        }
        function withdrawPairingCode(code) { calls.push(["withdrawPairingCode", code]); }
    }

    // Records what the advanced page asks of the MQTT bridge.
    QtObject {
        id: mqttBridge
        property var calls: []
        property bool enabled: false; property string host: "broker.lan"; property int port: 1883
        property string site; property string clientId; property string user; property string password
        property string caFile; property string hostName: "pc-1"
        property bool connected: false; property bool failing: false; property string status
        property string refusal
        function configure(on, host, port, site, clientId, user, password, caFile) {
            calls.push(["configure", on, host, port, site, clientId, user, password, caFile]);
            if (refusal === "")
                enabled = on;
            return refusal;
        }
    }

    // Serves the audit page from `lines`, newest first, and records what it asks.
    QtObject {
        id: auditTrail
        signal appended()
        property var asked: []
        property var lines: []
        function page(text, offset, limit) {
            asked.push([text, offset, limit]);
            var found = lines.filter(function (line) {
                return text === "" || (line.actor || "").indexOf(text) >= 0 || (line.target || "").indexOf(text) >= 0;
            });
            return { "lines": found.slice(offset, offset + limit), "total": found.length };
        }
    }

    DialogLayerStub { id: dialogLayer }

    // "id" cannot be written as a ListElement role.
    ListModel {
        id: devices
        Component.onCompleted: append({ "name": "IPD-A", "id": "A", "alias": "RX - 1", "address": "192.0.2.10", "seq": 3 })
    }

    // Where the tests paste what a Copy button put on the clipboard.
    TextInput { id: pasteTarget; visible: false }

    DeviceEditorListView { id: table; width: 1000; height: 300; model: devices }
    Loader { id: pageLoader; y: 320; width: 1000; height: 380 }
    VWWizardDialog { id: wizard; anchors.fill: parent; visible: false }
    // At this width the navigation is the narrow column of icons.
    SettingsDialog { id: settings; anchors.fill: parent; visible: false }

    TestCase {
        name: "Settings"
        when: windowShown

        function init() {
            wizard.visible = false;
            settings.visible = false;
            manager.calls = [];
            manager.locked = true;
            manager.saveFails = false;
            manager.createWallResult = true;
            remoteApi.enabled = remoteApi.running = remoteApi.plainLine = false;
            remoteApi.webTls = remoteApi.runs = true;
            remoteApi.status = remoteApi.refusal = "";
            mqttBridge.enabled = mqttBridge.connected = mqttBridge.failing = false;
            mqttBridge.status = mqttBridge.refusal = "";
            remoteApi.calls = [];
            mqttBridge.calls = [];
            freeDecoders(6);
            window.toasts = [];
        }

        function freeDecoders(count) {
            manager.purerxlist.clear();
            for (var i = 1; i <= count; ++i)
                manager.purerxlist.append({ "name": "IPD-" + i, "seq": i });
        }

        function loadPage(file) {
            pageLoader.source = "";
            pageLoader.source = "../../src/qml/settings/" + file;
            return pageLoader.item;
        }

        function test_rename() {
            var row = findChild(table, "deviceEditorList").itemAtIndex(0);
            mouseClick(row, 300, 30);
            // The number column shows the number the displays show, not the row's place in the list.
            compare([dialogLayer.initialText, manager.inOptions, findChild(row, "deviceRow").cells[0]], ["RX - 1", true, "3"]);
            dialogLayer.openCount = 0;
            // The alias of another device is refused and asked for again, with the typed text.
            dialogLayer.textInputed("rx - 2");
            compare([dialogLayer.openCount, dialogLayer.openingError, dialogLayer.initialText, devices.get(0).alias, manager.inOptions],
                    [1, "Name exists, please input again!", "rx - 2", "RX - 1", true]);
            // A name the settings file would not take back is refused at once.
            dialogLayer.textInputed(new Array(258).join("x"));
            compare([dialogLayer.openCount, dialogLayer.openingError, devices.get(0).alias],
                    [2, "The name is too long or holds characters that cannot be shown.", "RX - 1"]);
            // Its own name in another letter case is a new name.
            dialogLayer.textInputed("rx - 1");
            compare([dialogLayer.openCount, devices.get(0).alias, manager.inOptions], [2, "rx - 1", false]);
            mouseClick(row, 300, 30);
            dialogLayer.rejected();
            compare(manager.inOptions, false);
        }

        function test_dragRowRemoved() {
            var handle = findChild(findChild(table, "deviceEditorList").itemAtIndex(0), "sequenceHandle");
            mousePress(handle, 10, 10);
            for (var step = 1; step <= 10; ++step)
                mouseMove(handle, 10, 10 + 5 * step);
            verify(manager.inOptions);
            var device = devices.get(0);
            var copy = { "name": device.name, "id": device.id, "alias": device.alias, "address": device.address, "seq": device.seq };
            devices.remove(0);
            tryCompare(manager, "inOptions", false);
            mouseRelease(table, 10, 10);
            devices.append(copy);
        }

        function test_createWall() {
            var page = loadPage("VWPage.qml");
            var wizardNames = [];
            page.showVwWizard.connect(function (name) { wizardNames.push(name); });
            // One decoder outside the walls: nothing to build a wall from.
            freeDecoders(1);
            dialogLayer.openCount = 0;
            mouseClick(findChild(page, "createWallRow"));
            compare([dialogLayer.openCount, findChild(page, "createWallHint").visible], [0, true]);
            freeDecoders(2);
            mouseClick(findChild(page, "createWallRow"));
            compare([dialogLayer.openCount, findChild(page, "createWallHint").visible], [1, false]);
            dialogLayer.textInputed("LOBBY");
            compare([dialogLayer.openingError, wizardNames], ["Name exists, please input again!", []]);
            dialogLayer.textInputed("Hall");
            compare(wizardNames, ["Hall"]);
        }

        function test_compactLock() {
            settings.visible = true;
            manager.locked = false;
            var navigation = findChild(settings, "settingsNavigation");
            navigation.currentIndex = 0;
            var lock = findChild(navigation.itemAtIndex(2), "lockIcon");
            // A tap on the padlock of an entry not open opens the entry...
            mouseClick(lock);
            compare([navigation.currentIndex, manager.locked], [2, false]);
            // ... and on the open one locks it.
            mouseClick(lock);
            compare(manager.locked, true);
        }

        function test_changePassword_data() {
            return [
                { tag: "confirmation differs", fields: ["old", "new", "other"], accepted: true, calls: [], toast: "The password entered does not match!" },
                { tag: "blanks around are trimmed", fields: [" old ", " new", "new "], accepted: true, calls: [["changePassword", "old", "new"]], toast: "Password changed." },
                { tag: "old password wrong", fields: ["bad", "new", "new"], accepted: false, calls: [["changePassword", "bad", "new"]], toast: "Old password incorrect, please re-enter." },
                // The manager's own message is up; neither success nor a wrong password covers it.
                { tag: "not saved", fields: ["old", "new", "new"], accepted: false, saveFails: true, calls: [["changePassword", "old", "new"]] }
            ];
        }

        function test_changePassword(data) {
            manager.changePasswordResult = data.accepted;
            manager.saveFails = data.saveFails === true;
            var page = advancedPage(1 << 0);
            var fields = findChild(page, "passwordFields");
            for (var i = 0; i < 3; ++i)
                fields.children[2 * i + 1].text = data.fields[i];
            waitForRendering(page);
            mouseClick(findChild(page, "passwordConfirmButton"));
            compare([manager.callsNamed("changePassword"), window.toasts], [data.calls, data.toast ? [data.toast] : []]);
        }

        function test_powerCommands_data() {
            return [
                { tag: "saved", accepted: true, toasts: ["New display power on/off command saved."] },
                { tag: "refused", accepted: false, toasts: [] }
            ];
        }

        function test_powerCommands(data) {
            manager.savedPowerOnCommand = "40 04";
            manager.savedPowerOffCommand = "FF 36";
            manager.changePowerCommandResult = data.accepted;
            var page = advancedPage(1 << 1);
            var onField = findChild(page, "powerOnField");
            onField.text = "40 05 ";
            waitForRendering(page);
            mouseClick(findChild(page, "powerSaveButton"));
            compare([manager.callsNamed("changePowerCommand"), window.toasts], [[["changePowerCommand", "40 05", "FF 36"]], data.toasts]);
            // Put back, the field goes on following what is saved.
            onField.text = "40 07";
            mouseClick(findChild(page, "powerCancelButton"));
            compare(onField.text, manager.savedPowerOnCommand);
            manager.savedPowerOnCommand = "40 06";
            compare(onField.text, "40 06");
        }

        function advancedPage(sections) {
            manager.locked = false;
            var page = loadPage("AdvancedPage.qml");
            page.openSections = sections;
            waitForRendering(page);
            return page;
        }

        // Scrolled into the page's visible part first, as a user would.
        function tap(page, target) {
            var sections = findChild(page, "sections");
            sections.contentY = Math.min(target.mapToItem(sections.contentItem, 0, 0).y, sections.contentHeight - sections.height);
            mouseClick(target);
        }

        function fieldErrors(page, names) {
            var errors = {};
            names.forEach(function (name) { errors[name] = findChild(page, name).error; });
            return errors;
        }

        // Every switch of the page looks alike: lit in the accent while on, dim while off; each
        // writes its own setting. A hint in an empty field is slanted and dim, a value is not.
        function test_switchesAndHints() {
            var page = advancedPage((1 << 1) | (1 << 3) | (1 << 4));
            var settingOf = { rerouteSwitch: [manager, "rerouteOnReconnect"], restoreSwitch: [manager, "restoreRoutesAtStart"] };
            var looks = [];
            ["rerouteSwitch", "restoreSwitch", "apiSwitch", "mqttSwitch"].forEach(function (name) {
                var toggle = findChild(page, name);
                toggle.checked = false;
                var off = [Qt.colorEqual(toggle.indicator.color, globalStyle.accent), Qt.colorEqual(toggle.indicator.color, "#26262E")];
                tap(page, toggle);
                looks.push([name, Qt.colorEqual(toggle.indicator.color, globalStyle.accent)].concat(off));
                if (settingOf[name])
                    compare(settingOf[name][0][settingOf[name][1]], true, name);
            });
            compare(looks, [["rerouteSwitch", true, false, true], ["restoreSwitch", true, false, true],
                            ["apiSwitch", true, false, true], ["mqttSwitch", true, false, true]]);
            manager.rerouteOnReconnect = manager.restoreRoutesAtStart = false;

            var field = findChild(page, "powerOnField");
            field.text = "";
            var hint = [field.font.italic, Qt.colorEqual(field.placeholderTextColor, globalStyle.darkFontColorOnBlack)];
            field.text = "40 05";
            compare(hint.concat(field.font.italic), [true, true, false]);
        }

        // A wrong value is told beside its field, naming which of the two ports; nothing goes
        // to the service until every field can be used. Typing again clears the complaint.
        function test_apiFields_data() {
            var port = "A port is a number from 1 to 65535.";
            return [
                { tag: "port out of range", fields: { linePortField: "99999" }, errors: { linePortField: port } },
                { tag: "web port equals a text port", fields: { webPortField: "7740" }, errors: { webPortField: "Must differ from the other ports." } },
                { tag: "plain text port equals the TLS one", fields: { linePortField: "7742" }, errors: { linePortField: "Must differ from the other ports." } },
                { tag: "no listen address", fields: { listenField: " " }, errors: { listenField: "Required: 0.0.0.0 listens on every network." } },
                { tag: "listen address cut short", fields: { listenField: "192.0.2" }, errors: { listenField: "Not an IP address, such as 192.0.2.1." } },
                { tag: "key without certificate", fields: { keyField: "/k.pem" }, errors: { certificateField: "TLS needs both the certificate and the key." } },
                { tag: "IPv6 and new ports", fields: { listenField: "::1", lineTlsPortField: "7001", linePortField: "7000", webPortField: "08000" }, errors: {},
                  calls: [["configure", false, 7001, 7000, false, 8000, true, "::1", "", ""]] }
            ];
        }

        function test_apiFields(data) {
            var page = advancedPage(1 << 3);
            var names = ["listenField", "lineTlsPortField", "linePortField", "webPortField", "certificateField", "keyField"];
            for (var name in data.fields)
                findChild(page, name).text = data.fields[name];
            findChild(page, "apiApplyButton").clicked();
            var expected = {};
            names.forEach(function (name) { expected[name] = data.errors[name] || ""; });
            compare([fieldErrors(page, names), remoteApi.calls], [expected, data.calls || []]);
            for (name in data.errors) {
                var field = findChild(page, name);
                verify(findChild(field, "fieldError").visible);
                field.forceActiveFocus();
                keyClick(Qt.Key_End);
                keyClick(field.text.length > 0 ? Qt.Key_Backspace : Qt.Key_1);
                compare(field.error, "");
            }
        }

        // The switch and the state line show what runs after every Apply, also one that
        // failed; a refusal of the service itself shows under the button, not in a toast.
        function test_apiState() {
            var page = advancedPage(1 << 3);
            var apiSwitch = findChild(page, "apiSwitch");
            var state = findChild(page, "apiState");
            compare([apiSwitch.checked, state.text], [false, "Off: no control system can connect."]);

            remoteApi.runs = false;
            remoteApi.startProblem = "TLS needs a certificate that can be read.";
            tap(page, apiSwitch);
            findChild(page, "apiApplyButton").clicked();
            compare([apiSwitch.checked, state.text, Qt.colorEqual(state.color, globalStyle.errorTextColor), findChild(page, "apiProblem").visible, window.toasts],
                    [false, "Not running: TLS needs a certificate that can be read.", true, false, []]);

            remoteApi.runs = true;
            tap(page, apiSwitch);
            findChild(page, "apiApplyButton").clicked();
            compare([apiSwitch.checked, state.text, window.toasts],
                    [true, "Running on 0.0.0.0: text port 7742 over TLS, WebSocket and HTTPS port 7741.", ["Control API settings saved."]]);
            // The plain ports are asked for by their switches, and the state says which are plain.
            tap(page, findChild(page, "plainLineSwitch"));
            tap(page, findChild(page, "webTlsSwitch"));
            findChild(page, "apiApplyButton").clicked();
            compare([remoteApi.calls[remoteApi.calls.length - 1].slice(2, 7), state.text],
                    [[7742, 7740, true, 7741, false], "Running on 0.0.0.0: text port 7742 over TLS and 7740 without, WebSocket and HTTP port 7741 without TLS."]);

            remoteApi.refusal = "The file /c.pem cannot be read.";
            findChild(page, "apiApplyButton").clicked();
            compare([apiSwitch.checked, findChild(page, "apiProblem").text], [true, "The file /c.pem cannot be read."]);
        }

        // A new token is asked about, then shown in its own dialog until closed; closing
        // before copying asks first; Copy puts it on the clipboard; closed, it is gone, and a
        // section opened meanwhile folds nothing away.
        function test_token() {
            var page = advancedPage(1 << 3);
            findChild(page, "newTokenButton").clicked();
            compare(remoteApi.calls.length, 0);
            dialogLayer.accepted();
            var dialog = findChild(page, "secretDialog");
            tryCompare(dialog, "opened", true);
            var token = remoteApi.calls.length === 1 ? "tok-1" : "";
            compare([findChild(dialog, "secretText").text, findChild(dialog, "secretText").readOnly], [token, true]);

            page.toggleSection(4, null);
            verify(findChild(page, "apiFields").visible);

            findChild(dialog, "secretCloseButton").clicked();
            compare([dialog.opened, dialog.asking, findChild(dialog, "secretCloseAnywayButton").visible], [true, true, true]);
            findChild(dialog, "secretBackButton").clicked();
            findChild(dialog, "secretCopyButton").clicked();
            pasteTarget.text = "";
            pasteTarget.paste();
            compare(pasteTarget.text, token);
            findChild(dialog, "secretCloseButton").clicked();
            tryCompare(dialog, "visible", false);
            compare(findChild(dialog, "secretText").text, "");
        }

        // Adding a device: the rights ticked go to "users.pair", the code shows as a QR code of
        // its link and in groups of digits with the time left; closed unused it is withdrawn,
        // traded it is not, and an expired one says so.
        function test_addDevice_data() {
            return [{ tag: "traded", paired: true }, { tag: "closed unused", paired: false }];
        }

        function test_addDevice(data) {
            remoteApi.running = true;
            manager.locked = false;
            var page = loadPage("UsersPage.qml");
            waitForRendering(page);
            findChild(page, "addDeviceButton").clicked();
            var dialog = findChild(page, "addDeviceDialog");
            tryCompare(dialog, "opened", true);
            findChild(page, "pairRoleBox").currentIndex = 1;
            mouseClick(findChild(dialog, "pairNameField"));
            keyClick(Qt.Key_T);
            var hall = findChild(dialog, "pairScreens").itemAt(1);
            compare(hall.text, "Hall");
            hall.checked = true;
            findChild(dialog, "pairCreateButton").clicked();
            compare(remoteApi.calls, [["users.pair",
                                       { "role": "operator", "screens": ["IPD-B"], "sources": [], "name": "t" }]]);
            var qr = findChild(dialog, "pairQrImage").source.toString();
            compare([findChild(dialog, "pairCode").text, findChild(dialog, "pairLink").text,
                     qr.substr(0, 11), decodeURIComponent(qr.substr(11))],
                    ["012 345 6789", "https://192.0.2.1:7741/", "image://qr/", "https://192.0.2.1:7741/#pair=0123456789"]);
            compare(findChild(dialog, "pairState").text, "Works once, for 5:00 more.");
            if (data.paired) {
                remoteApi.devicePaired("9999999999", "other");
                remoteApi.devicePaired("0123456789", "t");
                compare(findChild(dialog, "pairState").text,
                        "Paired as \"t\". It is in the users list, where it can be revoked.");
            } else {
                dialog.expiresAt = Date.now() - 1;
                dialog.tick();
                compare([findChild(dialog, "pairState").text, findChild(dialog, "pairQrImage").source.toString(),
                         findChild(dialog, "pairCreateButton").visible],
                        ["The code has expired. Make a new one.", "", true]);
            }
            findChild(dialog, "pairCloseButton").clicked();
            tryCompare(dialog, "visible", false);
            compare(remoteApi.calls.length, data.paired ? 1 : 2);
            if (!data.paired)
                compare(remoteApi.calls[1], ["withdrawPairingCode", "0123456789"]);
        }

        // Behind the password; each user with role, screens by their names and last sign-in;
        // a new user's rights go to the service as chosen and its credential is shown once;
        // a refusal keeps the form; a revoke is asked first.
        function test_users() {
            remoteApi.listed = [
                { "name": "admin", "role": "admin", "screens": [], "sources": [], "last_sign_in": "2026-03-01T08:15:00Z", "last_address": "192.0.2.20" },
                { "name": "Lectern <b>", "role": "operator", "screens": ["VW-1", "IPD-GONE"], "sources": ["IPE-1"], "last_sign_in": null, "last_address": null }
            ];
            var page = loadPage("UsersPage.qml");
            compare([findChild(page, "loginPanel").visible, findChild(page, "usersHeader").visible], [true, false]);
            manager.locked = false;
            var rows = findChild(page, "userRows");
            waitForRendering(page);
            compare(rows.count, 2);
            var row = rows.itemAtIndex(1);
            compare([findChild(row, "userName").text, findChild(row, "userScreens").text, findChild(row, "userSignIn").text],
                    ["Lectern <b>  \u00B7  Operator", "Lobby, IPD-GONE  \u00B7  Sources: TX - 1", "Never signed in"]);
            compare([findChild(rows.itemAtIndex(0), "userScreens").text, findChild(rows.itemAtIndex(0), "revokeButton").visible],
                    ["All screens", false]);
            verify(findChild(rows.itemAtIndex(0), "userSignIn").text.indexOf("from 192.0.2.20") > 0);

            findChild(page, "addUserButton").clicked();
            findChild(page, "userNameField").text = " Reception ";
            findChild(page, "roleChoice").currentIndex = 1;
            waitForRendering(page);
            var choices = findChild(page, "screenChoices");
            compare([choices.count, choices.itemAt(0).text, choices.itemAt(1).text], [2, "Lobby", "RX - 1"]);
            choices.itemAt(1).clicked();
            remoteApi.refusal = "the name \"Reception\" is taken";
            findChild(page, "saveUserButton").clicked();
            compare([findChild(page, "userFormError").text, findChild(page, "userForm").visible], [remoteApi.refusal, true]);
            remoteApi.refusal = "";
            findChild(page, "saveUserButton").clicked();
            compare(remoteApi.calls[1], ["users.add", { "name": "Reception", "role": "operator", "screens": ["IPD-A"], "sources": [] }]);
            var dialog = findChild(page, "secretDialog");
            tryCompare(dialog, "opened", true);
            compare([findChild(dialog, "secretText").text, findChild(page, "userForm").visible], ["cred-2", false]);
            dialog.finish();

            var asked = dialogLayer.openCount;
            findChild(rows.itemAtIndex(1), "revokeButton").clicked();
            compare([dialogLayer.openCount, remoteApi.calls.length], [asked + 1, 2]);
            dialogLayer.accepted();
            compare(remoteApi.calls[2], ["users.revoke", { "name": "Lectern <b>" }]);
        }

        // The broker's fields go to the bridge as typed, the port as a number; a missing
        // broker or a wrong port is told at its field. The state says why it is not connected.
        function test_mqtt_data() {
            return [
                { tag: "saved", fields: { mqttPortField: "8883", mqttSiteField: "North Hall" }, errors: {},
                  calls: [["configure", true, "broker.lan", 8883, "North Hall", "", "", "", ""]], toasts: ["MQTT settings saved."] },
                { tag: "no broker", fields: { mqttHostField: " " }, errors: { mqttHostField: "Type the broker's name or address." } },
                { tag: "port out of range", fields: { mqttPortField: "0" }, errors: { mqttPortField: "A port is a number from 1 to 65535." } },
                { tag: "refused by the bridge", fields: {}, errors: {}, refusal: "A password needs a user name.",
                  calls: [["configure", true, "broker.lan", 1883, "", "", "", "", ""]], problem: "A password needs a user name." }
            ];
        }

        function test_mqtt(data) {
            mqttBridge.refusal = data.refusal || "";
            var page = advancedPage(1 << 4);
            findChild(page, "mqttSwitch").checked = true;
            for (var name in data.fields)
                findChild(page, name).text = data.fields[name];
            findChild(page, "mqttApplyButton").clicked();
            var names = ["mqttHostField", "mqttPortField"];
            var expected = {};
            names.forEach(function (name) { expected[name] = data.errors[name] || ""; });
            compare([fieldErrors(page, names), mqttBridge.calls, window.toasts, findChild(page, "mqttProblem").text],
                    [expected, data.calls || [], data.toasts || [], data.problem || ""]);
        }

        function test_mqttState_data() {
            var reason = "No broker answers at broker.lan port 1883 (Connection refused). Next try within 30 s.";
            return [
                { tag: "off", enabled: false, text: "Off.", colour: globalStyle.fontColorOnBlack },
                { tag: "connecting", enabled: true, status: "Connecting to broker.lan port 1883…", text: "Connecting to broker.lan port 1883…", colour: globalStyle.fontColorOnBlack },
                { tag: "with a reason", enabled: true, failing: true, status: reason, text: reason, colour: globalStyle.errorTextColor },
                { tag: "connected", enabled: true, connected: true, text: "Connected to broker.lan port 1883.", colour: "white" }
            ];
        }

        function test_mqttState(data) {
            var page = advancedPage(1 << 4);
            mqttBridge.enabled = data.enabled;
            mqttBridge.connected = data.connected || false;
            mqttBridge.failing = data.failing || false;
            mqttBridge.status = data.status || "";
            var state = findChild(page, "mqttState");
            compare([state.text, Qt.colorEqual(state.color, data.colour)], [data.text, true]);
        }

        function chooseSize(rows, columns) {
            findChild(wizard, "rowsTumbler").currentIndex = rows - 1;
            findChild(wizard, "columnsTumbler").currentIndex = columns - 1;
            mouseClick(findChild(wizard, "nextButton"));
        }

        function test_auditPage() {
            var now = new Date().toISOString();
            auditTrail.lines = [
                { "time": now, "actor": null, "address": "192.0.2.9", "action": "sign-in", "target": null,
                  "after": null, "outcome": "not_authenticated" },
                { "time": now, "actor": "reception", "address": "192.0.2.20", "action": "route", "target": "Lobby wall",
                  "after": "Lectern PC", "outcome": "ok" }];
            for (var i = 0; i < 150; ++i)
                auditTrail.lines.push({ "time": "2026-01-05T08:00:00.000Z", "actor": "window", "action": "numbers",
                                        "target": "all", "after": true, "outcome": "ok" });
            manager.locked = false;
            var page = loadPage("AuditPage.qml");
            var list = findChild(page, "auditList");
            compare([list.count, findChild(page, "auditCount").text], [100, "100 of 152 lines"]);
            // Refusals say so, and in the muted red; a route names what it shows now.
            verify(page.describe(auditTrail.lines[0]).indexOf("unknown (192.0.2.9) · sign-in — refused: not_authenticated") > 0);
            verify(page.describe(auditTrail.lines[1]).indexOf("reception (192.0.2.20) · route Lobby wall → Lectern PC") > 0);
            compare(String(list.itemAtIndex(0).color), "#b04848");
            // Older lines come after, from where the list ends.
            list.positionViewAtEnd();
            waitForRendering(list);
            mouseClick(findChild(list.footerItem, "auditMore"));
            compare([list.count, auditTrail.asked[auditTrail.asked.length - 1][1]], [152, 100]);
            // A filter starts from the top again.
            findChild(page, "auditFilter").text = "recep";
            compare([list.count, auditTrail.asked[auditTrail.asked.length - 1]], [1, ["recep", 0, 100]]);
            // Locked, the page asks for the password and shows nothing.
            manager.locked = true;
            verify(!list.visible);
        }

        function test_wizardSizes() {
            wizard.visible = true;
            // Three free decoders: one row of two to start with, and never more screens than three.
            freeDecoders(3);
            wizard.open("Lobby");
            var rowsTumbler = findChild(wizard, "rowsTumbler");
            var columnsTumbler = findChild(wizard, "columnsTumbler");
            compare([wizard.selectedHeight, wizard.selectedWidth, rowsTumbler.count, columnsTumbler.count], [1, 2, 3, 3]);
            // Three rows leave room for one column.
            rowsTumbler.currentIndex = 2;
            compare([wizard.selectedHeight, wizard.selectedWidth, columnsTumbler.currentIndex], [3, 1, 0]);
            columnsTumbler.currentIndex = 2;
            compare([wizard.selectedHeight, wizard.selectedWidth, rowsTumbler.currentIndex], [1, 3, 0]);
        }

        function test_wizard() {
            var closed = 0;
            wizard.closeButtonClicked.connect(function () { ++closed; });
            wizard.visible = true;
            wizard.open("Lobby");
            chooseSize(1, 1);
            verify(findChild(wizard, "sizeError").visible);
            // Opened again, it starts from 2 x 2.
            wizard.open("Lobby");
            compare([wizard.selectedHeight, wizard.selectedWidth, findChild(wizard, "rowsTumbler").currentIndex], [2, 2, 1]);
            chooseSize(2, 3);
            var placePage = findChild(wizard, "placeDevicePage");
            // Step 2 leads back to the size as chosen, and on again.
            mouseClick(findChild(wizard, "backButton"));
            compare([placePage.visible, findChild(wizard, "nextButton").visible, wizard.selectedHeight, wizard.selectedWidth],
                    [false, true, 2, 3]);
            mouseClick(findChild(wizard, "nextButton"));
            verify(placePage.visible);
            for (var i = 0; i < 5; ++i)
                placePage.acceptRxInCell(i, 4 + i);
            var error = findChild(wizard, "placeError");
            mouseClick(findChild(wizard, "createButton"));
            compare([error.visible, manager.callsNamed("createVideoWall").length, closed], [true, 0, 0]);
            placePage.acceptRxInCell(5, 9);
            verify(!error.visible);
            // Refused, the wizard stays open with the screens as placed.
            manager.createWallResult = false;
            mouseClick(findChild(wizard, "createButton"));
            compare([closed, window.toasts, wizard.deviceItems[5]], [0, ["Video Wall \"Lobby\" could not be created."], "9"]);
            manager.createWallResult = true;
            window.toasts = [];
            mouseClick(findChild(wizard, "createButton"));
            var call = ["createVideoWall", "Lobby", 2, 3, "4,5,6,7,8,9" + ",".repeat(58)];
            compare(manager.callsNamed("createVideoWall"), [call, call]);
            compare([closed, window.toasts], [1, ["Video Wall \"Lobby\" created."]]);
            // The numbers stay on the displays exactly while the wizard is on screen.
            wizard.visible = false;
            compare([manager.callsNamed("osdShowSeq").length, manager.callsNamed("osdHideSeq").length], [1, 1]);
        }
    }
}
