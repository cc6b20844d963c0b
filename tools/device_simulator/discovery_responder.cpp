#include "discovery_responder.h"

#include "fault_switches.h"

#include <QNetworkDatagram>
#include <QTextStream>

DiscoveryResponder::DiscoveryResponder(const QByteArray &record, const FaultSwitches *faults, QObject *parent)
    : QObject(parent)
    , record(record)
    , faults(faults)
{
    connect(&socket, &QUdpSocket::readyRead, this, &DiscoveryResponder::onReadyRead);
}

bool DiscoveryResponder::listen(const QHostAddress &address, quint16 port)
{
    return socket.bind(address, port, QAbstractSocket::ReuseAddressHint);
}

void DiscoveryResponder::onReadyRead()
{
    QTextStream out(stdout);
    while (socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket.receiveDatagram();
        const QString from
            = datagram.senderAddress().toString() + QLatin1Char(':') + QString::number(datagram.senderPort());
        if (datagram.data() != QByteArray(8, '\0')) {
            out << "ignored " << datagram.data().size() << " bytes from " << from << Qt::endl;
            continue;
        }
        if (faults->silent()) {
            out << "silent to request from " << from << Qt::endl;
            continue;
        }
        out << "request from " << from << Qt::endl;
        socket.writeDatagram(record, datagram.senderAddress(), quint16(datagram.senderPort()));
    }
}
