#include "discovery/broadcast_socket.h"

#include "discovery/interface_selection.h"

#include <QDebug>
#include <QNetworkInterface>

const QByteArray DISCOVERY_REQUEST(8, '\0');

namespace {

// Every device answers a request at once: a few hundred replies arrive in one burst, far
// more than a default receive buffer (8 KiB on some systems) holds until the next read.
constexpr int RECEIVE_BUFFER_BYTES = 1 << 20;

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
        QSharedPointer<QUdpSocket> socket(new QUdpSocket);
        QUdpSocket *raw = socket.data();
        connect(raw, &QUdpSocket::readyRead, this, [this, raw] { emit readyRead(raw); });
        sockets << InterfaceSocket {address.ip, address.broadcast, QString(), socket};
    }
}

bool BroadcastSocket::bind(quint16 port)
{
    // No usable interface at start: a service without a window waits for one to come up.
    if (sockets.isEmpty())
        createSocketsByInterfaces();
    int failures = 0;
    for (InterfaceSocket &entry : sockets) {
        if (entry.socket->state() != QAbstractSocket::BoundState
            && !entry.socket->bind(entry.ip, port, QAbstractSocket::ReuseAddressHint)) {
            entry.error = entry.socket->errorString();
            ++failures;
            continue;
        }
        entry.socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, RECEIVE_BUFFER_BYTES);
        noteReceiveBuffer(*entry.socket);
        entry.error.clear();
    }
    return !sockets.isEmpty() && failures < sockets.size();
}

void BroadcastSocket::noteReceiveBuffer(QUdpSocket &socket)
{
    const int granted = socket.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt();
    if (granted >= RECEIVE_BUFFER_BYTES || !burstsFit)
        return;
    burstsFit = false;
    qWarning().noquote() << QStringLiteral("The system grants the discovery socket a receive buffer of %1 KiB, not %2 KiB "
                                           "(on Linux: net.core.rmem_max); the replies of a large installation may be lost.")
                                .arg(granted / 1024)
                                .arg(RECEIVE_BUFFER_BYTES / 1024);
}

void BroadcastSocket::writeDatagram(const QByteArray &data, quint16 port)
{
    // The system would bind an unbound socket to a port of its own choosing, where no reply
    // arrives, and the next bind would take it for done.
    for (const InterfaceSocket &entry : qAsConst(sockets)) {
        if (entry.socket->state() == QAbstractSocket::BoundState)
            entry.socket->writeDatagram(data, entry.broadcast, port);
    }
}

QString BroadcastSocket::errorString() const
{
    for (const InterfaceSocket &entry : sockets) {
        if (!entry.error.isEmpty())
            return entry.error;
    }
    return QString();
}
