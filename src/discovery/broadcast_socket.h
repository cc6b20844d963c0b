#pragma once

#include "discovery/discovery_reader.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QUdpSocket>

// Every device answers this: eight zero bytes sent to the discovery request port.
extern const QByteArray DISCOVERY_REQUEST;

// One discovery socket, tied to one IPv4 address of one interface.
struct InterfaceSocket
{
    QHostAddress ip;
    QHostAddress broadcast;
    // Why the last bind failed; empty after a successful one.
    QString error;
    QSharedPointer<QUdpSocket> socket;
    // Bound beside `socket` where the system grants each socket less than a burst needs:
    // the replies spread over all of them, and each holds its share. Read, never written.
    QList<QSharedPointer<QUdpSocket>> sharers;
};

// The discovery sockets: one per IPv4 address of every interface that is up, can
// broadcast and is not loopback (narrowed by ZENTROVA_INTERFACES when set). The list is
// built at start and, while it is empty, again on every bind; an interface that comes up
// later than one already in the list is used after a restart. A bound socket is read and
// written on the reader's thread; what it receives comes out of repliesRead, in batches.
class BroadcastSocket : public QObject
{
    Q_OBJECT

public:
    // Asked of the system for every socket: a pass of the largest installation, with room.
    static constexpr int RECEIVE_BUFFER_BYTES = 1 << 20;
    // Sockets sharing one address at most, however little the system grants each.
    static constexpr int MAX_SHARING = 8;

    explicit BroadcastSocket(QObject *parent = nullptr);

    // At most this much is asked for at the next bind, for a benchmark or test standing in
    // for a system that grants no more (a stock Linux: net.core.rmem_max, 208 KiB).
    void setReceiveBufferLimit(int bytes) { receiveBufferBytes = qMin(bytes, RECEIVE_BUFFER_BYTES); }

    // Binds the sockets not bound yet; true when at least one socket is bound.
    bool bind(quint16 port);
    // Sends `data` from every bound socket to its broadcast address; failures are not
    // reported, one interface failing must not keep the others from being asked.
    void writeDatagram(const QByteArray &data, quint16 port);
    // The first bind failure, or empty.
    QString errorString() const;

    const QList<InterfaceSocket> &interfaceSockets() const { return sockets; }
    // Whether the receive buffers of every address hold a burst of replies for a few
    // milliseconds; false where the system granted less than asked and no sockets could
    // share the address to make up for it.
    bool holdsBursts() const { return burstsFit; }

signals:
    void repliesRead(const DiscoveryReplies &replies);

private:
    void createSocketsByInterfaces();
    // The buffer the system granted `socket`, as it counts it.
    int askReceiveBuffer(QUdpSocket &socket);
    void addSharers(InterfaceSocket &entry, quint16 port, int granted);

    QList<InterfaceSocket> sockets;
    bool burstsFit = true;
    int receiveBufferBytes = RECEIVE_BUFFER_BYTES;
    // After the sockets: it gives them back to this thread before they are deleted.
    DiscoveryReader reader;
};
