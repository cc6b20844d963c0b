import QtQuick 2.14

Item {
    id: splash

    signal splashStartHide
    signal splashHidden

    // The start screen takes every click while it is shown.
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.AllButtons
        hoverEnabled: true
    }

    Image {
        anchors.fill: parent
        source: "/images/background-splash.png"
    }

    Image {
        id: splashLogo
        anchors.centerIn: parent
        width: 433
        fillMode: Image.PreserveAspectFit
        smooth: true
        mipmap: true
        source: oem.splash
        opacity: 0
        NumberAnimation on opacity {
            from: 0
            to: 1
            duration: 700
            easing.type: Easing.OutQuad
        }
    }

    Timer {
        interval: 1500
        running: true
        onTriggered: {
            splash.splashStartHide();
            fadeOut.start();
        }
    }

    NumberAnimation {
        id: fadeOut
        target: splash
        property: "opacity"
        to: 0
        duration: 500
        easing.type: Easing.InQuad
        onFinished: {
            splash.visible = false;
            hiddenDelay.start();
        }
    }

    Timer {
        id: hiddenDelay
        interval: 100
        onTriggered: splash.splashHidden()
    }
}
