#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

// An encoder's preview stream for tests: answers every GET with a multipart MJPEG body
// of a few small JPEG frames, then either ends the body or keeps the link open.
class MjpegTestServer : public QObject
{
    Q_OBJECT

public:
    explicit MjpegTestServer(QObject *parent = nullptr);
    ~MjpegTestServer() override;

    bool listen(const QHostAddress &address, quint16 port);
    void close();
    // Frames sent per request; after them the body ends unless keepOpen is set.
    void setFrameCount(int frames) { frameCount = frames; }
    void setKeepOpen(bool open) { keepOpen = open; }

    // Request lines ("GET /stream HTTP/1.1") and the User-Agent of each request.
    QList<QByteArray> requests() const { return requestLines; }
    QList<QByteArray> userAgents() const { return agents; }
    // Links currently open; a client that stops its download closes its link.
    int openLinks() const { return links.size(); }

private slots:
    void onNewConnection();

private:
    void onRequestData(QTcpSocket *socket);
    void sendFrames(QTcpSocket *socket, int remaining);

    QTcpServer server;
    QList<QTcpSocket *> links;
    int frameCount = 3;
    bool keepOpen = true;
    QList<QByteArray> requestLines;
    QList<QByteArray> agents;
};
