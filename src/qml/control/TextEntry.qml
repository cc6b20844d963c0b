import QtQuick 2.14
import QtQuick.Controls 2.14

// Every text field of the window: an example or a hint in an empty field reads as one (dim
// and slanted), never as a value someone typed.
TextField {
    readonly property bool showsPlaceholder: length === 0 && preeditText === "" && placeholderText !== ""

    selectByMouse: true
    font.pixelSize: globalStyle.normalFontSize
    font.italic: showsPlaceholder
    placeholderTextColor: globalStyle.darkFontColorOnBlack
}
