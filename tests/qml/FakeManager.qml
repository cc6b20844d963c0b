import QtQuick 2.14

// Records what the interface asks of the manager; tests read `calls` and set the answers.
QtObject {
    property var calls: []
    property var aliases: []
    property bool loginResult: false
    property bool changePasswordResult: false

    property int vwMaxRows: 8
    property int vwMaxColumns: 8
    property bool locked: true
    property bool inOptions: false
    property bool demoMode: false
    property string defaultPowerOnCommand: "40 04"
    property string defaultPowerOffCommand: "FF 36"
    property string savedPowerOnCommand: ""
    property string savedPowerOffCommand: ""
    property size currentVwSize: Qt.size(1, 1)
    property var vwOnlineStatus: []
    property QtObject rxsource: QtObject {
        property bool videoAvaiable: false
        property size size
    }
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

    function record(call) {
        var list = calls;
        list.push(call);
        calls = list;
    }

    function callsNamed(name) {
        return calls.filter(function (call) { return call[0] === name; });
    }

    function deviceAliasExists(alias) {
        record(["deviceAliasExists", alias]);
        var wanted = alias.toLowerCase();
        return aliases.some(function (known) { return known.toLowerCase() === wanted; });
    }

    function createVideoWall(name, rows, columns, cells) { record(["createVideoWall", name, rows, columns, cells]); }
    function deleteVideoWall(guid) { record(["deleteVideoWall", guid]); }
    function osdShowSeq() { record(["osdShowSeq"]); }
    function osdHideSeq() { record(["osdHideSeq"]); }
    function sortRxBySeq() { record(["sortRxBySeq"]); }
    function dropCurrentRxSource() { record(["dropCurrentRxSource"]); }
    function changePowerCommand(onCommand, offCommand) { record(["changePowerCommand", onCommand, offCommand]); }

    function login(password) {
        record(["login", password]);
        if (loginResult)
            locked = false;
        return loginResult;
    }

    function changePassword(oldPassword, newPassword) {
        record(["changePassword", oldPassword, newPassword]);
        return changePasswordResult;
    }
}
