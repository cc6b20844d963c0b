import QtQuick 2.14
import QtQuick.Controls 2.14
import QtQml.Models 2.14
import "../control"
import "../js/checks.js" as Checks
import "../js/wall.js" as Wall

Item {
    id: page

    readonly property bool canCreate: Wall.canCreate(freeDecoders.count)

    signal showVwWizard(string vwName)

    function createWall() {
        if (!manager.validDisplayName(createDialog.inputText)) {
            createDialog.open(qsTr("The name is too long or holds characters that cannot be shown."));
            return;
        }
        if (Checks.renameVerdict("", createDialog.inputText, manager.deviceAliasExists) === "exists") {
            createDialog.open(qsTr("Name exists, please input again!"));
            return;
        }
        page.showVwWizard(createDialog.inputText);
    }

    DelegateModel {
        id: freeDecoders
        model: manager.purerxlist
        // Only counted, never drawn; without a delegate the count stays 0.
        delegate: Item {}
    }

    RenameDialog {
        id: renameDialog
        title: qsTr("Modify Video Wall Name")
        tips: qsTr("New Name:")
        existsError: qsTr("Name exists, please input again!")
        onRenamed: wallList.currentItem.setAlias(newName)
    }

    ConfirmDialog {
        id: deleteQuestion
        property string guid
        title: qsTr("Confirm")
        onAccepted: manager.deleteVideoWall(guid)
    }

    InputDialog {
        id: createDialog
        title: qsTr("Create new video wall")
        tips: qsTr("Video Wall Name:")
        onAccepted: page.createWall()
    }

    Rectangle {
        id: title
        width: parent.width
        height: 60
        color: "#333333"
        Text {
            anchors.fill: parent
            anchors.leftMargin: 20
            verticalAlignment: Text.AlignVCenter
            text: qsTr("Video wall list")
            color: "#CCCCCC"
            font.pixelSize: globalStyle.headerLabelFontSize
            font.bold: true
        }
    }

    ListView {
        id: wallList
        objectName: "wallList"
        anchors.top: title.bottom
        anchors.topMargin: 1
        width: parent.width
        height: Math.min(contentHeight, parent.height - title.height - footer.height - 2)
        clip: true
        spacing: 1
        boundsBehavior: Flickable.StopAtBounds
        model: manager.vwlist
        ScrollIndicator.vertical: ScrollIndicator {}

        delegate: Rectangle {
            id: row
            readonly property bool current: ListView.isCurrentItem
            width: wallList.width
            height: 60
            color: current ? "#808080" : "#333333"

            function setAlias(text) {
                model.alias = text;
            }

            MouseArea {
                anchors.fill: parent
                onClicked: wallList.currentIndex = index
            }
            Text {
                anchors.fill: parent
                anchors.leftMargin: 20
                anchors.rightMargin: 180
                verticalAlignment: Text.AlignVCenter
                textFormat: Text.PlainText
                text: model.alias
                elide: Text.ElideRight
                color: row.current ? "white" : "#999999"
                font.pixelSize: globalStyle.normalFontSize
            }
            IconButton {
                anchors.right: deleteButton.left
                anchors.rightMargin: 80 - width
                anchors.verticalCenter: parent.verticalCenter
                iconWidth: 40
                iconHeight: 40
                source: "qrc:/images/icons/edit.png"
                pressedSource: "qrc:/images/icons/edit-press.png"
                onClicked: {
                    wallList.currentIndex = index;
                    renameDialog.start(model.alias);
                }
            }
            IconButton {
                id: deleteButton
                objectName: "deleteWallButton"
                anchors.right: parent.right
                anchors.rightMargin: 40
                anchors.verticalCenter: parent.verticalCenter
                iconWidth: 40
                iconHeight: 40
                source: "qrc:/images/icons/delete.png"
                pressedSource: "qrc:/images/icons/delete-press.png"
                onClicked: {
                    wallList.currentIndex = index;
                    deleteQuestion.guid = model.guid;
                    deleteQuestion.tips = qsTr("Are you sure to delete the video wall \"%1\" ?").arg(model.alias);
                    deleteQuestion.open();
                }
            }
        }
    }

    Rectangle {
        id: footer
        objectName: "createWallRow"
        anchors.top: wallList.bottom
        anchors.topMargin: 1
        width: parent.width
        height: 60
        color: createMouse.pressed ? "#26262E" : "#333333"
        Text {
            textFormat: Text.PlainText
            anchors.fill: parent
            anchors.leftMargin: 20
            anchors.rightMargin: 20
            verticalAlignment: Text.AlignVCenter
            text: "+  " + qsTr("Create new video wall")
            color: page.canCreate ? "#999999" : "#666666"
            font.pixelSize: globalStyle.normalFontSize
        }
        // A wall needs two decoders that are in no wall yet; without them the wizard could not finish.
        Text {
            objectName: "createWallHint"
            anchors.right: parent.right
            anchors.rightMargin: 20
            anchors.verticalCenter: parent.verticalCenter
            visible: !page.canCreate
            text: qsTr("Two decoders outside any wall are needed.")
            color: "#666666"
            font.pixelSize: globalStyle.normalFontSize - 2
        }
        MouseArea {
            id: createMouse
            anchors.fill: parent
            enabled: page.canCreate
            cursorShape: Qt.PointingHandCursor
            onClicked: createDialog.open()
        }
    }
}
