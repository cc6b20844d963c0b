#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <functional>

class QUdpSocket;

namespace platform {

using DatagramHandler = std::function<void(const QByteArray &data, const QHostAddress &sender, quint16 port)>;

// Hands every datagram waiting on a bound UDP socket to `handle`, cut to `maxSize` bytes,
// and leaves the socket signalling readyRead for the next one. Where the OS can, many
// datagrams are read per system call: a discovery pass brings a burst of a thousand replies,
// and two calls per reply (Qt's) were most of the controller's work in a pass.
void readPendingDatagrams(QUdpSocket &socket, int maxSize, const DatagramHandler &handle);

} // namespace platform
