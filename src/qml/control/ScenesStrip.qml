import QtQuick 2.14
import QtQuick.Controls 2.14

// The saved scenes as a row of large buttons: one tap recalls a scene, the one the screens
// show carries the accent, a recall shows its progress and then what did not confirm.
Rectangle {
    id: strip
    objectName: "scenesStrip"

    readonly property bool showingReport: !scenes.recalling && scenes.failures.length > 0 && !reportDismissed
    property bool reportDismissed: true

    height: scenes.names.length > 0 ? 64 : 0
    visible: height > 0
    radius: 8
    color: "#141418"

    function failedNames() {
        var names = [];
        for (var i = 0; i < scenes.failures.length; ++i)
            names.push(scenes.failures[i].alias);
        return names.join(", ");
    }

    Connections {
        target: scenes
        function onRecallFinished() {
            strip.reportDismissed = false;
            if (scenes.failures.length === 0)
                toast(qsTr("Scene \"%1\" recalled").arg(scenes.recallingScene));
        }
    }

    ListView {
        id: sceneList
        objectName: "sceneButtons"
        anchors.fill: parent
        anchors.margins: 8
        anchors.rightMargin: status.visible ? status.width + 16 : 8
        orientation: ListView.Horizontal
        spacing: 8
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        model: scenes.names
        // In the strip's lower margin, there while some scenes are out of sight.
        ScrollBar.horizontal: ScrollBar {
            objectName: "scenesScrollBar"
            parent: strip
            x: sceneList.x
            y: strip.height - 6
            width: sceneList.width
            policy: sceneList.contentWidth > sceneList.width ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
            contentItem: Rectangle {
                implicitHeight: 4
                radius: 2
                color: globalStyle.accent
            }
        }
        delegate: Rectangle {
            readonly property bool active: modelData === scenes.activeScene
            width: Math.max(140, label.implicitWidth + 40)
            height: sceneList.height
            radius: 8
            color: tap.pressed ? "#26262E" : "#1E1E1E"
            border.width: active ? 3 : 1
            border.color: active ? globalStyle.accent : "#26262E"
            opacity: scenes.recalling && modelData !== scenes.recallingScene ? 0.5 : 1
            Text {
                id: label
                textFormat: Text.PlainText
                anchors.centerIn: parent
                text: modelData
                color: parent.active ? "white" : globalStyle.fontColorOnBlack
                font.pixelSize: globalStyle.normalFontSize
                font.bold: parent.active
            }
            MouseArea {
                id: tap
                anchors.fill: parent
                enabled: !scenes.recalling
                onClicked: {
                    strip.reportDismissed = true;
                    scenes.recallScene(modelData);
                }
            }
        }
    }

    Item {
        id: status
        objectName: "sceneStatus"
        visible: scenes.recalling || strip.showingReport
        anchors.right: parent.right
        anchors.rightMargin: 8
        anchors.verticalCenter: parent.verticalCenter
        width: Math.min(460, strip.width * 0.6)
        height: parent.height - 16

        ProgressBar {
            id: progress
            visible: scenes.recalling
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            from: 0
            to: Math.max(1, scenes.recallTotal)
            value: scenes.recallDone
            background: Rectangle { implicitHeight: 6; color: "#26262E"; radius: 3 }
            contentItem: Item {
                Rectangle {
                    width: progress.visualPosition * parent.width
                    height: parent.height
                    radius: 3
                    color: globalStyle.accent
                }
            }
        }
        Text {
            objectName: "recallProgressText"
            visible: scenes.recalling
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: parent.top
            text: qsTr("Recalling \"%1\": %2 of %3 screens").arg(scenes.recallingScene).arg(scenes.recallDone)
                  .arg(scenes.recallTotal)
            color: globalStyle.fontColorOnBlack
            elide: Text.ElideRight
            font.pixelSize: globalStyle.normalFontSize - 2
        }
        Text {
            objectName: "recallReport"
            visible: strip.showingReport
            anchors.left: parent.left
            anchors.right: retryButton.left
            anchors.rightMargin: 8
            anchors.verticalCenter: parent.verticalCenter
            text: qsTr("Not confirmed: %1").arg(strip.failedNames())
            color: globalStyle.errorTextColor
            elide: Text.ElideRight
            font.pixelSize: globalStyle.normalFontSize - 2
        }
        RoundButton {
            id: retryButton
            objectName: "retryRecall"
            visible: strip.showingReport
            anchors.right: closeReport.left
            anchors.rightMargin: 8
            anchors.verticalCenter: parent.verticalCenter
            width: 100
            height: 40
            text: qsTr("Retry")
            onClicked: scenes.retryRecall()
        }
        RoundButton {
            id: closeReport
            objectName: "closeReport"
            visible: strip.showingReport
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            width: 40
            height: 40
            text: "\u00D7"
            onClicked: strip.reportDismissed = true
        }
    }
}
