.pragma library

// Input rules of the dialogs, kept apart from the views so that they can be tested alone.

// The trimmed text, or null when it is empty and empty input is not allowed.
function acceptedInput(text, allowEmpty) {
    var trimmed = String(text).trim();
    return trimmed.length > 0 || allowEmpty ? trimmed : null;
}

// "unchanged", "exists" or "ok" for renaming oldName to newName; nameExists(name) asks the
// device lists. A change of letter case only would find the renamed device itself there.
function renameVerdict(oldName, newName, nameExists) {
    if (newName === oldName)
        return "unchanged";
    if (newName.toLowerCase() !== oldName.toLowerCase() && nameExists(newName))
        return "exists";
    return "ok";
}

// The encoder reference a drop carries, or "" when the drop is not an encoder cell.
function droppedTxName(keys, source) {
    if (!keys || keys.indexOf("videoSource") < 0 || !source)
        return "";
    var txName = source.txName;
    return typeof txName === "string" && txName.indexOf("TX:") === 0 ? txName : "";
}

function canConfirmPassword(oldPassword, newPassword, confirmation) {
    return oldPassword.trim() !== "" && newPassword.trim() !== "" && confirmation.trim() !== "";
}

function canClearPassword(oldPassword, newPassword, confirmation) {
    return oldPassword !== "" || newPassword !== "" || confirmation !== "";
}

function powerCommandsEdited(onText, offText, savedOn, savedOff) {
    return onText.trim() !== savedOn || offText.trim() !== savedOff;
}
