import QtQuick 2.14
import QtQuick.Controls 2.14

// A drop-down list in the settings' dark look: the chosen entry on the panel colour, the list
// opening below it with the chosen entry in the accent.
ComboBox {
    id: box

    height: 50
    font.pixelSize: globalStyle.normalFontSize
    background: Rectangle {
        color: box.pressed ? "#26262E" : "#141418"
        border.width: box.popup.visible ? 2 : 1
        border.color: box.popup.visible ? globalStyle.accent : "#333333"
        radius: 4
    }
    contentItem: Text {
        textFormat: Text.PlainText
        leftPadding: 12
        rightPadding: box.indicator.width + 12
        text: box.displayText
        font: box.font
        color: "white"
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
    indicator: Text {
        x: box.width - width - 14
        y: (box.height - height) / 2
        text: "\u25BE"
        color: globalStyle.fontColorOnBlack
        font.pixelSize: globalStyle.normalFontSize
    }
    delegate: ItemDelegate {
        width: box.width
        height: 50
        highlighted: box.highlightedIndex === index
        contentItem: Text {
            textFormat: Text.PlainText
            text: modelData
            font: box.font
            color: box.currentIndex === index ? globalStyle.accent : "white"
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
        }
        background: Rectangle {
            color: highlighted ? "#26262E" : "#141418"
        }
    }
    popup: Popup {
        y: box.height + 2
        width: box.width
        height: Math.min(contentItem.implicitHeight + 2, 50 * 6 + 2)
        padding: 1
        contentItem: ListView {
            clip: true
            implicitHeight: contentHeight
            boundsBehavior: Flickable.StopAtBounds
            model: box.popup.visible ? box.delegateModel : null
            currentIndex: box.highlightedIndex
        }
        background: Rectangle {
            color: "#141418"
            border.color: "#333333"
            radius: 4
        }
    }
}
