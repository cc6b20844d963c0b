import QtQuick 2.14
import QtQml.Models 2.14
import "../control"
import "../js/wall.js" as Wall

Item {
    id: wizard

    property string vwName
    readonly property int maxWidth: manager.vwMaxColumns
    readonly property int maxHeight: manager.vwMaxRows
    property int selectedWidth: 2
    property int selectedHeight: 2
    property var deviceItems: Wall.emptyCells(maxWidth * maxHeight)
    readonly property int freeDecoders: freeDecoderList.count

    signal closeButtonClicked

    // A size the free decoders cannot fill is never selected: more rows make fewer columns.
    onSelectedHeightChanged: {
        if (selectedHeight * selectedWidth > freeDecoders)
            selectedWidth = Wall.largestFit(selectedHeight, freeDecoders, maxWidth);
    }
    onSelectedWidthChanged: {
        if (selectedHeight * selectedWidth > freeDecoders)
            selectedHeight = Wall.largestFit(selectedWidth, freeDecoders, maxHeight);
    }

    function open(name) {
        vwName = name;
        selectSizePage.visible = true;
        placeDevicePage.visible = false;
        selectStartSize();
    }

    function next() {
        clearDeviceItems();
        selectSizePage.visible = false;
        placeDevicePage.visible = true;
    }

    // Back to the size, which stays as chosen.
    function back() {
        placeDevicePage.visible = false;
        selectSizePage.visible = true;
    }

    function selectStartSize() {
        var size = Wall.startSize(freeDecoders);
        selectedWidth = size.columns;
        selectedHeight = size.rows;
    }

    function clearDeviceItems() {
        deviceItems = Wall.emptyCells(maxWidth * maxHeight);
    }

    function cleanup() {
        clearDeviceItems();
        selectStartSize();
    }

    DelegateModel {
        id: freeDecoderList
        model: manager.purerxlist
        // Only counted, never drawn; without a delegate the count stays 0.
        delegate: Item {}
    }

    // The decoders show their numbers exactly while the wizard is on screen, however it closes.
    onVisibleChanged: visible ? manager.osdShowSeq() : manager.osdHideSeq()

    // Covers the pop-up's padding too, so nothing of the main screen shows around it.
    Rectangle {
        anchors.fill: parent
        anchors.margins: -20
        color: "black"
        MouseArea {
            anchors.fill: parent
        }
    }

    IconButton {
        id: closeButton
        objectName: "wizardCloseButton"
        anchors.top: parent.top
        anchors.topMargin: 20
        anchors.right: parent.right
        anchors.rightMargin: 20
        source: "qrc:/images/icons/close.png"
        pressedSource: "qrc:/images/icons/close-press.png"
        onClicked: wizard.closeButtonClicked()
    }

    Item {
        id: pageArea
        anchors.top: closeButton.bottom
        anchors.bottom: parent.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.topMargin: wizard.height > 900 ? 30 : -20
        anchors.bottomMargin: wizard.height > 900 ? 30 : -20
        anchors.leftMargin: wizard.width > 1400 ? 200 : 100
        anchors.rightMargin: wizard.width > 1400 ? 200 : 100

        VWWizardSelectSizePage {
            id: selectSizePage
            anchors.fill: parent
            wizard: wizard
        }

        VWWizrdPlaceDevicePage {
            id: placeDevicePage
            objectName: "placeDevicePage"
            anchors.fill: parent
            visible: false
            wizard: wizard
        }
    }
}
