import QtQuick 2.14
import QtQuick.Controls 2.14
import "../control"

// Pairs a phone or tablet: first the rights it gets (a role, and the screens and sources it
// may operate; none ticked means all of them), then a one-time code as a QR code to scan and
// as digits to type, with the time it has left. The code stops working when the dialog
// closes unused: it must not outlive the place it is shown.
Popup {
    id: dialog
    objectName: "addDeviceDialog"

    // The open code's answer ({code, link, valid_seconds}); empty while the rights are chosen.
    property var pairing: ({})
    readonly property bool showingCode: pairing.code !== undefined
    property string error: ""
    // The user the code made, once a device has traded it.
    property string pairedAs: ""
    // When the code stops working, in Date.now() terms, and the seconds left until then.
    property double expiresAt: 0
    property int secondsLeft: 0
    readonly property var roles: ["viewer", "operator", "admin"]

    function roleText(role) {
        switch (role) {
        case "viewer": return qsTr("Viewer: sees the screens and sources");
        case "operator": return qsTr("Operator: routes sources to screens");
        default: return qsTr("Admin: everything, users included");
        }
    }

    // "0123456789" as "012 345 6789": read out and typed in short groups.
    function grouped(code) {
        return code.length === 10 ? code.substr(0, 3) + " " + code.substr(3, 3) + " " + code.substr(6) : code;
    }

    function checked(repeater) {
        var names = [];
        for (var i = 0; i < repeater.count; ++i) {
            var box = repeater.itemAt(i);
            if (box && box.checked)
                names.push(box.deviceName);
        }
        return names;
    }

    function start() {
        pairing = {};
        error = "";
        pairedAs = "";
        nameField.text = "";
        roleBox.currentIndex = 1;
        open();
    }

    function createCode() {
        var admin = roles[roleBox.currentIndex] === "admin";
        var params = { "role": roles[roleBox.currentIndex],
                       "screens": admin ? [] : checked(screenBoxes),
                       "sources": admin ? [] : checked(sourceBoxes) };
        if (nameField.text.trim() !== "")
            params.name = nameField.text.trim();
        var answer = remoteApi.command("users.pair", params);
        if (!answer.ok) {
            error = answer.error;
            return;
        }
        error = "";
        pairing = answer.result;
        expiresAt = Date.now() + pairing.valid_seconds * 1000;
        tick();
    }

    function tick() {
        secondsLeft = Math.max(0, Math.ceil((expiresAt - Date.now()) / 1000));
    }

    function finish() {
        if (showingCode && pairedAs === "")
            remoteApi.withdrawPairingCode(pairing.code);
        pairing = {};
        close();
    }

    parent: Overlay.overlay
    z: 15
    x: Math.round(((parent ? parent.width : 800) - width) / 2)
    y: Math.round(((parent ? parent.height : 600) - height) / 2)
    width: 760
    height: Math.min(parent ? parent.height - 40 : 700, implicitHeight)
    padding: 30
    modal: true
    closePolicy: Popup.NoAutoClose
    Overlay.modal: Rectangle {
        color: "#C0000000"
    }
    background: Rectangle {
        color: "#141418"
        radius: 12
        border.width: 2
        border.color: globalStyle.accent
    }

    Timer {
        interval: 1000
        repeat: true
        running: dialog.visible && dialog.showingCode && dialog.pairedAs === ""
        onTriggered: dialog.tick()
    }

    Connections {
        target: remoteApi
        function onDevicePaired(code, user) {
            if (dialog.showingCode && code === dialog.pairing.code)
                dialog.pairedAs = user;
        }
    }

    contentItem: Flickable {
        clip: true
        contentHeight: content.height
        implicitHeight: content.height
        boundsBehavior: Flickable.StopAtBounds

        Column {
            id: content
            width: parent.width
            spacing: 18

            Text {
                width: parent.width
                text: qsTr("Add a device")
                color: "white"
                font.pixelSize: globalStyle.titleFontSize
                font.bold: true
            }

            // Step 1: the rights.
            Column {
                visible: !dialog.showingCode
                width: parent.width
                spacing: 12
                FieldLabel { text: qsTr("Name (empty: one is made up):") }
                TextEntry {
                    id: nameField
                    objectName: "pairNameField"
                    width: 400
                    maximumLength: 64
                }
                FieldLabel { text: qsTr("Role:") }
                ChoiceBox {
                    id: roleBox
                    objectName: "pairRoleBox"
                    width: 500
                    model: dialog.roles.map(dialog.roleText)
                }
                FieldLabel {
                    visible: roleBox.currentIndex !== 2
                    width: parent.width
                    wrapMode: Text.Wrap
                    text: qsTr("Screens it may operate (none ticked: all):")
                }
                Flow {
                    visible: roleBox.currentIndex !== 2
                    width: parent.width
                    spacing: 6
                    Repeater {
                        id: screenBoxes
                        objectName: "pairScreens"
                        model: manager.rxlist
                        delegate: deviceCheck
                    }
                }
                FieldLabel {
                    visible: roleBox.currentIndex !== 2
                    width: parent.width
                    wrapMode: Text.Wrap
                    text: qsTr("Sources it may show (none ticked: all):")
                }
                Flow {
                    visible: roleBox.currentIndex !== 2
                    width: parent.width
                    spacing: 6
                    Repeater {
                        id: sourceBoxes
                        model: manager.txlist
                        delegate: deviceCheck
                    }
                }
            }

            // Step 2: the code. Black on white with its quiet zone, whatever the theme:
            // scanners need the contrast.
            Row {
                visible: dialog.showingCode
                spacing: 30
                Rectangle {
                    width: 300
                    height: 300
                    color: "white"
                    Image {
                        objectName: "pairQrImage"
                        anchors.fill: parent
                        fillMode: Image.PreserveAspectFit
                        smooth: false
                        sourceSize: Qt.size(300, 300)
                        // Only a code that still works is there to scan.
                        source: dialog.showingCode && dialog.pairedAs === "" && dialog.secondsLeft > 0
                                ? "image://qr/" + encodeURIComponent(dialog.pairing.link) : ""
                    }
                }
                Column {
                    width: content.width - 330
                    spacing: 14
                    FieldLabel {
                        width: parent.width
                        wrapMode: Text.Wrap
                        text: qsTr("Scan the code with the phone or tablet, or open the address below on it and type the code.")
                    }
                    Text {
                        objectName: "pairCode"
                        text: dialog.showingCode ? dialog.grouped(dialog.pairing.code) : ""
                        textFormat: Text.PlainText
                        color: dialog.pairedAs === "" && dialog.secondsLeft > 0 ? "white" : globalStyle.darkFontColorOnBlack
                        font.family: "Noto Sans Mono, DejaVu Sans Mono, monospace"
                        font.pixelSize: 44
                        font.bold: true
                    }
                    TextEdit {
                        objectName: "pairLink"
                        width: parent.width
                        readOnly: true
                        selectByMouse: true
                        textFormat: TextEdit.PlainText
                        wrapMode: TextEdit.WrapAnywhere
                        text: dialog.showingCode ? dialog.pairing.link.split("#")[0] : ""
                        color: globalStyle.fontColorOnBlack
                        font.pixelSize: globalStyle.normalFontSize
                    }
                    Text {
                        objectName: "pairState"
                        width: parent.width
                        wrapMode: Text.Wrap
                        textFormat: Text.PlainText
                        text: dialog.pairedAs !== "" ? qsTr("Paired as \"%1\". It is in the users list, where it can be revoked.").arg(dialog.pairedAs)
                              : dialog.secondsLeft > 0 ? qsTr("Works once, for %1:%2 more.").arg(Math.floor(dialog.secondsLeft / 60)).arg(("0" + dialog.secondsLeft % 60).slice(-2))
                                                       : qsTr("The code has expired. Make a new one.")
                        color: dialog.pairedAs !== "" ? globalStyle.accent
                               : dialog.secondsLeft > 0 ? "white" : globalStyle.errorTextColor
                        font.pixelSize: globalStyle.normalFontSize
                    }
                }
            }

            Text {
                objectName: "pairError"
                visible: dialog.error !== ""
                width: parent.width
                wrapMode: Text.Wrap
                textFormat: Text.PlainText
                text: dialog.error
                color: globalStyle.errorTextColor
                font.pixelSize: globalStyle.normalFontSize
            }

            Row {
                anchors.right: parent.right
                spacing: 20
                RoundButton {
                    objectName: "pairCreateButton"
                    // Again after the code expired: a new one with the rights chosen before.
                    visible: !dialog.showingCode || (dialog.pairedAs === "" && dialog.secondsLeft === 0)
                    width: 200
                    normalBg: globalStyle.accent
                    normalColor: "black"
                    text: dialog.showingCode ? qsTr("New code") : qsTr("Show the code")
                    onClicked: dialog.createCode()
                }
                RoundButton {
                    objectName: "pairCloseButton"
                    width: 200
                    text: qsTr("Close")
                    onClicked: dialog.finish()
                }
            }
        }
    }

    // A device to tick, for the screens' and the sources' lists alike.
    Component {
        id: deviceCheck
        CheckBox {
            readonly property string deviceName: model.name
            text: model.alias
            font.pixelSize: globalStyle.normalFontSize
            contentItem: Text {
                leftPadding: parent.indicator.width + 6
                textFormat: Text.PlainText
                text: parent.text
                font: parent.font
                color: parent.checked ? "white" : globalStyle.fontColorOnBlack
                verticalAlignment: Text.AlignVCenter
            }
        }
    }
}
