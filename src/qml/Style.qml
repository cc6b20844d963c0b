import QtQuick 2.14

QtObject {
    readonly property color fontColorOnBlack: "#999999"
    readonly property color darkFontColorOnBlack: "#666666"
    readonly property color veryDarkFontColorOnBlack: "#333333"
    readonly property color lightFontColorOnWhite: "#CCCCCC"
    readonly property color errorTextColor: "red"
    readonly property color infoTextColor: "white"
    readonly property color transparent: "#00000000"
    readonly property color accent: "#A5A5CA"

    readonly property int titleFontSize: 22
    readonly property int headerLabelFontSize: 26
    readonly property int normalFontSize: 18
}
