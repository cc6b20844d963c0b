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

// A TCP port as typed: its number, or null unless it is a whole number from 1 to 65535.
function portNumber(text) {
    var digits = String(text).trim();
    if (!/^\d{1,5}$/.test(digits))
        return null;
    var number = parseInt(digits, 10);
    return number >= 1 && number <= 65535 ? number : null;
}

// Four numbers up to 255 in dots, or up to eight groups of hex digits in colons with at most
// one "::". The service checks it again; this is for saying so beside the field.
function isIpAddress(text) {
    var address = String(text).trim();
    var four = /^(\d{1,3})\.(\d{1,3})\.(\d{1,3})\.(\d{1,3})$/.exec(address);
    if (four)
        return four.slice(1).every(function (part) { return parseInt(part, 10) <= 255; });
    if (!/^[0-9A-Fa-f:]+$/.test(address) || address.split("::").length > 2)
        return false;
    var groups = address.split(":");
    var shortened = address.indexOf("::") >= 0;
    return groups.length >= 3 && groups.length <= 8 + (shortened ? 1 : 0)
        && (shortened || groups.length === 8)
        && groups.every(function (group) { return group.length <= 4; });
}

// What is wrong with each field of the control API's section, as a code the page puts into
// words ("" where nothing is): listen, linePort, webPort, certificate, key.
function apiFieldProblems(listen, lineTlsPort, linePort, webPort, certificate, key) {
    var lineTls = portNumber(lineTlsPort);
    var line = portNumber(linePort);
    var web = portNumber(webPort);
    var noCertificate = String(certificate).trim() === "";
    var noKey = String(key).trim() === "";
    return {
        "listen": String(listen).trim() === "" ? "empty" : isIpAddress(listen) ? "" : "notAddress",
        "lineTlsPort": lineTls === null ? "port" : "",
        "linePort": line === null ? "port" : line === lineTls ? "samePort" : "",
        "webPort": web === null ? "port" : web === line || web === lineTls ? "samePort" : "",
        "certificate": noCertificate && !noKey ? "pair" : "",
        "key": noKey && !noCertificate ? "pair" : ""
    };
}

// The same for the MQTT section: host and port; a bridge that is off needs no broker.
function mqttFieldProblems(enabled, host, port) {
    return {
        "host": enabled && String(host).trim() === "" ? "empty" : "",
        "port": portNumber(port) === null ? "port" : ""
    };
}

function hasProblem(problems) {
    for (var field in problems) {
        if (problems[field] !== "")
            return true;
    }
    return false;
}
