#include "test_mjpeg.h"

#include <QBuffer>
#include <algorithm>
#include <memory>

namespace TestMjpeg {

QByteArray plain(const QColor &colour, const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

bool looksLike(const QImage &image, const QColor &colour)
{
    const QColor seen = image.pixelColor(image.width() / 2, image.height() / 2);
    return qAbs(seen.red() - colour.red()) < 16 && qAbs(seen.green() - colour.green()) < 16
        && qAbs(seen.blue() - colour.blue()) < 16;
}

QByteArray blockHeader(qint64 size, int length)
{
    QByteArray header = "mjpeg" + QByteArray::number(size).rightJustified(8, '0');
    header += QByteArray(length - header.size() - 1, ' ') + '\n';
    return header;
}

QByteArray multipartPart(const QByteArray &image, const QByteArray &boundary)
{
    return "Content-type: image/jpeg\r\nContent-length: " + QByteArray::number(image.size()) + "\r\n\r\n" + image
        + "\r\n--" + boundary + "\r\n";
}

} // namespace TestMjpeg

LoopbackHttpServer::LoopbackHttpServer(Handler handler, const QHostAddress &address, quint16 port)
    : handler(std::move(handler))
{
    connect(&server, &QTcpServer::newConnection, this, &LoopbackHttpServer::onNewConnection);
    server.listen(address, port);
}

void LoopbackHttpServer::close()
{
    server.close();
    for (const QPointer<QTcpSocket> &connection : qAsConst(connections)) {
        if (connection)
            connection->abort();
    }
}

int LoopbackHttpServer::openConnections() const
{
    return int(std::count_if(connections.cbegin(), connections.cend(),
        [](const QPointer<QTcpSocket> &c) { return c && c->state() == QAbstractSocket::ConnectedState; }));
}

QString LoopbackHttpServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

QByteArray LoopbackHttpServer::streamHead(const QByteArray &contentType)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: " + contentType + "\r\nConnection: close\r\n\r\n";
}

void LoopbackHttpServer::onNewConnection()
{
    while (QTcpSocket *connection = server.nextPendingConnection()) {
        connection->setParent(this);
        connections << connection;
        auto head = std::make_shared<QByteArray>();
        connect(connection, &QTcpSocket::readyRead, this, [this, connection, head] {
            head->append(connection->readAll());
            // Several requests may come on one kept-alive connection.
            int end;
            while ((end = head->indexOf("\r\n\r\n")) >= 0) {
                const QByteArray request = head->left(end + 4);
                head->remove(0, end + 4);
                requests << request;
                if (handler)
                    handler(connection, request);
            }
        });
        connect(connection, &QTcpSocket::disconnected, this, [this] { ++disconnections; });
    }
}
