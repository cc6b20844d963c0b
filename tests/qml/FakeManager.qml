import QtQuick 2.14

// Records what the interface asks of the manager; tests read `calls` and set the answers.
QtObject {
    property var calls: []
    property var aliases: []
    property bool loginResult
    property bool changePasswordResult
    property int vwMaxRows: 8
    property int vwMaxColumns: 8
    property bool locked: true
    property bool inOptions
    property bool demoMode
    property string defaultPowerOnCommand: "40 04"
    property string defaultPowerOffCommand: "FF 36"
    property string savedPowerOnCommand
    property string savedPowerOffCommand
    property ListModel purerxlist: ListModel {
        ListElement { name: "IPD-A"; seq: 1 }
        ListElement { name: "IPD-B"; seq: 2 }
    }

    function reset() {
        calls = [];
        aliases = [];
        locked = true;
        inOptions = false;
    }
    function record(call) { calls = calls.concat([call]); }
    function callsNamed(name) { return calls.filter(function (call) { return call[0] === name; }); }
    function deviceAliasExists(alias) {
        return aliases.some(function (known) { return known.toLowerCase() === alias.toLowerCase(); });
    }
    function createVideoWall(name, rows, columns, cells) { record(["createVideoWall", name, rows, columns, cells]); }
    function osdShowSeq() { record(["osdShowSeq"]); }
    function osdHideSeq() { record(["osdHideSeq"]); }
    function login(password) {
        record(["login", password]);
        locked = !loginResult;
        return loginResult;
    }
    function changePassword(oldPassword, newPassword) {
        record(["changePassword", oldPassword, newPassword]);
        return changePasswordResult;
    }
}
