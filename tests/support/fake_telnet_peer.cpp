#include "fake_telnet_peer.h"

#include <QTcpSocket>
#include <QTest>

FakeTelnetPeer::FakeTelnetPeer()
{
    server.listen(QHostAddress::LocalHost);
}

quint16 FakeTelnetPeer::port() const
{
    return server.serverPort();
}

bool FakeTelnetPeer::waitForClient(int msecs)
{
    if (!QTest::qWaitFor([this] { return server.hasPendingConnections(); }, msecs))
        return false;
    socket = server.nextPendingConnection();
    bytes.clear();
    connect(socket, &QTcpSocket::readyRead, this, [this] { bytes += socket->readAll(); });
    return true;
}

QTcpSocket *FakeTelnetPeer::client() const
{
    return socket;
}

void FakeTelnetPeer::send(const QByteArray &data)
{
    socket->write(data);
    socket->flush();
}

bool FakeTelnetPeer::waitForBytes(int count, int msecs)
{
    return QTest::qWaitFor([this, count] { return bytes.size() >= count; }, msecs);
}

bool FakeTelnetPeer::waitForDisconnected(int msecs)
{
    return QTest::qWaitFor([this] { return socket->state() == QAbstractSocket::UnconnectedState; }, msecs);
}

QByteArray FakeTelnetPeer::received() const
{
    return bytes;
}

QByteArray FakeTelnetPeer::takeReceived()
{
    QByteArray taken;
    taken.swap(bytes);
    return taken;
}
