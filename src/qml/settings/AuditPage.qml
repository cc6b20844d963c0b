import QtQuick 2.14
import QtQuick.Controls 2.14
import "../control"

// Who did what, newest first, behind the admin password: the trail names people and addresses.
Item {
    id: page

    readonly property int pageSize: 100
    property var lines: []
    property int total: 0

    // From the top again: a new line or another filter changes every offset.
    function reload() {
        var found = auditTrail.page(filter.text, 0, pageSize);
        lines = found.lines;
        total = found.total;
    }

    function loadMore() {
        var found = auditTrail.page(filter.text, lines.length, pageSize);
        lines = lines.concat(found.lines);
        total = found.total;
    }

    // "09:14 · reception · route Lobby wall → Lectern PC"; the day too when it is not today.
    function describe(line) {
        var when = new Date(line.time);
        var today = new Date().toDateString() === when.toDateString();
        var stamp = Qt.formatDateTime(when, today ? "HH:mm:ss" : "yyyy-MM-dd HH:mm:ss");
        var who = line.actor === null || line.actor === undefined ? qsTr("unknown") : line.actor;
        if (line.address)
            who += " (" + line.address + ")";
        var what = line.action + (line.target ? " " + line.target : "");
        if (line.outcome !== "ok")
            what += " \u2014 " + qsTr("refused: %1").arg(line.reason ? line.reason : line.outcome);
        else if (typeof line.after === "string" || typeof line.after === "boolean" || typeof line.after === "number")
            what += " \u2192 " + line.after;
        else if (line.after && typeof line.after.source === "string")
            what += " \u2192 " + line.after.source;
        return stamp + " \u00b7 " + who + " \u00b7 " + what;
    }

    readonly property bool unlocked: !manager.locked
    onUnlockedChanged: if (unlocked) reload()
    Component.onCompleted: if (unlocked) reload()

    // A busy controller adds many lines a second; the list follows at most once a second.
    Timer {
        id: follow
        interval: 1000
        onTriggered: if (page.unlocked && list.atYBeginning) page.reload()
    }

    Connections {
        target: auditTrail
        function onAppended() {
            if (!follow.running)
                follow.start();
        }
    }

    LoginPanel {
        visible: manager.locked
        y: 150
        anchors.horizontalCenter: parent.horizontalCenter
        width: Math.min(600, page.width)
        purpose: qsTr("The audit trail is kept behind the admin password.")
    }

    SettingsField {
        id: filter
        objectName: "auditFilter"
        visible: !manager.locked
        width: Math.min(400, page.width - 16)
        height: 50
        errorWidth: 0
        placeholderText: qsTr("Filter by who or what")
        onTextChanged: page.reload()
    }

    Text {
        objectName: "auditCount"
        visible: !manager.locked
        anchors.left: filter.right
        anchors.leftMargin: 16
        anchors.verticalCenter: filter.verticalCenter
        textFormat: Text.PlainText
        text: qsTr("%1 of %2 lines").arg(page.lines.length).arg(page.total)
        color: globalStyle.darkFontColorOnBlack
        font.pixelSize: globalStyle.normalFontSize - 2
    }

    ListView {
        id: list
        objectName: "auditList"
        visible: !manager.locked
        anchors.top: filter.bottom
        anchors.topMargin: 12
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        model: page.lines
        spacing: 4
        ScrollBar.vertical: ScrollBar {
            policy: list.contentHeight > list.height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
            contentItem: Rectangle {
                implicitWidth: 6
                radius: 3
                color: globalStyle.accent
            }
        }
        delegate: Text {
            width: list.width - 16
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
            text: page.describe(modelData)
            // Refusals in the muted red the offline markers use.
            color: modelData.outcome === "ok" ? globalStyle.fontColorOnBlack : "#B04848"
            font.pixelSize: globalStyle.normalFontSize - 2
        }
        footer: Item {
            width: list.width
            height: more.visible ? more.height + 16 : 0
            RoundButton {
                id: more
                objectName: "auditMore"
                y: 16
                visible: page.lines.length < page.total
                width: 200
                text: qsTr("Older lines")
                onClicked: page.loadMore()
            }
        }
    }
}
