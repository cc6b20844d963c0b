#include "remote/web_client.h"

#include "base/log_summary.h"

#include <QWebSocket>

WebClient::WebClient(QWebSocket *socket, qint64 maxQueuedBytes, int pingIntervalMs, QObject *parent)
    : QObject(parent)
    , peer(socket->peerAddress())
    , socket(socket)
    , maxQueuedBytes(maxQueuedBytes)
{
    socket->setParent(this);
    connect(socket, &QWebSocket::textMessageReceived, this, [this](const QString &message) {
        if (!closing)
            emit textReceived(this, message);
    });
    connect(socket, &QWebSocket::binaryMessageReceived, this, [this] {
        if (!closing)
            emit binaryReceived(this);
    });
    connect(socket, &QWebSocket::disconnected, this, &WebClient::onDisconnected);
    // A TLS client's close_notify without a close frame: it has gone, and would otherwise
    // hold its place until the sign-in time or the next unanswered ping.
    connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), this,
        [this](QAbstractSocket::SocketError error) {
            if (error == QAbstractSocket::RemoteHostClosedError)
                QMetaObject::invokeMethod(this->socket, &QWebSocket::abort, Qt::QueuedConnection);
        });
    connect(socket, &QWebSocket::pong, this, [this] { pongAwaited = false; });
    connect(&pings, &QTimer::timeout, this, &WebClient::onPingDue);
    pings.start(pingIntervalMs);
}

void WebClient::onPingDue()
{
    if (closing)
        return;
    if (pongAwaited) {
        if (LogSummary::shared().admit(
                QtInfoMsg, QStringLiteral("control API: ended WebSocket client without pongs"), peer.toString()))
            qInfo() << "control API: ended WebSocket client" << peer.toString() << "that did not answer a ping";
        closing = true;
        socket->abort();
        return;
    }
    pongAwaited = true;
    socket->ping();
}

bool WebClient::send(const QString &message)
{
    if (closing)
        return true;
    if (socket->bytesToWrite() + message.size() <= maxQueuedBytes) {
        socket->sendTextMessage(message);
        return true;
    }
    // Its close frame would wait behind what it does not read: it is cut off instead.
    closing = true;
    socket->abort();
    return false;
}

void WebClient::close(const QString &reason)
{
    if (closing)
        return;
    closing = true;
    // A close frame's reason holds at most 123 bytes.
    socket->close(QWebSocketProtocol::CloseCodeNormal, QString::fromUtf8(reason.toUtf8().left(123)));
    QTimer::singleShot(CLOSE_GRACE_MS, this, [this] {
        if (!ended) {
            if (LogSummary::shared().admit(
                    QtInfoMsg, QStringLiteral("control API: ended WebSocket client"), peer.toString()))
                qInfo() << "control API: ended WebSocket client" << peer.toString() << "that ignored its close";
            socket->abort();
        }
    });
}

void WebClient::onDisconnected()
{
    if (ended)
        return;
    ended = true;
    closing = true;
    emit gone(this);
    deleteLater();
}
