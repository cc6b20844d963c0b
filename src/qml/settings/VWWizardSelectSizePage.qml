import QtQuick 2.14
import QtQuick.Controls 2.14
import "../control"
import "../js/wall.js" as Wall

Item {
    id: page

    property Item wizard

    function goNext() {
        if (!Wall.sizeAllowed(wizard.selectedHeight, wizard.selectedWidth)) {
            sizeError.visible = true;
            return;
        }
        sizeError.visible = false;
        wizard.next();
    }

    function showSelection() {
        rowsTumbler.currentIndex = wizard.selectedHeight - 1;
        columnsTumbler.currentIndex = wizard.selectedWidth - 1;
    }

    Component.onCompleted: showSelection()
    onVisibleChanged: {
        if (visible)
            sizeError.visible = false;
    }

    Connections {
        target: wizard
        function onSelectedWidthChanged() {
            showSelection();
        }
        function onSelectedHeightChanged() {
            showSelection();
        }
    }

    Text {
        id: title
        width: parent.width
        height: 50
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        textFormat: Text.PlainText
        text: wizard ? wizard.vwName : ""
        elide: Text.ElideRight
        color: "white"
        font.pixelSize: globalStyle.headerLabelFontSize
        font.bold: true
    }

    Item {
        id: preview
        anchors.top: title.bottom
        anchors.topMargin: page.height > 900 ? 30 : 0
        anchors.bottom: topDots.top
        anchors.bottomMargin: 10
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: page.width > 1000 ? 200 : 100
        anchors.rightMargin: page.width > 1000 ? 200 : 100

        Rectangle {
            anchors.centerIn: parent
            width: previewGrid.totalWidth
            height: previewGrid.totalHeight
            color: "#333333"
        }
        VWGrid {
            id: previewGrid
            anchors.fill: parent
            rows: wizard ? wizard.selectedHeight : 2
            cols: wizard ? wizard.selectedWidth : 2
        }
    }

    DottedLine {
        id: topDots
        width: parent.width
        anchors.bottom: stepText.top
    }

    Text {
        id: stepText
        anchors.bottom: bottomDots.top
        width: parent.width
        topPadding: 10
        bottomPadding: 10
        wrapMode: Text.Wrap
        text: qsTr("Step 1:\nPlease set the number of the video wall’s rows and columns, and then click \"Next\".")
        color: "#999999"
        font.pixelSize: globalStyle.normalFontSize
    }

    DottedLine {
        id: bottomDots
        width: parent.width
        anchors.bottom: tumblers.top
        anchors.bottomMargin: 10
    }

    Row {
        id: tumblers
        anchors.bottom: sizeError.top
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 40
        SizeTumbler {
            id: rowsTumbler
            objectName: "rowsTumbler"
            unit: "row"
            height: page.height > 900 ? 260 : 160
            // No more screens than free decoders; the wizard narrows the other choice to fit.
            model: wizard ? Wall.largestFit(1, wizard.freeDecoders, wizard.maxHeight) : 8
            onCurrentIndexChanged: if (wizard) wizard.selectedHeight = currentIndex + 1
        }
        SizeTumbler {
            id: columnsTumbler
            objectName: "columnsTumbler"
            unit: "column"
            height: page.height > 900 ? 260 : 160
            model: wizard ? Wall.largestFit(1, wizard.freeDecoders, wizard.maxWidth) : 8
            onCurrentIndexChanged: if (wizard) wizard.selectedWidth = currentIndex + 1
        }
    }

    Text {
        id: sizeError
        objectName: "sizeError"
        anchors.bottom: nextButton.top
        width: parent.width
        height: 30
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        visible: false
        text: qsTr("1x1  wall creation is not allowed.")
        color: globalStyle.errorTextColor
        font.pixelSize: globalStyle.normalFontSize
    }

    RoundButton {
        id: nextButton
        objectName: "nextButton"
        anchors.bottom: parent.bottom
        // The page reaches the window's edge on small screens; the button keeps off it.
        anchors.bottomMargin: 20
        anchors.horizontalCenter: parent.horizontalCenter
        width: 200
        text: qsTr("Next")
        onClicked: page.goNext()
    }
}
