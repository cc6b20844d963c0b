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

} // namespace platform
