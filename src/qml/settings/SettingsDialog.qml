import QtQuick 2.14
import QtQuick.Controls 2.14
import "../control"

Item {
    id: dialog

    readonly property bool compact: width <= 1400
    property string currentTitle

    signal closeButtonClicked
    signal showVwWizardDialog(string vwName)

    function active() {
        pageLoader.active = true;
    }

    // The page is made afresh the next time the dialog is shown.
    function unload() {
        pageLoader.active = false;
    }

    function onShowVwWizard(vwName) {
        dialog.showVwWizardDialog(vwName);
    }

    readonly property var entries: [
        { "title": qsTr("Name and sequencing"), "identifier": "name-and-seq", "page": "NameAndSeqPage.qml",
          "icon": "setting-name-and-sequence", "lockable": false },
        { "title": qsTr("Video Wall Settings"), "identifier": "vw", "page": "VWPage.qml",
          "icon": "setting-videowall", "lockable": false },
        { "title": qsTr("Advanced Settings"), "identifier": "advanced", "page": "AdvancedPage.qml",
          "icon": "setting-advanced", "lockable": true },
        { "title": qsTr("Scenes and Schedules"), "identifier": "scenes", "page": "ScenesPage.qml",
          "icon": "setting-scenes", "lockable": true },
        { "title": qsTr("Users"), "identifier": "users", "page": "UsersPage.qml",
          "icon": "setting-users", "lockable": true },
        { "title": qsTr("Audit Trail"), "identifier": "audit", "page": "AuditPage.qml",
          "icon": "setting-audit", "lockable": true },
        { "title": qsTr("System Information"), "identifier": "system-info", "page": "SystemInfoPage.qml",
          "icon": "setting-system-info", "lockable": false }
    ]

    Rectangle {
        anchors.fill: parent
        anchors.margins: -20
        color: "black"
        // Nothing behind the dialog may be reached while it is open.
        MouseArea {
            anchors.fill: parent
        }
    }

    Item {
        id: titleBar
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.margins: 50
        anchors.topMargin: 30
        height: 100

        Row {
            anchors.verticalCenter: parent.verticalCenter
            spacing: 20
            Image {
                anchors.verticalCenter: parent.verticalCenter
                width: 40
                height: 40
                source: "qrc:/images/icons/setting.png"
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("Settings")
                color: "#CCCCFF"
                font.pixelSize: globalStyle.headerLabelFontSize + 6
            }
            Text {
                textFormat: Text.PlainText
                anchors.verticalCenter: parent.verticalCenter
                anchors.verticalCenterOffset: 2
                visible: dialog.compact
                text: "\u203A  " + dialog.currentTitle
                color: "#BBBBEE"
                font.pixelSize: globalStyle.headerLabelFontSize - 2
            }
        }

        IconButton {
            objectName: "settingsCloseButton"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            source: "qrc:/images/icons/close.png"
            pressedSource: "qrc:/images/icons/close-press.png"
            onClicked: dialog.closeButtonClicked()
        }
    }

    ListView {
        id: navigation
        objectName: "settingsNavigation"
        anchors.top: titleBar.bottom
        anchors.topMargin: 20
        anchors.left: parent.left
        anchors.leftMargin: 50
        anchors.bottom: parent.bottom
        width: dialog.compact ? 140 : 320
        // On a screen too small even for the shortest entries, the last ones are reached by flicking.
        interactive: contentHeight > height
        boundsBehavior: Flickable.StopAtBounds
        clip: true
        keyNavigationEnabled: false
        model: dialog.entries
        onCurrentIndexChanged: {
            var entry = dialog.entries[currentIndex];
            dialog.currentTitle = entry.title;
            pageLoader.source = entry.page;
        }
        delegate: Item {
            id: entry
            readonly property bool current: ListView.isCurrentItem
            width: navigation.width
            // Narrow, as tall as the entries all fit in, down to what an icon over two lines needs.
            height: dialog.compact ? Math.max(72, Math.min(96, Math.floor(navigation.height / navigation.count))) : 65

            Rectangle {
                anchors.fill: parent
                anchors.topMargin: 4
                anchors.bottomMargin: 4
                radius: 6
                color: entry.current ? "#26262E" : "transparent"
            }
            // Narrow, the entry is an icon over a short label; wide, an icon beside its title.
            Image {
                id: icon
                x: dialog.compact ? (parent.width - width) / 2 : 16
                y: dialog.compact ? 12 : (parent.height - height) / 2
                width: 24
                height: 24
                source: "qrc:/images/icons/" + modelData.icon + (entry.current ? "-select" : "") + ".png"
            }
            Text {
                textFormat: Text.PlainText
                objectName: "entryLabel"
                x: dialog.compact ? 6 : icon.x + icon.width + 16
                y: dialog.compact ? icon.y + icon.height + 4 : 0
                width: dialog.compact ? parent.width - 12 : (lockIcon.visible ? lockIcon.x : parent.width) - x - 8
                height: dialog.compact ? parent.height - y - 4 : parent.height
                verticalAlignment: dialog.compact ? Text.AlignTop : Text.AlignVCenter
                horizontalAlignment: dialog.compact ? Text.AlignHCenter : Text.AlignLeft
                text: modelData.title
                wrapMode: dialog.compact ? Text.Wrap : Text.NoWrap
                maximumLineCount: dialog.compact ? 2 : 1
                elide: Text.ElideRight
                color: entry.current ? "white" : dialog.compact ? "#999999" : "#666666"
                lineHeight: dialog.compact ? 0.9 : 1
                font.pixelSize: dialog.compact ? globalStyle.normalFontSize - 3 : globalStyle.normalFontSize
            }
            MouseArea {
                id: entryMouse
                anchors.fill: parent
                hoverEnabled: true
                cursorShape: Qt.PointingHandCursor
                onClicked: navigation.currentIndex = index
                ToolTip.visible: containsMouse
                ToolTip.delay: 500
                ToolTip.text: modelData.lockable && manager.locked ? qsTr("%1 (locked: the admin password opens it)").arg(modelData.title)
                                                                  : modelData.title
            }
            Image {
                id: lockIcon
                objectName: "lockIcon"
                visible: modelData.lockable
                x: dialog.compact ? icon.x + icon.width + 8 : parent.width - width - 10
                y: dialog.compact ? icon.y - 4 : (parent.height - height) / 2
                width: dialog.compact ? 20 : 32
                height: width
                source: manager.locked ? "qrc:/images/icons/lock.png" : "qrc:/images/icons/unlock.png"
                // Beside a narrow entry the padlock would take taps meant for the entry: there
                // it locks only the page already open.
                MouseArea {
                    anchors.fill: parent
                    anchors.margins: dialog.compact ? 0 : -10
                    enabled: !manager.locked && (!dialog.compact || entry.current)
                    cursorShape: Qt.PointingHandCursor
                    onClicked: manager.locked = true
                }
            }
        }
    }

    Rectangle {
        id: separator
        anchors.top: navigation.top
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 30
        anchors.left: navigation.right
        anchors.leftMargin: 20
        width: 3
        color: "#333333"
    }

    Loader {
        id: pageLoader
        objectName: "settingsPageLoader"
        anchors.top: navigation.top
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 30
        anchors.left: separator.right
        anchors.leftMargin: 20
        anchors.right: parent.right
        anchors.rightMargin: dialog.compact ? 30 : 80
        active: false
        onLoaded: {
            if (item.showVwWizard)
                item.showVwWizard.connect(dialog.onShowVwWizard);
        }
    }
}
