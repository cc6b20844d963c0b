import QtQuick 2.14
import QtQuick.Controls 2.14

// Picks a count from 1 to model; each entry reads "<n> <unit>".
Tumbler {
    id: tumbler

    property string unit

    width: 300
    visibleItemCount: 5

    delegate: Text {
        textFormat: Text.PlainText
        text: (index + 1) + " " + tumbler.unit
        color: "white"
        font.pixelSize: globalStyle.titleFontSize
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        opacity: 1.0 - Math.abs(Tumbler.displacement) / (tumbler.visibleItemCount / 2)
    }
}
