#include "remote/http_connection.h"

#include "remote/http_reply.h"

#include <QTcpSocket>

HttpConnection::HttpConnection(QTcpSocket *socket, int headTimeoutMs, qint64 maxBodyBytes, QObject *parent)
    : QObject(parent)
    , socket(socket)
    , peerAddress(socket->peerAddress())
    , headTimeoutMs(headTimeoutMs)
    , maxBodyBytes(maxBodyBytes)
{
    socket->setParent(this);
    // What is taken from the system for this connection at most: one head and one body.
    socket->setReadBufferSize(HttpRequestHead::MAX_BYTES + maxBodyBytes);
    connect(socket, &QTcpSocket::readyRead, this, &HttpConnection::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &HttpConnection::finish);
    // A TLS client's close_notify says it sends nothing more; without it ending the
    // connection, its place would be held until the idle time ran out. Queued: the requests
    // read with it are handled first.
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            QMetaObject::invokeMethod(this, &HttpConnection::onPeerDone, Qt::QueuedConnection);
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        if (state == ReadingHead && this->socket->bytesAvailable() > 0)
            onReadyRead();
    });
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, this, &HttpConnection::onDeadline);
    deadline.start(headTimeoutMs);
}

void HttpConnection::onReadyRead()
{
    switch (state) {
    case ReadingHead: {
        if (socket->bytesToWrite() > MAX_UNSENT_BYTES)
            return;
        const HttpRequestHead::Result result = HttpRequestHead::parse(socket->peek(HttpRequestHead::MAX_BYTES), &head);
        switch (result) {
        case HttpRequestHead::Incomplete:
            return;
        case HttpRequestHead::Malformed:
            return refuse(400, QByteArrayLiteral("malformed request"));
        case HttpRequestHead::TooLarge:
            return refuse(431, QByteArrayLiteral("the request's head is too large"));
        case HttpRequestHead::NoLength:
            return refuse(411, QByteArrayLiteral("send the body with a Content-Length"));
        case HttpRequestHead::Complete:
            break;
        }
        deadline.stop();
        state = Handling;
        headConsumed = false;
        bodyPending = head.contentLength > 0;
        emit headReceived(this, head);
        return;
    }
    case ReadingBody:
        if (socket->bytesAvailable() < head.contentLength)
            return;
        deadline.stop();
        state = Handling;
        bodyPending = false;
        emit bodyReceived(this, socket->read(head.contentLength));
        return;
    case Lingering:
        // Read to be thrown away: skip() passes over only what a plain socket holds itself.
        socket->read(socket->bytesAvailable());
        return;
    case Handling:
    case Done:
        return;
    }
}

void HttpConnection::onPeerDone()
{
    peerDone = true;
    // Requests read before it are answered first (one in hand, or pipelined ones waiting for
    // their turn); a body not complete now never will be.
    if ((state == ReadingHead && socket->bytesAvailable() == 0) || state == Lingering)
        socket->disconnectFromHost();
    else if (state == ReadingBody)
        abort();
}

void HttpConnection::onDeadline()
{
    if (state == Lingering || (state == ReadingHead && socket->bytesAvailable() == 0)) {
        // Nothing started, or the refusal has had its time: the connection just ends.
        if (socket->bytesToWrite() > 0)
            abort();
        else
            socket->disconnectFromHost();
        return;
    }
    if (state == ReadingHead || state == ReadingBody)
        refuse(408, QByteArrayLiteral("the request did not arrive in time"));
}

void HttpConnection::consumeHead()
{
    if (!headConsumed)
        socket->read(head.size);
    headConsumed = true;
}

void HttpConnection::refuse(int status, const QByteArray &text)
{
    HttpReply answer(status, QByteArrayLiteral("text/plain; charset=utf-8"), text);
    answer.close = true;
    // A head that could not be read has no known end: nothing of it is taken as read.
    head = HttpRequestHead();
    headConsumed = true;
    bodyPending = true;
    reply(answer);
}

void HttpConnection::reply(const HttpReply &answer)
{
    if (state == Done || state == Lingering)
        return;
    consumeHead();
    socket->write(answer.serialize(head.method == "HEAD"));
    if (!answer.close && !bodyPending && head.keepAlive() && !(peerDone && socket->bytesAvailable() == 0)) {
        state = ReadingHead;
        deadline.start(headTimeoutMs);
        // A request sent right behind this one is there already.
        if (socket->bytesAvailable() > 0)
            QMetaObject::invokeMethod(this, &HttpConnection::onReadyRead, Qt::QueuedConnection);
        return;
    }
    if (!bodyPending) {
        state = Done;
        socket->disconnectFromHost();
        return;
    }
    state = Lingering;
    deadline.start(LINGER_MS);
    onReadyRead();
}

void HttpConnection::readBody()
{
    if (state != Handling)
        return;
    consumeHead();
    state = ReadingBody;
    // The body is part of the request: it too must arrive within the request's time.
    deadline.start(headTimeoutMs);
    onReadyRead();
}

QTcpSocket *HttpConnection::takeSocket()
{
    QTcpSocket *taken = socket;
    disconnect(taken, nullptr, this, nullptr);
    taken->setParent(nullptr);
    taken->setReadBufferSize(0);
    socket = nullptr;
    finish();
    return taken;
}

void HttpConnection::abort()
{
    if (socket)
        socket->abort();
    finish();
}

void HttpConnection::finish()
{
    state = Done;
    deadline.stop();
    if (ended)
        return;
    ended = true;
    emit finished(this);
    deleteLater();
}
