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

    explicit BroadcastSocket(QObject *parent = nullptr);

    // The receive buffer asked for at the next bind, for a benchmark standing in for a system
    // that grants less; RECEIVE_BUFFER_BYTES unless set.
    void setReceiveBufferRequest(int bytes) { receiveBufferBytes = bytes; }

    // Binds the sockets not bound yet; true when at least one socket is bound.
    bool bind(quint16 port);
    // Sends `data` from every bound socket to its broadcast address; failures are not
    // reported, one interface failing must not keep the others from being asked.
    void writeDatagram(const QByteArray &data, quint16 port);
    // The first bind failure, or empty.
    QString errorString() const;

    const QList<InterfaceSocket> &interfaceSockets() const { return sockets; }
    // Whether every socket's receive buffer holds a burst of replies for a few milliseconds;
    // false where the system granted less than asked.
    bool holdsBursts() const { return burstsFit; }

signals:
    void repliesRead(const DiscoveryReplies &replies);

private:
    void createSocketsByInterfaces();
    void noteReceiveBuffer(QUdpSocket &socket);

    QList<InterfaceSocket> sockets;
    bool burstsFit = true;
    int receiveBufferBytes = RECEIVE_BUFFER_BYTES;
    // After the sockets: it gives them back to this thread before they are deleted.
    DiscoveryReader reader;
};
