#include "loopback_http_server.h"

#include <QHostAddress>
#include <memory>

LoopbackHttpServer::LoopbackHttpServer(Handler handler)
    : handler(std::move(handler))
{
    connect(&server, &QTcpServer::newConnection, this, &LoopbackHttpServer::onNewConnection);
    server.listen(QHostAddress::LocalHost, 0);
}

QString LoopbackHttpServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

QByteArray LoopbackHttpServer::streamHead(const QByteArray &contentType)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: " + contentType + "\r\nConnection: close\r\n\r\n";
}

QByteArray LoopbackHttpServer::snapshotResponse(const QByteArray &body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\n\r\n" + body;
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
