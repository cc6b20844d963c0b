#include "mjpeg_server.h"

#include "fault_switches.h"
#include "frame_source.h"

#include <QTcpSocket>

namespace {

const QByteArray BOUNDARY = "zentrovaframe";
// A request that has not ended within this many bytes is not one this server answers.
constexpr int MAX_REQUEST_BYTES = 8192;
// A client this far behind skips frames rather than making the server buffer them.
constexpr qint64 MAX_BACKLOG_BYTES = 1 << 20;
// Twice what the controller accepts for one image.
constexpr int OVERSIZE_BYTES = 64 << 20;

} // namespace

MjpegServer::MjpegServer(FrameSource *frames, int fps, const FaultSwitches *faults, QObject *parent)
    : QObject(parent)
    , frames(frames)
    , faults(faults)
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
        connect(client, &QTcpSocket::disconnected, this, [this, client] { dropClient(client); });
    }
}

void MjpegServer::dropClient(QTcpSocket *client)
{
    pending.remove(client);
    streaming.removeAll(client);
    client->abort();
    client->deleteLater();
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
    if (faults->cut()) {
        dropClient(client);
        return;
    }
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
    if (streaming.isEmpty() || faults->stalled())
        return;
    if (faults->cut()) {
        const QList<QTcpSocket *> clients = streaming;
        for (QTcpSocket *client : clients)
            dropClient(client);
        return;
    }
    const QByteArray jpeg = frames->next();
    const int announced = faults->oversize() ? OVERSIZE_BYTES : jpeg.size();
    const QByteArray part = "--" + BOUNDARY + "\r\nContent-Type: image/jpeg\r\nContent-Length: "
        + QByteArray::number(announced) + "\r\n\r\n" + jpeg + "\r\n";
    for (QTcpSocket *client : qAsConst(streaming)) {
        if (client->bytesToWrite() < MAX_BACKLOG_BYTES)
            client->write(part);
    }
}
