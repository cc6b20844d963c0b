import QtQuick 2.14

QtObject {
    property string name: "Test Product"
    property string version: "1.2.3.4"
    property string splash: "qrc:/images/logo.png"
    property string logo: "qrc:/images/logo-grey.png"
    property string tx_placeholder: "qrc:/images/txcell-no-source.png"
    property string vw_placeholder: "qrc:/images/rxzone-no-source.png"
}
