import QtQuick 2.14

Item {
    id: line

    height: 2
    clip: true

    Row {
        spacing: 4
        Repeater {
            model: Math.max(0, Math.ceil(line.width / 6))
            Rectangle {
                width: 2
                height: 2
                color: "#666666"
            }
        }
    }
}
