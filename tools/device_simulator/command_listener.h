#pragma once

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

// An encoder's command port: notes every datagram on standard output, the bytes as Latin-1
// text, so that a test can read what the controller broadcast. Nothing is answered.
class CommandListener : public QObject
{
    Q_OBJECT

public:
    explicit CommandListener(QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    QString errorString() const { return socket.errorString(); }

private slots:
    void onReadyRead();

private:
    QUdpSocket socket;
};
