#pragma once

#include <QByteArrayList>
#include <QHostAddress>

// Sends each payload to the port on loopback from the address, and returns once all of them
// wait in the receiver's queue, so that one read finds them together as a socket notification
// would; false when they did not arrive.
bool deliverTogether(const QByteArrayList &payloads, quint16 port, const QHostAddress &from = QHostAddress::LocalHost);
