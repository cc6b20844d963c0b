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
    signal healthClicked
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
        id: displayOffButton
        anchors.verticalCenter: optionsButton.verticalCenter
        anchors.right: displayOnButton.left
        anchors.rightMargin: 80
        iconWidth: 62
        iconHeight: 49
        source: "qrc:/images/icons/displayoff.png"
        pressedSource: "qrc:/images/icons/displayoff-press.png"
        onClicked: header.displayOffClicked()
    }

    // The Health page: a pulse line, drawn, as the icon set has none.
    Rectangle {
        id: healthButton
        objectName: "healthButton"
        anchors.verticalCenter: optionsButton.verticalCenter
        anchors.right: displayOffButton.left
        anchors.rightMargin: 80
        width: 62
        height: 44
        radius: 8
        color: healthMouse.pressed ? "#33334A" : "transparent"
        border.color: "#8C8CC8"
        border.width: 2
        Canvas {
            anchors.fill: parent
            anchors.margins: 8
            onPaint: {
                var context = getContext("2d");
                context.strokeStyle = "#CCCCFF";
                context.lineWidth = 3;
                context.beginPath();
                var w = width, h = height;
                context.moveTo(0, h / 2);
                context.lineTo(w * 0.3, h / 2);
                context.lineTo(w * 0.42, 2);
                context.lineTo(w * 0.58, h - 2);
                context.lineTo(w * 0.7, h / 2);
                context.lineTo(w, h / 2);
                context.stroke();
            }
        }
        MouseArea {
            id: healthMouse
            anchors.fill: parent
            onClicked: header.healthClicked()
        }
    }
}
