import QtQuick 2.14

// Stands in for the window's question layer: remembers how it was opened.
QtObject {
    property string title
    property string question
    property bool inputMode
    property string prompt
    property string initialText
    property string placeholder
    property string openingError
    property int openCount: 0
    signal accepted
    signal rejected
    signal textInputed(string text)
    function open() { openCount += 1; }
}
