#include "discovery_responder.h"

#include "fault_switches.h"

#include <QTextStream>

DiscoveryResponder::DiscoveryResponder(const QByteArray &record, const FaultSwitches *faults, QObject *parent)
    : UdpPort(parent)
    , record(record)
    , faults(faults)
{
}

void DiscoveryResponder::onDatagram(const QNetworkDatagram &datagram)
{
    QTextStream out(stdout);
    const QString from
        = datagram.senderAddress().toString() + QLatin1Char(':') + QString::number(datagram.senderPort());
    if (datagram.data() != QByteArray(8, '\0')) {
        out << "ignored " << datagram.data().size() << " bytes from " << from << Qt::endl;
        return;
    }
    if (faults->silent()) {
        out << "silent to request from " << from << Qt::endl;
        return;
    }
    out << "request from " << from << Qt::endl;
    socket.writeDatagram(record, datagram.senderAddress(), quint16(datagram.senderPort()));
}
