import QtQuick 2.14

Column {
    Text {
        height: 65
        verticalAlignment: Text.AlignVCenter
        textFormat: Text.PlainText
        text: qsTr("Name: ") + oem.name
        color: "#999999"
        font.pixelSize: globalStyle.headerLabelFontSize
    }
    Text {
        height: 65
        verticalAlignment: Text.AlignVCenter
        textFormat: Text.PlainText
        text: qsTr("Version: ") + oem.version
        color: "#999999"
        font.pixelSize: globalStyle.headerLabelFontSize
    }
}
