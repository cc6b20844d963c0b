#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

// A scripted telnet server on 127.0.0.1 for unit tests: it takes the client's connections one
// at a time, records every byte the current client sends and writes what the test gives it.
class FakeTelnetPeer : public QObject
{
public:
    FakeTelnetPeer();

    quint16 port() const;
    // Waits for the next connection, which then becomes the current client.
    bool waitForClient(int msecs = 5000);
    QTcpSocket *client() const;
    // Writes the bytes and hands them to the kernel before returning.
    void send(const QByteArray &bytes);
    bool waitForBytes(int count, int msecs = 5000);
    bool waitForDisconnected(int msecs = 5000);
    QByteArray received() const;
    QByteArray takeReceived();

private:
    QTcpServer server;
    QTcpSocket *socket = nullptr;
    QByteArray bytes;
};
