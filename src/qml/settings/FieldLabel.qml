import QtQuick 2.14

Text {
    color: "white"
    font.pixelSize: globalStyle.normalFontSize
    verticalAlignment: Text.AlignVCenter
}
