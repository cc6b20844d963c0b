#include "mjpeg_server.h"

#include "frame_source.h"

#include <QTcpSocket>

namespace {

const QByteArray BOUNDARY = "zentrovaframe";
// A request that has not ended within this many bytes is not one this server answers.
constexpr int MAX_REQUEST_BYTES = 8192;
// A client this far behind skips frames rather than making the server buffer them.
constexpr qint64 MAX_BACKLOG_BYTES = 1 << 20;

} // namespace

MjpegServer::MjpegServer(FrameSource *frames, int fps, QObject *parent)
    : QObject(parent)
    , frames(frames)
{
    connect(&server, &QTcpServer::newConnection, this, &MjpegServer::onNewConnection);
    frameTimer.setInterval(1000 / qMax(1, fps));
    connect(&frameTimer, &QTimer::timeout, this, &MjpegServer::onFrameTimer);
}

bool MjpegServer::listen(const QHostAddress &address, quint16 port)
{
    if (!server.listen(address, port))
        return false;
    frameTimer.start();
    return true;
}

void MjpegServer::onNewConnection()
{
    while (QTcpSocket *client = server.nextPendingConnection()) {
        pending.insert(client, QByteArray());
        connect(client, &QTcpSocket::readyRead, this, [this, client] { onRequestData(client); });
        connect(client, &QTcpSocket::disconnected, this, [this, client] {
            pending.remove(client);
            streaming.removeAll(client);
            client->deleteLater();
        });
    }
}

void MjpegServer::onRequestData(QTcpSocket *client)
{
    if (!pending.contains(client)) {
        client->readAll();
        return;
    }
    QByteArray &request = pending[client];
    request += client->readAll();
    const int end = request.indexOf("\r\n\r\n");
    if (end < 0 && request.size() <= MAX_REQUEST_BYTES)
        return;
    const QByteArray requestLine = end < 0 ? QByteArray() : request.left(request.indexOf("\r\n"));
    pending.remove(client);
    answer(client, requestLine);
}

void MjpegServer::answer(QTcpSocket *client, const QByteArray &requestLine)
{
    const QList<QByteArray> parts = requestLine.split(' ');
    if (parts.size() == 3 && parts.at(0) == "GET" && parts.at(1) == "/stream" && parts.at(2).startsWith("HTTP/1.")) {
        client->write("HTTP/1.0 200 OK\r\n"
                      "Content-Type: multipart/x-mixed-replace; boundary="
            + BOUNDARY
            + "\r\n"
              "Cache-Control: no-cache\r\n"
              "Connection: close\r\n\r\n");
        streaming << client;
        return;
    }
    client->write("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    client->disconnectFromHost();
}

void MjpegServer::onFrameTimer()
{
    if (streaming.isEmpty())
        return;
    const QByteArray jpeg = frames->next();
    const QByteArray part = "--" + BOUNDARY + "\r\nContent-Type: image/jpeg\r\nContent-Length: "
        + QByteArray::number(jpeg.size()) + "\r\n\r\n" + jpeg + "\r\n";
    for (QTcpSocket *client : qAsConst(streaming)) {
        if (client->bytesToWrite() < MAX_BACKLOG_BYTES)
            client->write(part);
    }
}
