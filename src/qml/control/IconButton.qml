import QtQuick 2.14

Item {
    id: button

    property url source
    property url pressedSource
    property url disabledSource
    property int iconWidth: 48
    property int iconHeight: 48
    readonly property bool pressed: mouseArea.pressed

    signal clicked

    width: iconWidth
    height: iconHeight

    Image {
        anchors.fill: parent
        source: {
            if (!button.enabled && button.disabledSource.toString() !== "")
                return button.disabledSource;
            if (mouseArea.pressed && button.pressedSource.toString() !== "")
                return button.pressedSource;
            return button.source;
        }
    }

    MouseArea {
        id: mouseArea
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
}
