#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

// Answers every discovery request with the device's record, sent back to the port the
// request came from, and notes each request on standard output so that a test can
// count them.
class DiscoveryResponder : public QObject
{
    Q_OBJECT

public:
    explicit DiscoveryResponder(const QByteArray &record, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    QString errorString() const { return socket.errorString(); }

private slots:
    void onReadyRead();

private:
    QUdpSocket socket;
    QByteArray record;
};
