import QtQuick 2.14
import "control"

Item {
    id: header
    // Shorter where the window is: the lists below need the height more than the logo needs air.
    property bool compact: false
    readonly property int edge: compact ? 20 : 40

    width: 800
    height: compact ? 90 : 140

    signal optionsClicked
    signal displayOnClicked
    signal displayOffClicked

    Image {
        x: 70
        y: header.edge
        width: 248
        height: 48
        fillMode: Image.PreserveAspectFit
        horizontalAlignment: Image.AlignLeft
        smooth: true
        mipmap: true
        source: oem.logo
    }

    IconButton {
        id: optionsButton
        objectName: "optionsButton"
        anchors.top: parent.top
        anchors.topMargin: header.edge
        anchors.right: parent.right
        anchors.rightMargin: 40
        source: "qrc:/images/icons/setting.png"
        pressedSource: "qrc:/images/icons/setting-press.png"
        onClicked: header.optionsClicked()
    }

    IconButton {
        id: displayOnButton
        objectName: "displayOnButton"
        anchors.verticalCenter: optionsButton.verticalCenter
        anchors.right: optionsButton.left
        anchors.rightMargin: 80
        iconWidth: 62
        iconHeight: 49
        source: "qrc:/images/icons/displayon.png"
        pressedSource: "qrc:/images/icons/displayon-press.png"
        onClicked: header.displayOnClicked()
    }

    IconButton {
        anchors.verticalCenter: optionsButton.verticalCenter
        anchors.right: displayOnButton.left
        anchors.rightMargin: 80
        iconWidth: 62
        iconHeight: 49
        source: "qrc:/images/icons/displayoff.png"
        pressedSource: "qrc:/images/icons/displayoff-press.png"
        onClicked: header.displayOffClicked()
    }
}
