import QtQuick 2.14

// Notes where a press lands in the window and lets it through to what lies below, so that a
// notice can keep away from the control that was just pressed. A modal pop-up blocks presses
// to what is outside it: each layer that takes presses has its own watch.
MouseArea {
    objectName: "pressWatch"
    anchors.fill: parent
    z: 1000
    acceptedButtons: Qt.AllButtons
    onPressed: {
        lastPress = mapToItem(null, mouse.x, mouse.y);
        mouse.accepted = false;
    }
}
