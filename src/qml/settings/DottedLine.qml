import QtQuick 2.14

Item {
    height: 2
    clip: true

    Row {
        spacing: 4
        Repeater {
            model: Math.ceil(parent.parent.width / 6)
            Rectangle {
                width: 2
                height: 2
                color: "#666666"
            }
        }
    }
}
