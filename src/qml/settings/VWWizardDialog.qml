import QtQuick 2.14
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

    signal closeButtonClicked

    function open(name) {
        vwName = name;
        selectSizePage.visible = true;
        placeDevicePage.visible = false;
        selectedWidth = 2;
        selectedHeight = 2;
    }

    function next() {
        clearDeviceItems();
        selectSizePage.visible = false;
        placeDevicePage.visible = true;
    }

    function clearDeviceItems() {
        deviceItems = Wall.emptyCells(maxWidth * maxHeight);
    }

    function cleanup() {
        clearDeviceItems();
        selectedWidth = 2;
        selectedHeight = 2;
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
            anchors.fill: parent
            visible: false
            wizard: wizard
        }
    }
}
