import QtQuick 2.14

// A line of text asked for through the window's shared question layer.
QtObject {
    id: dialog

    property string title
    property string tips
    property string inputText
    property string placeHolder: qsTr("Enter a name")

    signal accepted
    signal rejected

    function disconnectLayer() {
        dialogLayer.textInputed.disconnect(onLayerTextInputed);
        dialogLayer.rejected.disconnect(onLayerRejected);
    }

    function onLayerTextInputed(text) {
        disconnectLayer();
        inputText = text;
        dialog.accepted();
    }

    function onLayerRejected() {
        disconnectLayer();
        dialog.rejected();
    }

    function open(initError) {
        dialogLayer.prompt = tips;
        dialogLayer.initialText = inputText;
        dialogLayer.placeholder = placeHolder;
        dialogLayer.inputMode = true;
        dialogLayer.openingError = initError === undefined ? "" : initError;
        dialogLayer.textInputed.connect(onLayerTextInputed);
        dialogLayer.rejected.connect(onLayerRejected);
        dialogLayer.open();
    }
}
