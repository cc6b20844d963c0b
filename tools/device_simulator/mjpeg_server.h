#pragma once

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

class FaultSwitches;
class FrameSource;
class QTcpSocket;

// An encoder's preview: "GET /stream" answers with one endless multipart body, a JPEG
// per part; every other request gets 404. The faults can stall, cut or spoil the stream.
class MjpegServer : public QObject
{
    Q_OBJECT

public:
    MjpegServer(FrameSource *frames, int fps, const FaultSwitches *faults, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    QString errorString() const { return server.errorString(); }

private slots:
    void onNewConnection();
    void onFrameTimer();

private:
    void onRequestData(QTcpSocket *client);
    void answer(QTcpSocket *client, const QByteArray &requestLine);
    void dropClient(QTcpSocket *client);

    FrameSource *frames;
    const FaultSwitches *faults;
    QTcpServer server;
    QTimer frameTimer;
    // Request bytes of clients whose request has not ended yet.
    QHash<QTcpSocket *, QByteArray> pending;
    QList<QTcpSocket *> streaming;
};
