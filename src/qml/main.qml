import QtQuick 2.14
import QtQuick.Window 2.14
import QtQuick.Controls 2.14
import "control"
import "settings"
import "js/checks.js" as Checks

ApplicationWindow {
    id: mainWindow
    objectName: "mainWindow"

    readonly property bool tablet: manager.isTabletMode
    // Counts the manager's errors, so that a screen can tell a refusal it explains itself
    // from a failure whose toast is already up.
    property int managerErrors: 0
    // Where the last press landed, in window coordinates (see PressWatch).
    property point lastPress: Qt.point(0, 0)

    visible: true
    title: oem.name
    color: "black"
    minimumWidth: 1024
    minimumHeight: 720
    // A frameless window one pixel taller than the screen keeps its task-bar entry
    // without being treated as full-screen.
    flags: tablet ? (Qt.Window | Qt.FramelessWindowHint) : Qt.Window
    width: tablet ? Screen.width : 1024
    height: tablet ? Screen.height + 1 : 720

    Component.onCompleted: {
        x = tablet ? 0 : (Screen.width - width) / 2;
        y = tablet ? 0 : (Screen.height - height) / 2;
    }

    Style {
        id: globalStyle
    }

    function toast(text) {
        console.log("toast", text);
        toastAnimation.stop();
        toastLayer.text = text;
        toastLayer.atBottom = lastPress.y < mainWindow.height / 2;
        toastLayer.visible = true;
        toastAnimation.start();
    }

    function startSearch() {
        popupStack.open();
        retrySearch();
    }

    function retrySearch() {
        popupShowOnly(searchIndicator);
        manager.startDiscovery(true);
        searchTimer.restart();
    }

    function searchFinished() {
        if (manager.deviceFound() < 1) {
            popupShowOnly(searchFailedDialog);
        } else {
            popupStack.close();
            manager.startDiscovery(false);
        }
    }

    function enterDemoMode() {
        popupStack.close();
        manager.enterDemoMode();
    }

    function popupShowOnly(item) {
        var panels = [searchIndicator, searchFailedDialog, settingsDialog, vwWizardDialog, healthPage];
        for (var i = 0; i < panels.length; ++i)
            panels[i].visible = false;
        if (item) {
            item.visible = true;
            if (item === settingsDialog)
                settingsDialog.active();
        }
    }

    function showOptions() {
        popupShowOnly(settingsDialog);
        popupStack.open();
    }

    // Nothing typed into the settings outlives the dialog, nor does the unlock.
    function hideOptions() {
        popupShowOnly(null);
        popupStack.close();
        settingsDialog.unload();
        manager.locked = true;
    }

    // The wizard itself shows the on-screen numbers while it is visible.
    function showVwWizrd(vwName) {
        popupShowOnly(vwWizardDialog);
        vwWizardDialog.open(vwName);
        manager.sortRxBySeq();
    }

    function showHealth() {
        popupShowOnly(healthPage);
        popupStack.open();
    }

    function hideHealth() {
        popupShowOnly(null);
        popupStack.close();
    }

    function hideVwWizard() {
        popupShowOnly(settingsDialog);
    }

    // The decoders would go on showing their numbers after the program has gone: the wizard
    // goes first, and the window closes once the decoders have had a moment to hear it.
    onClosing: {
        if (!vwWizardDialog.visible)
            return;
        close.accepted = false;
        hideVwWizard();
        closeDelay.start();
    }

    Timer {
        id: closeDelay
        interval: 1000
        onTriggered: mainWindow.close()
    }

    Image {
        anchors.fill: parent
        source: "/images/background.png"
        // A smooth gradient looks the same unfiltered, and filtering the whole window again for
        // every video frame was a third of what the window cost drawn in software.
        smooth: false
    }

    MainFrame {
        id: mainFrame
        anchors.fill: parent
        visible: false
        onOptionsClicked: showOptions()
        onHealthClicked: showHealth()
    }

    PressWatch {}

    Splash {
        anchors.fill: parent
        onSplashHidden: {
            mainFrame.visible = true;
            // Started with --demo: the devices are already there, nothing to search for.
            if (!manager.demoMode)
                startSearch();
        }
    }

    Timer {
        id: searchTimer
        interval: 3000
        onTriggered: searchFinished()
    }

    Connections {
        target: manager
        function onErrorOccured(errorText) {
            ++managerErrors;
            toast(errorText);
        }
    }

    Popup {
        id: popupStack
        objectName: "popupStack"
        parent: Overlay.overlay
        x: 0
        y: 0
        width: mainWindow.width
        height: mainWindow.height
        padding: 20
        modal: true
        closePolicy: Popup.NoAutoClose
        Overlay.modal: Item {}
        background: Item {}
        enter: Transition {
            NumberAnimation { property: "opacity"; from: 0; to: 1; duration: 200; easing.type: Easing.InOutQuad }
        }
        exit: Transition {
            NumberAnimation { property: "opacity"; from: 1; to: 0; duration: 200; easing.type: Easing.InOutQuad }
        }

        // Over the middle of the video area, where the devices it finds will show.
        DeviceSearchIndicator {
            id: searchIndicator
            objectName: "searchIndicator"
            x: mainFrame.videoCentre.x - popupStack.leftPadding - width / 2
            y: mainFrame.videoCentre.y - popupStack.topPadding - height / 2
            visible: false
        }
        SearchFailedDialog {
            id: searchFailedDialog
            anchors.centerIn: parent
            visible: false
            onDemoButtonClicked: enterDemoMode()
            onRetryButtonClicked: retrySearch()
        }
        PressWatch {}
        SettingsDialog {
            id: settingsDialog
            anchors.fill: parent
            visible: false
            onCloseButtonClicked: hideOptions()
            onShowVwWizardDialog: showVwWizrd(vwName)
        }
        HealthPage {
            id: healthPage
            anchors.fill: parent
            visible: false
            onCloseButtonClicked: hideHealth()
        }
        VWWizardDialog {
            id: vwWizardDialog
            objectName: "vwWizardDialog"
            anchors.fill: parent
            visible: false
            onCloseButtonClicked: hideVwWizard()
        }
    }

    // The question and input box shared by every screen.
    Popup {
        id: dialogLayer
        objectName: "dialogLayer"

        property bool inputMode: false
        property string title
        property string question
        property string prompt
        property string initialText
        property string placeholder
        property bool allowEmpty: false
        property string openingError

        signal accepted
        signal rejected
        signal textInputed(string text)

        function acceptInput() {
            var text = Checks.acceptedInput(inputField.text, allowEmpty);
            if (text === null) {
                inputError.text = qsTr("The input content must not be empty.");
                return;
            }
            close();
            textInputed(text);
        }

        function acceptConfirm() {
            close();
            accepted();
        }

        function reject() {
            close();
            rejected();
        }

        parent: Overlay.overlay
        z: 10
        x: (mainWindow.width - width) / 2
        y: inputMode ? 200 : (mainWindow.height - height) / 2
        width: 600
        height: 220
        padding: 0
        modal: true
        closePolicy: Popup.NoAutoClose
        Overlay.modal: Rectangle {
            color: "#C0000000"
        }
        background: Rectangle {
            color: "white"
            radius: 15
        }
        onAboutToShow: {
            inputField.text = initialText;
            inputError.text = openingError;
        }
        onOpened: {
            if (inputMode)
                inputField.forceActiveFocus();
        }

        PressWatch {}
        Text {
            visible: !dialogLayer.inputMode
            y: 20
            width: 500
            anchors.horizontalCenter: parent.horizontalCenter
            horizontalAlignment: Text.AlignHCenter
            textFormat: Text.PlainText
            text: dialogLayer.title
            font.pixelSize: globalStyle.titleFontSize
            font.weight: Font.Black
            elide: Text.ElideRight
        }
        Text {
            visible: !dialogLayer.inputMode
            y: 60
            width: 500
            anchors.horizontalCenter: parent.horizontalCenter
            horizontalAlignment: Text.AlignHCenter
            textFormat: Text.PlainText
            text: dialogLayer.question
            font.pixelSize: globalStyle.normalFontSize
            font.bold: true
            wrapMode: Text.Wrap
            maximumLineCount: 3
            elide: Text.ElideRight
        }
        Row {
            id: inputRow
            visible: dialogLayer.inputMode
            y: 40
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 15
            Text {
                anchors.verticalCenter: parent.verticalCenter
                textFormat: Text.PlainText
                text: dialogLayer.prompt
                font.pixelSize: globalStyle.normalFontSize
                font.bold: true
            }
            TextEntry {
                id: inputField
                width: 300
                placeholderText: dialogLayer.placeholder
                onAccepted: dialogLayer.acceptInput()
            }
        }
        Text {
            id: inputError
            visible: dialogLayer.inputMode
            anchors.top: inputRow.bottom
            anchors.topMargin: 10
            anchors.horizontalCenter: parent.horizontalCenter
            textFormat: Text.PlainText
            color: globalStyle.errorTextColor
            font.pixelSize: globalStyle.normalFontSize
        }
        Row {
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 40
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 50
            RoundButton {
                width: 150
                height: 40
                normalBg: globalStyle.darkFontColorOnBlack
                text: qsTr("Cancel")
                onClicked: dialogLayer.reject()
            }
            RoundButton {
                objectName: "dialogOkButton"
                width: 150
                height: 40
                normalBg: globalStyle.darkFontColorOnBlack
                text: qsTr("OK")
                onClicked: dialogLayer.inputMode ? dialogLayer.acceptInput() : dialogLayer.acceptConfirm()
            }
        }
    }

    // Above everything, yet it takes no clicks: what lies under it stays usable. It keeps
    // clear of the header and wraps a long message instead of running off the window; it
    // shows in the half of the window away from the last press, and stands out on black.
    Rectangle {
        id: toastLayer
        objectName: "toastLayer"
        property alias text: toastText.text
        property bool atBottom: false

        parent: Overlay.overlay
        z: 20
        visible: false
        // Measured apart from the wrapped text, whose width follows the pill's.
        width: Math.min(Math.ceil(toastMetrics.advanceWidth) + 100, mainWindow.width - 200)
        height: Math.max(50, toastText.contentHeight + 24)
        x: (mainWindow.width - width) / 2
        y: atBottom ? mainWindow.height - height - 40 : mainFrame.headerHeight + 10
        color: "#2E2E3A"
        border.width: 2
        border.color: globalStyle.accent
        radius: 25

        TextMetrics {
            id: toastMetrics
            font: toastText.font
            text: toastText.text
        }
        Text {
            id: toastText
            anchors.centerIn: parent
            width: parent.width - 60
            horizontalAlignment: Text.AlignHCenter
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            color: "white"
            font.bold: true
            font.pixelSize: globalStyle.normalFontSize
        }
        SequentialAnimation {
            id: toastAnimation
            NumberAnimation { target: toastLayer; property: "opacity"; from: 0; to: 1; duration: 200; easing.type: Easing.InQuad }
            PauseAnimation { duration: 3300 }
            NumberAnimation { target: toastLayer; property: "opacity"; to: 0; duration: 500 }
            ScriptAction { script: toastLayer.visible = false }
        }
    }
}
