#pragma once

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QObject>
#include <QUdpSocket>

// One UDP port of a simulated device; what it does with each datagram is up to the kind of
// port.
class UdpPort : public QObject
{
    Q_OBJECT

public:
    explicit UdpPort(QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    QString errorString() const { return socket.errorString(); }

protected:
    virtual void onDatagram(const QNetworkDatagram &datagram) = 0;

    QUdpSocket socket;

private slots:
    void onReadyRead();
};
