import QtQuick 2.14
import QtQuick.Controls 2.14

// The window's only switch. On and off told apart at arm's length: on is lit in the accent,
// off is a dim track with a dim knob.
Switch {
    id: toggle

    indicator: Rectangle {
        x: toggle.leftPadding
        y: (toggle.height - height) / 2
        implicitWidth: 60
        implicitHeight: 32
        radius: height / 2
        color: toggle.checked ? globalStyle.accent : "#26262E"
        border.color: toggle.checked ? globalStyle.accent : "#444450"

        Rectangle {
            x: toggle.checked ? parent.width - width - 4 : 4
            y: 4
            width: parent.height - 8
            height: width
            radius: width / 2
            color: toggle.checked ? "white" : globalStyle.darkFontColorOnBlack
            Behavior on x {
                NumberAnimation { duration: 120 }
            }
        }
    }
}
