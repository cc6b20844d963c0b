import QtQuick 2.14
import "control"

// Every encoder and decoder, worst first, with its last day at a glance, and the controller's
// own figures. Looking is harmless: nothing here changes the installation, so nothing locks it.
Item {
    id: page
    objectName: "healthPage"

    signal closeButtonClicked

    property var devices: []
    readonly property var figures: health.controller
    readonly property int nameWidth: Math.min(260, width * 0.24)
    readonly property int figuresWidth: Math.min(270, width * 0.27)

    function refresh() {
        devices = health.devices();
    }

    function percent(share) {
        return share < 0 ? "–" : (Math.floor(share * 1000) / 10).toFixed(1) + " %";
    }

    function milliseconds(value) {
        return value < 0 ? "–" : value + " ms";
    }

    onVisibleChanged: if (visible) refresh()

    // The page follows the record while it is open; the record itself never waits for it.
    Timer {
        interval: 5000
        repeat: true
        running: page.visible
        onTriggered: page.refresh()
    }

    Rectangle {
        anchors.fill: parent
        anchors.margins: -20
        color: "black"
        MouseArea {
            anchors.fill: parent
        }
    }

    Item {
        id: titleBar
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.margins: 30
        anchors.topMargin: 10
        height: 70

        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: qsTr("Health")
            color: "#CCCCFF"
            font.pixelSize: globalStyle.headerLabelFontSize + 6
        }

        // The file for support, written into the home folder; where it went is shown beside.
        Text {
            id: supportResult
            textFormat: Text.PlainText
            objectName: "supportResult"
            anchors.right: supportButton.left
            anchors.rightMargin: 16
            anchors.verticalCenter: parent.verticalCenter
            width: Math.min(implicitWidth, titleBar.width - supportButton.width - 320)
            elide: Text.ElideLeft
            color: globalStyle.fontColorOnBlack
            font.pixelSize: 14
        }
        Rectangle {
            id: supportButton
            objectName: "supportButton"
            anchors.right: closeButton.left
            anchors.rightMargin: 30
            anchors.verticalCenter: parent.verticalCenter
            width: supportText.implicitWidth + 32
            height: 40
            radius: 6
            color: supportMouse.pressed ? "#33334A" : "#26262E"
            border.color: "#8C8CC8"
            Text {
                id: supportText
                anchors.centerIn: parent
                text: qsTr("File for support")
                color: "#CCCCFF"
                font.pixelSize: globalStyle.normalFontSize - 2
            }
            MouseArea {
                id: supportMouse
                anchors.fill: parent
                onClicked: {
                    var written = diagnostics.writeToHome();
                    supportResult.text = written ? qsTr("Written to %1").arg(written)
                                                 : qsTr("Not written: %1").arg(diagnostics.lastError());
                }
            }
        }

        IconButton {
            id: closeButton
            objectName: "healthCloseButton"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            source: "qrc:/images/icons/close.png"
            pressedSource: "qrc:/images/icons/close-press.png"
            onClicked: page.closeButtonClicked()
        }
    }

    function mebibytes(bytes) {
        return bytes < 0 ? "–" : qsTr("%1 MiB").arg(Math.round(bytes / 1048576));
    }

    // The controller's own figures, in one line where the window is wide enough; a figure
    // that needs attention is red.
    Flow {
        id: controllerRow
        objectName: "healthController"
        anchors.top: titleBar.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: 30
        anchors.rightMargin: 30
        spacing: 28

        Repeater {
            model: [
                { "key": "online", "label": qsTr("Devices online"), "value": onlineCount() },
                { "key": "cpu", "label": qsTr("CPU"), "value": page.figures.cpu_percent + " %" },
                { "key": "memory", "label": qsTr("Memory"), "value": page.mebibytes(page.figures.resident_memory_bytes) },
                { "key": "lag", "label": qsTr("Event loop lag"), "value": page.figures.event_loop_lag_ms + " ms" },
                { "key": "clients", "label": qsTr("API clients"), "value": page.figures.clients.line + page.figures.clients.websocket },
                { "key": "mqtt", "label": qsTr("MQTT"), "value": page.figures.mqtt === "connected" ? qsTr("connected")
                                                 : page.figures.mqtt === "off" ? qsTr("off") : qsTr("disconnected") },
                { "key": "settings", "label": qsTr("Settings"),
                  "value": page.figures.settings_saved ? qsTr("saved") : qsTr("not saved"),
                  "alarm": !page.figures.settings_saved },
                { "key": "saveFailures", "label": qsTr("Save failures"), "value": page.figures.settings_save_failures,
                  "alarm": page.figures.settings_save_failures > 0 }
            ]
            delegate: Column {
                spacing: 2
                Text {
                    textFormat: Text.PlainText
                    text: modelData.label
                    color: globalStyle.darkFontColorOnBlack
                    font.pixelSize: 14
                }
                Text {
                    objectName: "healthFigure_" + modelData.key
                    textFormat: Text.PlainText
                    text: modelData.value
                    color: modelData.alarm ? "#E04848" : "white"
                    font.pixelSize: globalStyle.normalFontSize + 2
                }
            }
        }
    }

    function onlineCount() {
        var online = 0;
        for (var i = 0; i < devices.length; ++i)
            if (devices[i].online)
                ++online;
        return online + " / " + devices.length;
    }

    // Column heads, and the day's scale over the timelines.
    Item {
        id: heads
        anchors.top: controllerRow.bottom
        anchors.topMargin: 18
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: 30
        anchors.rightMargin: 30
        height: 22

        Text {
            text: qsTr("Device")
            color: globalStyle.darkFontColorOnBlack
            font.pixelSize: 14
        }
        Text {
            x: page.nameWidth
            text: qsTr("24 hours ago")
            color: globalStyle.darkFontColorOnBlack
            font.pixelSize: 14
        }
        Text {
            x: heads.width - page.figuresWidth - width - 12
            text: qsTr("now")
            color: globalStyle.darkFontColorOnBlack
            font.pixelSize: 14
        }
        Text {
            x: heads.width - page.figuresWidth
            text: qsTr("Online · round trip median / 95 %")
            color: globalStyle.darkFontColorOnBlack
            font.pixelSize: 14
        }
    }

    ListView {
        id: list
        objectName: "healthList"
        anchors.top: heads.bottom
        anchors.topMargin: 6
        anchors.left: heads.left
        anchors.right: heads.right
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 10
        clip: true
        model: page.devices
        spacing: 4
        delegate: Rectangle {
            id: row
            objectName: "healthRow"
            readonly property var device: modelData
            width: list.width
            height: 54
            radius: 4
            color: index % 2 ? "#15151A" : "#1D1D24"

            Rectangle {
                id: dot
                x: 10
                anchors.verticalCenter: parent.verticalCenter
                width: 12
                height: 12
                radius: 6
                color: row.device.online ? "#3CB371" : "#E04848"
            }
            Column {
                anchors.left: dot.right
                anchors.leftMargin: 10
                anchors.verticalCenter: parent.verticalCenter
                width: page.nameWidth - 40
                Text {
                    textFormat: Text.PlainText
                    width: parent.width
                    text: row.device.alias || row.device.name
                    elide: Text.ElideRight
                    color: "white"
                    font.pixelSize: globalStyle.normalFontSize
                }
                Text {
                    textFormat: Text.PlainText
                    width: parent.width
                    text: (row.device.kind === "decoder" ? qsTr("Decoder") : qsTr("Encoder"))
                          + (row.device.outages > 0 ? "  ·  " + qsTr("outages: %1").arg(row.device.outages) : "")
                    elide: Text.ElideRight
                    color: row.device.online ? globalStyle.darkFontColorOnBlack : "#E08080"
                    font.pixelSize: 13
                }
            }

            // Availability as a strip of the day's slots (green up, red down, amber partly,
            // grey unseen), and above it each slot's mean round trip on a logarithmic scale.
            Canvas {
                id: timeline
                x: page.nameWidth
                anchors.verticalCenter: parent.verticalCenter
                width: row.width - page.nameWidth - page.figuresWidth - 12
                height: 40
                property var shares: row.device.timeline
                property var rtts: row.device.rttTimeline
                property bool online: row.device.online
                onSharesChanged: requestPaint()
                onOnlineChanged: requestPaint()
                onWidthChanged: requestPaint()
                onPaint: {
                    var context = getContext("2d");
                    context.clearRect(0, 0, width, height);
                    var count = shares.length;
                    if (!count)
                        return;
                    var slot = width / count;
                    var strip = 14;
                    var bars = height - strip - 3;
                    var ceiling = Math.log(1 + 5000);
                    for (var i = 0; i < count; ++i) {
                        var share = shares[i];
                        // A device down now is red at "now", however short the outage so far.
                        if (i === count - 1 && !row.device.online)
                            share = 0;
                        context.fillStyle = share < 0 ? "#34343C"
                                          : share >= 0.999 ? "#3CB371"
                                          : share <= 0.001 ? "#E04848" : "#E0A030";
                        context.fillRect(i * slot, height - strip, Math.max(1, slot - 1), strip);
                        var rtt = rtts[i];
                        if (rtt >= 0) {
                            var h = Math.max(2, bars * Math.min(1, Math.log(1 + rtt) / ceiling));
                            context.fillStyle = "#8C8CC8";
                            context.fillRect(i * slot, bars - h, Math.max(1, slot - 1), h);
                        }
                    }
                }
            }

            Column {
                x: row.width - page.figuresWidth
                anchors.verticalCenter: parent.verticalCenter
                Text {
                    textFormat: Text.PlainText
                    text: page.percent(row.device.availability)
                          + (row.device.kind === "decoder"
                             ? "  ·  " + page.milliseconds(row.device.rttMedian) + " / " + page.milliseconds(row.device.rttP95)
                             : (row.device.fps >= 0 ? "  ·  " + row.device.fps.toFixed(1) + " " + qsTr("fps") : ""))
                    color: row.device.availability < 0.99 ? "#E0A030" : "white"
                    font.pixelSize: globalStyle.normalFontSize - 2
                }
                Text {
                    visible: row.device.kind === "decoder"
                    text: qsTr("%1 failed · %2 reconnections · %3 drifts")
                              .arg(row.device.failed).arg(row.device.reconnections).arg(row.device.drifts)
                    color: row.device.failed > 0 ? "#E08080" : globalStyle.darkFontColorOnBlack
                    font.pixelSize: 13
                }
            }
        }
    }
}
