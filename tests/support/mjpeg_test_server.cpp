#include "mjpeg_test_server.h"

#include "test_mjpeg.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr int FRAME_GAP_MS = 40;
const QByteArray BOUNDARY = "zentrovaframe";

} // namespace

MjpegTestServer::MjpegTestServer(QObject *parent)
    : QObject(parent)
{
    connect(&server, &QTcpServer::newConnection, this, &MjpegTestServer::onNewConnection);
}

MjpegTestServer::~MjpegTestServer()
{
    // The server deletes its links after this object's members are gone.
    for (QTcpSocket *socket : qAsConst(links))
        socket->disconnect(this);
}

bool MjpegTestServer::listen(const QHostAddress &address, quint16 port)
{
    return server.listen(address, port);
}

void MjpegTestServer::close()
{
    server.close();
    const QList<QTcpSocket *> open = links;
    for (QTcpSocket *socket : open)
        socket->abort();
}

void MjpegTestServer::onNewConnection()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        links.append(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onRequestData(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            links.removeAll(socket);
            socket->deleteLater();
        });
    }
}

void MjpegTestServer::onRequestData(QTcpSocket *socket)
{
    if (socket->property("answered").toBool() || !socket->canReadLine())
        return;
    const QByteArray head = socket->peek(socket->bytesAvailable());
    if (!head.contains("\r\n\r\n"))
        return;
    const QList<QByteArray> lines = socket->readAll().split('\n');
    requestLines.append(lines.value(0).trimmed());
    QByteArray agent;
    for (const QByteArray &line : lines) {
        if (line.toLower().startsWith("user-agent:"))
            agent = line.mid(int(qstrlen("user-agent:"))).trimmed();
    }
    agents.append(agent);
    socket->setProperty("answered", true);
    socket->write("HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=" + BOUNDARY + "\r\n\r\n--"
        + BOUNDARY + "\r\n");
    sendFrames(socket, frameCount);
}

void MjpegTestServer::sendFrames(QTcpSocket *socket, int remaining)
{
    if (remaining == 0) {
        if (!keepOpen)
            socket->disconnectFromHost();
        return;
    }
    socket->write(TestMjpeg::multipartPart(TestMjpeg::plain(Qt::darkCyan), BOUNDARY));
    QPointer<QTcpSocket> alive(socket);
    QTimer::singleShot(FRAME_GAP_MS, this, [this, alive, remaining] {
        if (alive && links.contains(alive.data()))
            sendFrames(alive.data(), remaining - 1);
    });
}
