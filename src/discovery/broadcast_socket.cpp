#include "discovery/broadcast_socket.h"

#include "discovery/interface_selection.h"
#include "platform/datagram_reader.h"

#include <QDebug>
#include <QNetworkInterface>

const QByteArray DISCOVERY_REQUEST(8, '\0');

namespace {

QList<InterfaceAddress> usableInterfaceAddresses()
{
    QList<InterfaceAddress> addresses;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const QNetworkInterface::InterfaceFlags flags = interface.flags();
        if (!interface.isValid() || !flags.testFlag(QNetworkInterface::CanBroadcast)
            || !flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            addresses << InterfaceAddress {
                interface.name(), interface.humanReadableName(), entry.ip(), entry.broadcast()};
        }
    }
    return addresses;
}

} // namespace

BroadcastSocket::BroadcastSocket(QObject *parent)
    : QObject(parent)
{
    connect(&reader, &DiscoveryReader::repliesRead, this, &BroadcastSocket::repliesRead);
    createSocketsByInterfaces();
}

void BroadcastSocket::createSocketsByInterfaces()
{
    const QString selection = qEnvironmentVariable(INTERFACES_VARIABLE);
    QStringList unmatched;
    const QList<InterfaceAddress> addresses
        = selectInterfaceAddresses(usableInterfaceAddresses(), selection, &unmatched);
    if (!selection.trimmed().isEmpty())
        qInfo().noquote() << "Discovery limited by" << INTERFACES_VARIABLE << "to" << selection;
    for (const QString &entry : qAsConst(unmatched))
        qWarning().noquote().nospace() << INTERFACES_VARIABLE << " entry '" << entry
                                       << "' matches no usable IPv4 interface address";

    for (const InterfaceAddress &address : addresses) {
        qDebug().noquote().nospace() << "Bind address: " << address.ip.toString() << " (" << address.humanReadableName
                                     << ")";
        sockets << InterfaceSocket {address.ip, address.broadcast, QString(), QSharedPointer<QUdpSocket>::create(), {}};
    }
}

bool BroadcastSocket::bind(quint16 port)
{
    // No usable interface at start: a service without a window waits for one to come up.
    if (sockets.isEmpty())
        createSocketsByInterfaces();
    int failures = 0;
    for (InterfaceSocket &entry : sockets) {
        // A bound socket belongs to the reader's thread.
        if (entry.socket->state() == QAbstractSocket::BoundState)
            continue;
        if (!platform::bindToGroup(*entry.socket, entry.ip, port)) {
            entry.error = entry.socket->errorString();
            ++failures;
            continue;
        }
        entry.error.clear();
        addSharers(entry, port, askReceiveBuffer(*entry.socket));
        reader.adopt(entry.socket.data());
        for (const QSharedPointer<QUdpSocket> &sharer : qAsConst(entry.sharers))
            reader.adopt(sharer.data());
    }
    return !sockets.isEmpty() && failures < sockets.size();
}

int BroadcastSocket::askReceiveBuffer(QUdpSocket &socket)
{
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, receiveBufferBytes);
    return socket.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt();
}

// The system drops what arrives at a full buffer, and a pass arrives faster than a reader
// that the scheduler leaves waiting for a few milliseconds can take it: with what a stock
// system grants, the reader's thread would have to run through the whole burst. Twice the
// sockets the burst needs, as the replies fall on them at random, not evenly.
void BroadcastSocket::addSharers(InterfaceSocket &entry, quint16 port, int granted)
{
    if (granted >= RECEIVE_BUFFER_BYTES)
        return;
    const int wanted = granted > 0 ? qMin(MAX_SHARING, 2 * ((RECEIVE_BUFFER_BYTES + granted - 1) / granted)) : 1;
    int held = granted;
    while (1 + entry.sharers.size() < wanted) {
        const auto sharer = QSharedPointer<QUdpSocket>::create();
        if (!platform::bindToGroup(*sharer, entry.ip, port))
            break;
        held += askReceiveBuffer(*sharer);
        entry.sharers << sharer;
    }
    // Where the system cannot spread them, which socket takes a reply is its own choice.
    if (!entry.sharers.isEmpty() && !platform::spreadAcrossGroup(*entry.socket, 1 + entry.sharers.size())) {
        entry.sharers.clear();
        held = granted;
    }
    if (held >= RECEIVE_BUFFER_BYTES || !burstsFit)
        return;
    burstsFit = false;
    qWarning().noquote() << QStringLiteral("The system grants the discovery socket a receive buffer of %1 KiB, not %2 KiB "
                                           "(on Linux: net.core.rmem_max); the replies of a large installation may be lost.")
                                .arg(granted / 1024)
                                .arg(receiveBufferBytes / 1024);
}

void BroadcastSocket::writeDatagram(const QByteArray &data, quint16 port)
{
    // Only bound sockets are the reader's; it sends nothing from the others.
    for (const InterfaceSocket &entry : qAsConst(sockets))
        reader.send(entry.socket.data(), data, entry.broadcast, port);
}

QString BroadcastSocket::errorString() const
{
    for (const InterfaceSocket &entry : sockets) {
        if (!entry.error.isEmpty())
            return entry.error;
    }
    return QString();
}
