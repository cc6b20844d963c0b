#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <functional>

class QUdpSocket;

namespace platform {

using DatagramHandler = std::function<void(const QByteArray &data, const QHostAddress &sender, quint16 port)>;

// Hands every datagram waiting on a bound UDP socket to `handle`, cut to `maxSize` bytes.
// Where the OS can, many datagrams are read per system call: a discovery pass brings a
// burst of a thousand replies, and two calls per reply (Qt's) were most of the
// controller's work in a pass.
// Returns true while a burst lasts: datagrams were found and the socket no longer signals
// readyRead, so the caller must call again shortly, and gathers the rest of the burst in
// a few rounds instead of waking for every handful of replies (each wake-up of the event
// loop polls every connection the program holds: a link per decoder). Returns false once
// a call finds nothing: the socket signals readyRead again.
bool readPendingDatagrams(QUdpSocket &socket, int maxSize, const DatagramHandler &handle);

// Binds `socket` to address:port so that more sockets of this program may join it there
// with the same call, each with a receive buffer of its own: where the system caps every
// buffer below a burst, a group holds it. Elsewhere it binds as a shared address. False,
// with the socket's errorString saying why, when the address cannot be bound.
bool bindToGroup(QUdpSocket &socket, const QHostAddress &address, quint16 port);
// Makes the system hand each datagram for a group of `members` sockets (bound with
// bindToGroup) to one of them at random: spread by sender, as it otherwise is, a few busy
// senders would fill one member's buffer while the others stay empty. False where the
// system cannot: a group is then no use.
bool spreadAcrossGroup(QUdpSocket &member, int members);

} // namespace platform
