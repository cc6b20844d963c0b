import QtQuick 2.14
import "../js/checks.js" as Checks

// Asks for a new display name until it is free or unchanged; `renamed` carries an accepted one.
// The manager counts the dialog as an edit in progress while it is open.
InputDialog {
    id: dialog

    property string oldName
    property string existsError

    signal renamed(string newName)

    function start(name) {
        oldName = name;
        inputText = name;
        manager.inOptions = true;
        open();
    }

    onAccepted: {
        if (!manager.validDisplayName(inputText)) {
            open(qsTr("The name is too long or holds characters that cannot be shown."));
            return;
        }
        var verdict = Checks.renameVerdict(oldName, inputText, manager.deviceAliasExists);
        if (verdict === "exists") {
            open(existsError);
            return;
        }
        if (verdict === "ok")
            dialog.renamed(inputText);
        manager.inOptions = false;
    }
    onRejected: manager.inOptions = false
}
