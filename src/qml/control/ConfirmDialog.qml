import QtQuick 2.14

// A question asked through the window's shared question layer.
QtObject {
    id: dialog

    property string title
    property string tips

    signal accepted
    signal rejected

    function disconnectLayer() {
        dialogLayer.accepted.disconnect(onLayerAccepted);
        dialogLayer.rejected.disconnect(onLayerRejected);
    }

    function onLayerAccepted() {
        disconnectLayer();
        dialog.accepted();
    }

    function onLayerRejected() {
        disconnectLayer();
        dialog.rejected();
    }

    function open() {
        dialogLayer.title = title;
        dialogLayer.question = tips;
        dialogLayer.inputMode = false;
        dialogLayer.accepted.connect(onLayerAccepted);
        dialogLayer.rejected.connect(onLayerRejected);
        dialogLayer.open();
    }
}
