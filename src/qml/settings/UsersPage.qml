import QtQuick 2.14
import QtQuick.Controls 2.14
import "../control"

// Who may use the control API and the web remote, behind the admin password: whoever opens
// this page hands out control of the screens.
Item {
    id: page

    // users.list as the service answers it, the first admin first.
    property var users: []
    // The screens (walls, decoders outside walls) and sources there are now: [{name, alias}].
    property var screenChoices: []
    property var sourceChoices: []
    // The form: the user it changes ("" while it adds one), and what it holds.
    property bool editing: false
    property string editedName: ""
    property var chosenScreens: []
    property var chosenSources: []
    property string formError: ""
    readonly property var roleNames: ["viewer", "operator", "admin"]
    readonly property var roleWords: [qsTr("Viewer"), qsTr("Operator"), qsTr("Admin")]

    function refresh() {
        var listed = remoteApi.command("users.list", {});
        page.users = listed.ok ? listed.result : [];
        var state = remoteApi.command("state", {});
        if (!state.ok)
            return;
        var screens = state.result.walls.map(function (wall) { return { "name": wall.name, "alias": wall.alias }; });
        state.result.decoders.forEach(function (decoder) {
            if (!decoder.wall)
                screens.push({ "name": decoder.name, "alias": decoder.alias });
        });
        page.screenChoices = screens;
        page.sourceChoices = state.result.encoders.map(function (encoder) {
            return { "name": encoder.name, "alias": encoder.alias };
        });
    }

    // Device names as the user knows them; a device that is gone keeps its name.
    function aliases(names, choices) {
        return names.map(function (name) {
            for (var i = 0; i < choices.length; ++i) {
                if (choices[i].name === name)
                    return choices[i].alias;
            }
            return name;
        }).join(", ");
    }

    function roleText(role) {
        return page.roleWords[page.roleNames.indexOf(role)] || role;
    }

    function screensText(user) {
        return user.screens.length === 0 ? qsTr("All screens") : aliases(user.screens, page.screenChoices);
    }

    function sourcesText(user) {
        return user.sources.length === 0 ? "" : qsTr("Sources: %1").arg(aliases(user.sources, page.sourceChoices));
    }

    function signInText(user) {
        if (!user.last_sign_in)
            return qsTr("Never signed in");
        return qsTr("%1 from %2").arg(Qt.formatDateTime(new Date(user.last_sign_in), "yyyy-MM-dd HH:mm"))
            .arg(user.last_address || "?");
    }

    // What there is to choose from, and a chosen device that is gone, so that it can be let go.
    function withChosen(choices, chosen) {
        var out = choices.slice();
        chosen.forEach(function (name) {
            if (!out.some(function (choice) { return choice.name === name; }))
                out.push({ "name": name, "alias": name });
        });
        return out;
    }

    function toggled(list, name) {
        var out = list.slice();
        var at = out.indexOf(name);
        if (at >= 0)
            out.splice(at, 1);
        else
            out.push(name);
        return out;
    }

    function openForm(user) {
        page.editedName = user ? user.name : "";
        nameField.text = user ? user.name : "";
        roleChoice.currentIndex = user ? page.roleNames.indexOf(user.role) : 0;
        page.chosenScreens = user ? user.screens.slice() : [];
        page.chosenSources = user ? user.sources.slice() : [];
        page.formError = "";
        page.editing = true;
    }

    function saveUser() {
        var name = nameField.text.trim();
        if (name === "") {
            page.formError = qsTr("Type a name for the user.");
            return;
        }
        var admin = page.roleNames[roleChoice.currentIndex] === "admin";
        var params = { "name": name, "role": page.roleNames[roleChoice.currentIndex],
                       "screens": admin ? [] : page.chosenScreens, "sources": admin ? [] : page.chosenSources };
        var answer = remoteApi.command(page.editedName === "" ? "users.add" : "users.change", params);
        if (!answer.ok) {
            page.formError = answer.error;
            return;
        }
        page.editing = false;
        if (page.editedName === "")
            credentialDialog.present(name, answer.result.credential);
        else
            toast(qsTr("User \"%1\" changed: their connections were ended.").arg(name));
        page.report(answer.result.note);
    }

    // A change made but not written to disk holds until the controller stops: said plainly.
    function report(note) {
        if (note)
            toast(note);
    }

    function ask(text, action) {
        question.tips = text;
        question.action = action;
        question.open();
    }

    function revoke(name) {
        ask(qsTr("Revoke the user \"%1\"? Their credential stops working and their connections end now.").arg(name),
            function () {
                var answer = remoteApi.command("users.revoke", { "name": name });
                if (!answer.ok) {
                    toast(answer.error);
                    return;
                }
                page.report(answer.result.note);
            });
    }

    function newCredential(name) {
        ask(qsTr("Make a new credential for \"%1\"? The current one stops working and its connections end.").arg(name),
            function () {
                var answer = remoteApi.command("users.credential", { "name": name });
                if (!answer.ok) {
                    toast(answer.error);
                    return;
                }
                credentialDialog.present(name, answer.result.credential);
                page.report(answer.result.note);
            });
    }

    Component.onCompleted: refresh()

    // Whoever changed the users, here or over the API, and every sign-in.
    Connections {
        target: remoteApi
        function onUsersChanged() {
            page.refresh();
        }
    }

    ConfirmDialog {
        id: question
        property var action: null
        title: qsTr("Attention")
        onAccepted: action()
    }

    // Shown once, right after it is made; the dialog forgets it when it closes.
    AddDeviceDialog {
        id: addDeviceDialog
    }

    SecretDialog {
        id: credentialDialog
        function present(name, credential) {
            title = qsTr("Credential of \"%1\"").arg(name);
            show(credential);
        }
        warning: qsTr("Copy the credential now: it is shown only this once. The user signs in with it.")
    }

    LoginPanel {
        visible: manager.locked
        y: 150
        anchors.horizontalCenter: parent.horizontalCenter
        width: Math.min(600, page.width)
        purpose: qsTr("The users of the control API and the web remote are kept behind the admin password.")
    }

    // The header: what the page is, and the buttons that add to it.
    Row {
        id: header
        objectName: "usersHeader"
        visible: !manager.locked
        width: parent.width
        height: 60
        spacing: 20
        FieldLabel {
            width: parent.width - addUserButton.width - addDeviceButton.width - 2 * parent.spacing
            height: parent.height
            text: page.editing ? (page.editedName === "" ? qsTr("New user") : qsTr("Change \"%1\"").arg(page.editedName))
                               : qsTr("Users of the control API and the web remote")
            color: globalStyle.fontColorOnBlack
            elide: Text.ElideRight
        }
        RoundButton {
            id: addUserButton
            objectName: "addUserButton"
            anchors.verticalCenter: parent.verticalCenter
            visible: !page.editing
            width: 170
            text: qsTr("Add user")
            onClicked: page.openForm(null)
        }
        // A phone or tablet pairs by scanning a code: no credential to type.
        RoundButton {
            id: addDeviceButton
            objectName: "addDeviceButton"
            anchors.verticalCenter: parent.verticalCenter
            visible: !page.editing
            width: 170
            enabled: remoteApi.running
            text: qsTr("Add a device")
            onClicked: addDeviceDialog.start()
        }
    }

    ListView {
        id: list
        objectName: "userRows"
        visible: !manager.locked && !page.editing
        anchors.top: header.bottom
        anchors.topMargin: 12
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        clip: true
        spacing: 8
        boundsBehavior: Flickable.StopAtBounds
        model: page.users
        ScrollBar.vertical: ScrollBar {}
        delegate: Rectangle {
            readonly property bool firstAdmin: index === 0
            width: list.width - 12
            height: 84
            radius: 4
            color: "#141418"
            Column {
                anchors.left: parent.left
                anchors.leftMargin: 20
                anchors.right: buttons.left
                anchors.rightMargin: 12
                anchors.verticalCenter: parent.verticalCenter
                spacing: 4
                Text {
                    objectName: "userName"
                    width: parent.width
                    textFormat: Text.PlainText
                    text: modelData.name + "  \u00B7  " + page.roleText(modelData.role)
                    color: "white"
                    elide: Text.ElideRight
                    font.pixelSize: globalStyle.normalFontSize
                }
                Text {
                    objectName: "userScreens"
                    width: parent.width
                    textFormat: Text.PlainText
                    text: [page.screensText(modelData), page.sourcesText(modelData)].filter(Boolean).join("  \u00B7  ")
                    color: globalStyle.fontColorOnBlack
                    elide: Text.ElideRight
                    font.pixelSize: globalStyle.normalFontSize - 4
                }
                Text {
                    objectName: "userSignIn"
                    width: parent.width
                    textFormat: Text.PlainText
                    text: page.signInText(modelData)
                    color: globalStyle.darkFontColorOnBlack
                    elide: Text.ElideRight
                    font.pixelSize: globalStyle.normalFontSize - 4
                }
            }
            // The first admin holds the token: it stays an admin of everything and is never
            // revoked, only given a new credential.
            Row {
                id: buttons
                anchors.right: parent.right
                anchors.rightMargin: 12
                anchors.verticalCenter: parent.verticalCenter
                spacing: 12
                RoundButton {
                    objectName: "changeUserButton"
                    visible: !firstAdmin
                    width: 120
                    height: 44
                    text: qsTr("Change")
                    onClicked: page.openForm(modelData)
                }
                RoundButton {
                    objectName: "credentialButton"
                    width: 190
                    height: 44
                    text: qsTr("New credential")
                    onClicked: page.newCredential(modelData.name)
                }
                RoundButton {
                    objectName: "revokeButton"
                    visible: !firstAdmin
                    width: 120
                    height: 44
                    normalBg: "#941E23"
                    text: qsTr("Revoke")
                    onClicked: page.revoke(modelData.name)
                }
            }
        }
    }

    Flickable {
        id: form
        objectName: "userForm"
        visible: !manager.locked && page.editing
        anchors.top: header.bottom
        anchors.topMargin: 12
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        contentHeight: formColumn.height
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {}

        Column {
            id: formColumn
            width: form.width - 16
            spacing: 12

            Row {
                spacing: 20
                SettingsField {
                    id: nameField
                    objectName: "userNameField"
                    width: 320
                    height: 50
                    errorWidth: 0
                    // A user's name is who they are to their sessions: changing it is a new user.
                    enabled: page.editedName === ""
                    placeholderText: qsTr("Name")
                    onTextEdited: page.formError = ""
                }
                ChoiceBox {
                    id: roleChoice
                    objectName: "roleChoice"
                    width: 240
                    model: page.roleWords
                }
            }
            FieldLabel {
                width: formColumn.width
                wrapMode: Text.Wrap
                color: globalStyle.fontColorOnBlack
                font.pixelSize: globalStyle.normalFontSize - 2
                text: [qsTr("A viewer sees the screens and sources and changes nothing."),
                       qsTr("An operator routes, recalls scenes and switches displays, on the screens chosen below."),
                       qsTr("An admin may do everything, users included, on every screen.")][roleChoice.currentIndex]
            }

            FieldLabel {
                visible: roleChoice.currentIndex !== 2
                text: page.chosenScreens.length === 0 ? qsTr("Screens: all (none chosen)") : qsTr("Screens:")
            }
            Flow {
                visible: roleChoice.currentIndex !== 2
                width: formColumn.width
                spacing: 10
                Repeater {
                    objectName: "screenChoices"
                    model: page.withChosen(page.screenChoices, page.chosenScreens)
                    delegate: RoundButton {
                        readonly property bool chosen: page.chosenScreens.indexOf(modelData.name) >= 0
                        width: 200
                        height: 44
                        normalBg: chosen ? globalStyle.accent : "#26262E"
                        normalColor: chosen ? "black" : "white"
                        text: modelData.alias
                        onClicked: page.chosenScreens = page.toggled(page.chosenScreens, modelData.name)
                    }
                }
            }
            FieldLabel {
                visible: roleChoice.currentIndex !== 2
                text: page.chosenSources.length === 0 ? qsTr("Sources: all (none chosen)") : qsTr("Sources:")
            }
            Flow {
                visible: roleChoice.currentIndex !== 2
                width: formColumn.width
                spacing: 10
                Repeater {
                    model: page.withChosen(page.sourceChoices, page.chosenSources)
                    delegate: RoundButton {
                        readonly property bool chosen: page.chosenSources.indexOf(modelData.name) >= 0
                        width: 200
                        height: 44
                        normalBg: chosen ? globalStyle.accent : "#26262E"
                        normalColor: chosen ? "black" : "white"
                        text: modelData.alias
                        onClicked: page.chosenSources = page.toggled(page.chosenSources, modelData.name)
                    }
                }
            }
            Text {
                objectName: "userFormError"
                visible: page.formError !== ""
                width: formColumn.width
                wrapMode: Text.Wrap
                textFormat: Text.PlainText
                text: page.formError
                color: globalStyle.errorTextColor
                font.pixelSize: globalStyle.normalFontSize - 2
            }
            Row {
                spacing: 20
                RoundButton {
                    objectName: "saveUserButton"
                    width: 200
                    normalBg: globalStyle.accent
                    normalColor: "black"
                    text: page.editedName === "" ? qsTr("Add") : qsTr("Save")
                    onClicked: page.saveUser()
                }
                RoundButton {
                    objectName: "cancelUserButton"
                    width: 200
                    text: qsTr("Cancel")
                    onClicked: page.editing = false
                }
            }
        }
    }
}
