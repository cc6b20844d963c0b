#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

class FaultSwitches;

// Answers every discovery request (eight zero bytes) with the device's record, sent back to
// the port the request came from, unless the faults keep it silent. Each request is noted
// on standard output, so that a test can count them.
class DiscoveryResponder : public QObject
{
    Q_OBJECT

public:
    DiscoveryResponder(const QByteArray &record, const FaultSwitches *faults, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    QString errorString() const { return socket.errorString(); }

private slots:
    void onReadyRead();

private:
    QUdpSocket socket;
    QByteArray record;
    const FaultSwitches *faults;
};
