import QtQuick 2.14
import Zentrova.Video 1.0
import "../js/checks.js" as Checks

// The picture of the selected decoder or wall, and the drop target for routing to it.
Rectangle {
    id: area

    property int rows: 1
    property int cols: 1
    // With nothing selected there is no screen whose state could be shown.
    property bool hasSelection: true
    readonly property bool videoAvailable: manager.rxsource.videoAvaiable

    signal sourceChanged(string source)

    color: "black"
    border.width: 1
    border.color: "#333333"

    Component.onCompleted: {
        rows = manager.currentVwSize.height;
        cols = manager.currentVwSize.width;
    }

    Connections {
        target: manager
        function onCurrentVwSizeChanged(size) {
            area.rows = size.height;
            area.cols = size.width;
        }
    }

    Grid {
        anchors.centerIn: parent
        rows: area.rows
        columns: area.cols
        Repeater {
            model: area.rows * area.cols
            Item {
                width: grid.cellWidth
                height: grid.cellHeight
                Image {
                    anchors.centerIn: parent
                    width: grid.cellWidth < 240 ? grid.cellWidth / 2 : 120
                    height: grid.cellHeight < 240 ? grid.cellHeight / 2 : 120
                    fillMode: Image.PreserveAspectFit
                    smooth: true
                    source: oem.vw_placeholder
                }
            }
        }
    }

    FrameView {
        id: video
        anchors.centerIn: parent
        width: grid.totalWidth
        height: grid.totalHeight
        visible: area.videoAvailable
        source: manager.rxsource
        fillMode: FrameView.Stretch
        function reportSize() {
            manager.rxsource.size = Qt.size(width, height);
        }
        Component.onCompleted: reportSize()
        onWidthChanged: reportSize()
        onHeightChanged: reportSize()
    }

    VWGrid {
        id: grid
        anchors.fill: parent
        rows: area.rows
        cols: area.cols
    }

    VWOnlineStatus {
        anchors.fill: parent
        visible: area.hasSelection
        rows: area.rows
        cols: area.cols
    }

    // The wall's screens do not all show one source: no single picture would be true.
    Rectangle {
        objectName: "mixedMarker"
        anchors.centerIn: parent
        width: Math.min(parent.width - 40, mixedText.implicitWidth + 40)
        height: mixedText.implicitHeight + 24
        visible: area.hasSelection && manager.currentMixed
        color: "#CC000000"
        border.width: 1
        border.color: "#FFB400"
        radius: 6
        Text {
            id: mixedText
            anchors.fill: parent
            anchors.margins: 12
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            wrapMode: Text.Wrap
            text: qsTr("Mixed: the screens of this wall show different sources")
            color: "#FFB400"
            font.pixelSize: globalStyle.titleFontSize
        }
    }

    // Which source the picture is, so that a drop is seen to have landed on the right one.
    Rectangle {
        objectName: "sourceCaption"
        readonly property string text: manager.currentSourceAlias
        x: 12
        y: 12
        width: Math.min(parent.width - 24, captionText.implicitWidth + 24)
        height: captionText.implicitHeight + 12
        visible: area.hasSelection && text !== "" && !manager.currentMixed
        color: "#CC000000"
        radius: 4
        Text {
            id: captionText
            anchors.fill: parent
            anchors.margins: 6
            anchors.leftMargin: 12
            anchors.rightMargin: 12
            verticalAlignment: Text.AlignVCenter
            textFormat: Text.PlainText
            text: parent.text
            elide: Text.ElideRight
            color: "white"
            font.pixelSize: globalStyle.normalFontSize
        }
    }

    Rectangle {
        anchors.fill: parent
        visible: dropArea.containsDrag
        color: "#40B4E6FF"
        border.width: 3
        border.color: "#804EC4FF"
    }

    DropArea {
        id: dropArea
        anchors.fill: parent
        keys: ["videoSource"]
        onDropped: {
            var txName = Checks.droppedTxName(drop.keys, drop.source);
            if (txName === "")
                return;
            drop.accept();
            area.sourceChanged(txName);
        }
    }

    IconButton {
        anchors.right: parent.right
        anchors.rightMargin: 30
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 30
        iconWidth: 80
        iconHeight: 80
        visible: area.videoAvailable
        source: "qrc:/images/icons/video-source-delete.png"
        pressedSource: "qrc:/images/icons/video-source-delete-press.png"
        onClicked: manager.dropCurrentRxSource()
    }
}
