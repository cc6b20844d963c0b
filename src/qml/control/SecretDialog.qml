import QtQuick 2.14
import QtQuick.Controls 2.14
// The program's own RoundButton, not the one of the controls.
import "."

// A secret the program shows only once (a token, a pairing code): large, in its own dialog,
// with a button that copies it. Closed before it was copied, the dialog asks first, and
// once closed it forgets the secret.
Popup {
    id: dialog
    objectName: "secretDialog"

    property string title
    property string secret
    property string warning
    property bool copied: false
    // The question "close without copying?" is up instead of the buttons.
    property bool asking: false

    signal finished

    function show(text) {
        secret = text;
        copied = false;
        asking = false;
        open();
    }

    function copy() {
        secretText.selectAll();
        secretText.copy();
        secretText.deselect();
        copied = true;
        asking = false;
    }

    function requestClose() {
        if (copied)
            finish();
        else
            asking = true;
    }

    function finish() {
        asking = false;
        secret = "";
        close();
        finished();
    }

    parent: Overlay.overlay
    z: 15
    x: Math.round(((parent ? parent.width : 800) - width) / 2)
    y: Math.round(((parent ? parent.height : 600) - height) / 2)
    width: 720
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

    contentItem: Column {
        spacing: 18

        Text {
            width: parent.width
            text: dialog.title
            textFormat: Text.PlainText
            color: "white"
            font.pixelSize: globalStyle.titleFontSize
            font.bold: true
            elide: Text.ElideRight
        }
        Rectangle {
            width: parent.width
            height: secretText.contentHeight + 32
            radius: 6
            color: "black"
            border.color: "#333333"
            TextEdit {
                id: secretText
                objectName: "secretText"
                anchors.centerIn: parent
                width: parent.width - 32
                readOnly: true
                selectByMouse: true
                textFormat: TextEdit.PlainText
                wrapMode: TextEdit.WrapAnywhere
                horizontalAlignment: TextEdit.AlignHCenter
                text: dialog.secret
                color: "white"
                selectionColor: globalStyle.accent
                selectedTextColor: "black"
                font.family: "Noto Sans Mono, DejaVu Sans Mono, monospace"
                font.pixelSize: 26
            }
        }
        Text {
            objectName: "secretWarning"
            width: parent.width
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
            text: dialog.asking ? qsTr("The secret has not been copied. Once this dialog is closed, nobody can show it again.")
                                : dialog.copied ? qsTr("Copied. Keep it where only the people who need it can read it.")
                                                : dialog.warning
            color: dialog.copied && !dialog.asking ? globalStyle.accent : globalStyle.errorTextColor
            font.pixelSize: globalStyle.normalFontSize
        }
        Row {
            anchors.right: parent.right
            spacing: 20
            RoundButton {
                objectName: "secretBackButton"
                visible: dialog.asking
                width: 200
                text: qsTr("Back")
                onClicked: dialog.asking = false
            }
            RoundButton {
                objectName: "secretCloseAnywayButton"
                visible: dialog.asking
                width: 200
                normalBg: "#941E23"
                text: qsTr("Close anyway")
                onClicked: dialog.finish()
            }
            RoundButton {
                objectName: "secretCopyButton"
                visible: !dialog.asking
                width: 200
                normalBg: globalStyle.accent
                normalColor: "black"
                text: dialog.copied ? qsTr("Copy again") : qsTr("Copy")
                onClicked: dialog.copy()
            }
            RoundButton {
                objectName: "secretCloseButton"
                visible: !dialog.asking
                width: 200
                text: qsTr("Close")
                onClicked: dialog.requestClose()
            }
        }
    }
}
