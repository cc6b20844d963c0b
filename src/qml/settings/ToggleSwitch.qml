import QtQuick 2.14
import QtQuick.Controls 2.14

// On and off told apart at arm's length: the track takes the accent while on.
Switch {
    id: toggle

    indicator: Rectangle {
        x: toggle.leftPadding
        y: (toggle.height - height) / 2
        implicitWidth: 60
        implicitHeight: 32
        radius: height / 2
        color: toggle.checked ? globalStyle.accent : "#26262E"
        border.color: toggle.checked ? globalStyle.accent : globalStyle.darkFontColorOnBlack

        Rectangle {
            x: toggle.checked ? parent.width - width - 4 : 4
            y: 4
            width: parent.height - 8
            height: width
            radius: width / 2
            color: toggle.checked ? "white" : globalStyle.fontColorOnBlack
            Behavior on x {
                NumberAnimation { duration: 120 }
            }
        }
    }
}
