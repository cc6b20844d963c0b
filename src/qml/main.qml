import QtQuick 2.14
import QtQuick.Window 2.14

Window {
    id: window
    visible: true
    width: 1280
    height: 800
    title: oem.name
    color: "#1e2229"

    Image {
        anchors.centerIn: parent
        source: oem.splash
    }
}
