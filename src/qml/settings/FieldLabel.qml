import QtQuick 2.14

Text {
    textFormat: Text.PlainText
    color: "white"
    font.pixelSize: globalStyle.normalFontSize
    verticalAlignment: Text.AlignVCenter
}
