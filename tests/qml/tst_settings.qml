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
        property bool changePasswordResult; property bool saveFails
        property bool changePowerCommandResult; property bool createWallResult: true
        property int vwMaxRows: 8; property int vwMaxColumns: 8
        property bool locked: true; property bool inOptions; property bool demoMode
        property bool rerouteOnReconnect; property bool restoreRoutesAtStart
        property string defaultPowerOnCommand: "40 04"; property string defaultPowerOffCommand: "FF 36"
        property string savedPowerOnCommand: "40 04"; property string savedPowerOffCommand: "FF 36"
        property ListModel purerxlist: ListModel {}
        property ListModel rxlist: ListModel { ListElement { name: "IPD-A"; alias: "Lobby" } ListElement { name: "IPD-B"; alias: "Hall" } }
        property ListModel txlist: ListModel { ListElement { name: "IPE-A"; alias: "Lectern" } }
        function callsNamed(name) { return calls.filter(function (call) { return call[0] === name; }); }
        function validDisplayName(name) { return name.length <= 256; }
        function deviceAliasExists(alias) { return ["rx - 1", "rx - 2", "lobby"].indexOf(alias.toLowerCase()) >= 0; }
        function createVideoWall(name, rows, columns, cells) { calls.push(["createVideoWall", name, rows, columns, cells]); return createWallResult; }
        function changePowerCommand(onCmd, offCmd) { calls.push(["changePowerCommand", onCmd, offCmd]); return changePowerCommandResult; }
        function osdShowSeq() { calls.push(["osdShowSeq"]); }
        function osdHideSeq() { calls.push(["osdHideSeq"]); }
        // As the manager: a failed save is reported as an error and answered false.
        function changePassword(oldPassword, newPassword) {
            calls.push(["changePassword", oldPassword, newPassword]);
            window.managerErrors += saveFails ? 1 : 0;
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
        property string refusal; property bool runs: true; property string startProblem
        function configure(on, lineTlsPort, linePort, plain, webPort, tls, address, certificate, key) {
            calls.push(["configure", on, lineTlsPort, linePort, plain, webPort, tls, address, certificate, key]);
            if (refusal !== "")
                return refusal;
            enabled = on; plainLine = plain; webTls = tls; running = on && runs;
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
                return { "ok": true, "code": 0, "error": "", "result": { "code": "0123456789", "link": "https://192.0.2.1:7741/#pair=0123456789", "valid_seconds": 300 } };
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
        property bool connected: false; property bool failing: false; property string status; property string refusal
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
        property var asked: []; property var lines: []
        function page(text, offset, limit) {
            asked.push([text, offset, limit]);
            var found = lines.filter(function (line) { return text === "" || [line.actor, line.target].join(" ").indexOf(text) >= 0; });
            return { "lines": found.slice(offset, offset + limit), "total": found.length };
        }
    }

    DialogLayerStub { id: dialogLayer }

    // "id" cannot be written as a ListElement role.
    readonly property var firstDevice: ({ "name": "IPD-A", "id": "A", "alias": "RX - 1", "address": "192.0.2.10", "seq": 3 })
    ListModel { id: devices; Component.onCompleted: append(firstDevice) }

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
            wizard.visible = settings.visible = false;
            manager.locked = manager.createWallResult = true;
            manager.saveFails = remoteApi.enabled = remoteApi.running = remoteApi.plainLine = false;
            remoteApi.webTls = remoteApi.runs = true;
            mqttBridge.enabled = mqttBridge.connected = mqttBridge.failing = false;
            remoteApi.status = remoteApi.refusal = mqttBridge.status = mqttBridge.refusal = "";
            manager.calls = []; remoteApi.calls = []; mqttBridge.calls = []; window.toasts = [];
            dialogLayer.openCount = 0;
            freeDecoders(6);
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

        // A row's rename, then a drag of its handle while the row goes away: the saves the
        // drag held back start again.
        function test_rename() {
            var row = findChild(table, "deviceEditorList").itemAtIndex(0);
            mouseClick(row, 300, 30);
            // The number column shows the number the displays show, not the row's place in the list.
            compare([dialogLayer.initialText, manager.inOptions, findChild(row, "deviceRow").cells[0]], ["RX - 1", true, "3"]);
            // The alias of another device is refused and asked for again, with the typed text.
            dialogLayer.textInputed("rx - 2");
            compare([dialogLayer.openCount, dialogLayer.openingError, dialogLayer.initialText, devices.get(0).alias, manager.inOptions],
                    [2, "Name exists, please input again!", "rx - 2", "RX - 1", true]);
            // A name the settings file would not take back is refused at once.
            dialogLayer.textInputed(new Array(258).join("x"));
            compare([dialogLayer.openCount, dialogLayer.openingError, devices.get(0).alias],
                    [3, "The name is too long or holds characters that cannot be shown.", "RX - 1"]);
            // Its own name in another letter case is a new name.
            dialogLayer.textInputed("rx - 1");
            compare([dialogLayer.openCount, devices.get(0).alias, manager.inOptions], [3, "rx - 1", false]);
            mouseClick(row, 300, 30);
            dialogLayer.rejected();
            compare(manager.inOptions, false);

            var handle = findChild(row, "sequenceHandle");
            mousePress(handle, 10, 10);
            for (var step = 1; step <= 10; ++step)
                mouseMove(handle, 10, 10 + 5 * step);
            verify(manager.inOptions);
            devices.remove(0);
            tryCompare(manager, "inOptions", false);
            mouseRelease(table, 10, 10);
            devices.append(firstDevice);
        }

        function test_createWall() {
            var page = loadPage("VWPage.qml");
            var wizardNames = [];
            page.showVwWizard.connect(function (name) { wizardNames.push(name); });
            // One decoder outside the walls: nothing to build a wall from.
            freeDecoders(1);
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

        // A wrong value is told beside its field, naming which of the two ports; nothing goes
        // to the service until every field can be used. Typing again clears the complaint.
        // The broker's fields go to the bridge as typed, the port as a number; what the bridge
        // refuses shows under its button.
        function test_fields_data() {
            var port = "A port is a number from 1 to 65535.", same = "Must differ from the other ports.";
            return [
                { tag: "port out of range", fields: { linePortField: "99999" }, errors: { linePortField: port } },
                { tag: "web port equals a text port", fields: { webPortField: "7740" }, errors: { webPortField: same } },
                { tag: "plain text port equals the TLS one", fields: { linePortField: "7742" }, errors: { linePortField: same } },
                { tag: "no listen address", fields: { listenField: " " }, errors: { listenField: "Required: 0.0.0.0 listens on every network." } },
                { tag: "listen address cut short", fields: { listenField: "192.0.2" }, errors: { listenField: "Not an IP address, such as 192.0.2.1." } },
                { tag: "key without certificate", fields: { keyField: "/k.pem" }, errors: { certificateField: "TLS needs both the certificate and the key." } },
                { tag: "IPv6 and new ports", fields: { listenField: "::1", lineTlsPortField: "7001", linePortField: "7000", webPortField: "08000" }, calls: [["configure", false, 7001, 7000, false, 8000, true, "::1", "", ""]], toasts: ["Control API settings saved."] },
                { tag: "broker saved", mqtt: true, fields: { mqttPortField: "8883", mqttSiteField: "North Hall" }, calls: [["configure", true, "broker.lan", 8883, "North Hall", "", "", "", ""]], toasts: ["MQTT settings saved."] },
                { tag: "no broker", mqtt: true, fields: { mqttHostField: " " }, errors: { mqttHostField: "Type the broker's name or address." } },
                { tag: "broker port out of range", mqtt: true, fields: { mqttPortField: "0" }, errors: { mqttPortField: port } },
                { tag: "refused by the bridge", mqtt: true, fields: {}, refusal: "A password needs a user name.", problem: "A password needs a user name.", calls: [["configure", true, "broker.lan", 1883, "", "", "", "", ""]] }
            ];
        }

        function test_fields(data) {
            var page = advancedPage(data.mqtt ? 1 << 4 : 1 << 3);
            var service = data.mqtt ? mqttBridge : remoteApi;
            service.refusal = data.refusal || "";
            mqttBridge.enabled = !!data.mqtt;
            for (var name in data.fields)
                findChild(page, name).text = data.fields[name];
            findChild(page, data.mqtt ? "mqttApplyButton" : "apiApplyButton").clicked();
            var names = data.mqtt ? ["mqttHostField", "mqttPortField"]
                                  : ["listenField", "lineTlsPortField", "linePortField", "webPortField", "certificateField", "keyField"];
            var shown = {};
            names.forEach(function (name) { var label = findChild(findChild(page, name), "fieldError"); if (label.visible) shown[name] = label.text; });
            compare([shown, service.calls, window.toasts, findChild(page, "mqttProblem").text],
                    [data.errors || {}, data.calls || [], data.toasts || [], data.problem || ""]);
            for (name in data.errors) {
                var field = findChild(page, name);
                field.forceActiveFocus();
                keyClick(field.text.length > 0 ? Qt.Key_Backspace : Qt.Key_1);
                compare(field.error, "", name);
            }
        }

        // A hint in an empty field is slanted and dim, a value is not. A refused save says
        // nothing of its own: the manager's message is up. Put back, the field goes on
        // following what is saved. The API's switch and state line show what runs after every
        // Apply, also one that failed; a refusal of the service itself shows under the button,
        // not in a toast. The bridge's state says why it is not connected, in the error colour
        // only while it fails. Every switch of the page looks alike: lit in the accent while
        // on, dim while off; each writes its own setting.
        function test_advancedPage() {
            var page = advancedPage((1 << 1) | (1 << 3));
            var onField = findChild(page, "powerOnField");
            onField.text = "";
            var hint = [onField.font.italic, Qt.colorEqual(onField.placeholderTextColor, globalStyle.darkFontColorOnBlack)];
            onField.text = "40 05 ";
            compare(hint.concat(onField.font.italic), [true, true, false]);
            [false, true].forEach(function (accepted) {
                manager.changePowerCommandResult = accepted;
                tap(page, findChild(page, "powerSaveButton"));
            });
            var call = ["changePowerCommand", "40 05", "FF 36"];
            compare([manager.callsNamed("changePowerCommand"), window.toasts], [[call, call], ["New display power on/off command saved."]]);
            tap(page, findChild(page, "powerCancelButton"));
            compare(onField.text, "40 04");
            manager.savedPowerOnCommand = "40 06";
            compare(onField.text, "40 06");

            window.toasts = [];
            var colours = { plain: globalStyle.fontColorOnBlack, error: globalStyle.errorTextColor, white: "white" };
            var bridgeState = findChild(page, "mqttState");
            var reason = "No broker answers at broker.lan port 1883 (Connection refused). Next try within 30 s.";
            var shown = function (enabled, connected, failing, status) {
                mqttBridge.enabled = enabled; mqttBridge.connected = connected; mqttBridge.failing = failing; mqttBridge.status = status;
                return [bridgeState.text].concat(Object.keys(colours).filter(function (name) { return Qt.colorEqual(bridgeState.color, colours[name]); }));
            };
            compare([shown(false, false, false, ""), shown(true, false, false, "Connecting…"), shown(true, false, true, reason), shown(true, true, false, "")],
                    [["Off.", "plain"], ["Connecting…", "plain"], [reason, "error"], ["Connected to broker.lan port 1883.", "white"]]);

            var apiSwitch = findChild(page, "apiSwitch");
            var state = findChild(page, "apiState");
            var apply = findChild(page, "apiApplyButton");
            compare([apiSwitch.checked, state.text], [false, "Off: no control system can connect."]);

            remoteApi.runs = false;
            remoteApi.startProblem = "TLS needs a certificate that can be read.";
            tap(page, apiSwitch);
            apply.clicked();
            compare([apiSwitch.checked, state.text, Qt.colorEqual(state.color, globalStyle.errorTextColor), findChild(page, "apiProblem").visible, window.toasts],
                    [false, "Not running: TLS needs a certificate that can be read.", true, false, []]);

            remoteApi.runs = true;
            tap(page, apiSwitch);
            apply.clicked();
            compare([apiSwitch.checked, state.text, window.toasts],
                    [true, "Running on 0.0.0.0: text port 7742 over TLS, WebSocket and HTTPS port 7741.", ["Control API settings saved."]]);
            // The plain ports are asked for by their switches, and the state says which are plain.
            tap(page, findChild(page, "plainLineSwitch"));
            tap(page, findChild(page, "webTlsSwitch"));
            apply.clicked();
            compare([remoteApi.calls[remoteApi.calls.length - 1].slice(2, 7), state.text],
                    [[7742, 7740, true, 7741, false], "Running on 0.0.0.0: text port 7742 over TLS and 7740 without, WebSocket and HTTP port 7741 without TLS."]);

            remoteApi.refusal = "The file /c.pem cannot be read.";
            apply.clicked();
            compare([apiSwitch.checked, findChild(page, "apiProblem").text], [true, "The file /c.pem cannot be read."]);

            // A new token is asked about, then shown in its own dialog until closed; closing
            // before copying asks first; Copy puts it on the clipboard; closed, it is gone, and a
            // section opened meanwhile folds nothing away.
            findChild(page, "newTokenButton").clicked();
            compare(remoteApi.calls.length, 4);
            dialogLayer.accepted();
            var dialog = findChild(page, "secretDialog");
            tryCompare(dialog, "opened", true);
            compare([findChild(dialog, "secretText").text, findChild(dialog, "secretText").readOnly], ["tok-5", true]);

            page.toggleSection(4, null);
            verify(findChild(page, "apiFields").visible);

            findChild(dialog, "secretCloseButton").clicked();
            compare([dialog.opened, dialog.asking, findChild(dialog, "secretCloseAnywayButton").visible], [true, true, true]);
            findChild(dialog, "secretBackButton").clicked();
            findChild(dialog, "secretCopyButton").clicked();
            pasteTarget.paste();
            compare(pasteTarget.text, "tok-5");
            findChild(dialog, "secretCloseButton").clicked();
            tryCompare(dialog, "visible", false);
            compare(findChild(dialog, "secretText").text, "");

            ["rerouteSwitch", "restoreSwitch", "apiSwitch", "mqttSwitch"].forEach(function (name) {
                var toggle = findChild(page, name);
                toggle.checked = false;
                var dimWhileOff = Qt.colorEqual(toggle.indicator.color, "#26262E");
                tap(page, toggle);
                compare([dimWhileOff, Qt.colorEqual(toggle.indicator.color, globalStyle.accent)], [true, true], name);
            });
            compare([manager.rerouteOnReconnect, manager.restoreRoutesAtStart], [true, true]);
            manager.rerouteOnReconnect = manager.restoreRoutesAtStart = false;
        }

        // Behind the password; each user with role, screens by their names and last sign-in;
        // a new user's rights go to the service as chosen and its credential is shown once;
        // a refusal keeps the form; a revoke is asked first.
        // Adding a device: the rights ticked go to "users.pair", the code shows as a QR code of
        // its link and in groups of digits with the time left; an expired one says so; closed
        // unused it is withdrawn, traded it is not.
        function test_users() {
            remoteApi.listed = [{ "name": "admin", "role": "admin", "screens": [], "sources": [], "last_sign_in": "2026-03-01T08:15:00Z", "last_address": "192.0.2.20" },
                { "name": "Lectern <b>", "role": "operator", "screens": ["VW-1", "IPD-GONE"], "sources": ["IPE-1"], "last_sign_in": null, "last_address": null }];
            remoteApi.running = true;
            var page = loadPage("UsersPage.qml");
            compare([findChild(page, "loginPanel").visible, findChild(page, "usersHeader").visible], [true, false]);
            manager.locked = false;
            var rows = findChild(page, "userRows");
            var cell = function (row, name) { return findChild(rows.itemAtIndex(row), name); };
            waitForRendering(page);
            compare([cell(1, "userName").text, cell(1, "userScreens").text, cell(1, "userSignIn").text, cell(0, "userScreens").text,
                     cell(0, "revokeButton").visible, cell(0, "userSignIn").text.indexOf("from 192.0.2.20") > 0],
                    ["Lectern <b>  \u00B7  Operator", "Lobby, IPD-GONE  \u00B7  Sources: TX - 1", "Never signed in", "All screens", false, true]);

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
            var secret = findChild(page, "secretDialog");
            tryCompare(secret, "opened", true);
            compare([findChild(secret, "secretText").text, findChild(page, "userForm").visible], ["cred-2", false]);
            secret.finish();

            cell(1, "revokeButton").clicked();
            compare([dialogLayer.openCount, remoteApi.calls.length], [1, 2]);
            dialogLayer.accepted();
            compare(remoteApi.calls[2], ["users.revoke", { "name": "Lectern <b>" }]);

            var dialog = findChild(page, "addDeviceDialog");
            findChild(page, "addDeviceButton").clicked();
            tryCompare(dialog, "opened", true);
            findChild(page, "pairRoleBox").currentIndex = 1;
            mouseClick(findChild(dialog, "pairNameField"));
            keyClick(Qt.Key_T);
            var hall = findChild(dialog, "pairScreens").itemAt(1);
            compare(hall.text, "Hall");
            hall.checked = true;
            findChild(dialog, "pairCreateButton").clicked();
            compare(remoteApi.calls[3], ["users.pair", { "role": "operator", "screens": ["IPD-B"], "sources": [], "name": "t" }]);
            var qr = findChild(dialog, "pairQrImage").source.toString();
            compare([findChild(dialog, "pairCode").text, findChild(dialog, "pairLink").text, qr.substr(0, 11), decodeURIComponent(qr.substr(11)),
                     findChild(dialog, "pairState").text],
                    ["012 345 6789", "https://192.0.2.1:7741/", "image://qr/", "https://192.0.2.1:7741/#pair=0123456789", "Works once, for 5:00 more."]);
            dialog.expiresAt = Date.now() - 1;
            dialog.tick();
            compare([findChild(dialog, "pairState").text, findChild(dialog, "pairQrImage").source.toString(), findChild(dialog, "pairCreateButton").visible],
                    ["The code has expired. Make a new one.", "", true]);
            findChild(dialog, "pairCloseButton").clicked();
            tryCompare(dialog, "visible", false);
            compare(remoteApi.calls.slice(4), [["withdrawPairingCode", "0123456789"]]);

            findChild(page, "addDeviceButton").clicked();
            tryCompare(dialog, "opened", true);
            findChild(dialog, "pairCreateButton").clicked();
            remoteApi.devicePaired("9999999999", "other");
            remoteApi.devicePaired("0123456789", "t");
            compare(findChild(dialog, "pairState").text, "Paired as \"t\". It is in the users list, where it can be revoked.");
            findChild(dialog, "pairCloseButton").clicked();
            compare(remoteApi.calls.length, 6);
        }

        function test_auditPage() {
            var now = new Date().toISOString();
            auditTrail.lines = [
                { "time": now, "actor": null, "address": "192.0.2.9", "action": "sign-in", "target": null, "after": null, "outcome": "not_authenticated" },
                { "time": now, "actor": "reception", "address": "192.0.2.20", "action": "route", "target": "Lobby wall", "after": "Lectern PC", "outcome": "ok" }
            ].concat(new Array(150).fill({ "time": "2026-01-05T08:00:00.000Z", "actor": "window", "action": "numbers", "target": "all", "after": true, "outcome": "ok" }));
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

        function test_wizard() {
            var closed = 0;
            wizard.closeButtonClicked.connect(function () { ++closed; });
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
            rowsTumbler.currentIndex = columnsTumbler.currentIndex = 0;
            mouseClick(findChild(wizard, "nextButton"));
            verify(findChild(wizard, "sizeError").visible);
            // Opened again with six, it starts from 2 x 2.
            freeDecoders(6);
            wizard.open("Lobby");
            compare([wizard.selectedHeight, wizard.selectedWidth, rowsTumbler.currentIndex], [2, 2, 1]);
            columnsTumbler.currentIndex = 2;
            mouseClick(findChild(wizard, "nextButton"));
            var placePage = findChild(wizard, "placeDevicePage");
            // Step 2 leads back to the size as chosen, and on again.
            mouseClick(findChild(wizard, "backButton"));
            compare([placePage.visible, findChild(wizard, "nextButton").visible, wizard.selectedHeight, wizard.selectedWidth], [false, true, 2, 3]);
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
            mouseClick(findChild(wizard, "createButton"));
            var call = ["createVideoWall", "Lobby", 2, 3, "4,5,6,7,8,9" + ",".repeat(58)];
            compare([manager.callsNamed("createVideoWall"), closed, window.toasts.slice(1)], [[call, call], 1, ["Video Wall \"Lobby\" created."]]);
            // The numbers stay on the displays exactly while the wizard is on screen.
            wizard.visible = false;
            compare([manager.callsNamed("osdShowSeq").length, manager.callsNamed("osdHideSeq").length], [1, 1]);
        }
    }
}
