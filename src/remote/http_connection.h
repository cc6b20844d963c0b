#pragma once

#include "remote/http_request_head.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

class QTcpSocket;
struct HttpReply;

// One HTTP connection on the event loop, request after request: it reads a head (which must
// be complete within the head time), hands it on with the body still unread, and reads a
// body only when asked to, so that whoever handles the head decides on the token and the size
// first. A refused request's body is never read: a little of it is thrown away for a short
// while, so that a client that writes before it reads still finds the answer, and then the
// connection ends.
class HttpConnection : public QObject
{
    Q_OBJECT

public:
    // How long what follows a refused request is thrown away before the connection ends.
    static constexpr int LINGER_MS = 1000;
    // Answers not yet taken by the client past which its next request waits: one that sends
    // requests without reading the answers costs this much, not their sum.
    static constexpr qint64 MAX_UNSENT_BYTES = 256 * 1024;

    // Takes socket over; the head time runs from now.
    HttpConnection(QTcpSocket *socket, int headTimeoutMs, qint64 maxBodyBytes, QObject *parent = nullptr);

    QHostAddress peer() const { return peerAddress; }

    // After headReceived: answers the request, and either waits for the next one or ends.
    void reply(const HttpReply &reply);
    // After headReceived, for a head whose length the caller has checked against
    // maxBodyBytes (no more is taken from the system): reads the body, then bodyReceived.
    void readBody();
    // After headReceived: the socket with the head still unread, for a WebSocket server to
    // read the handshake from. This object is gone after it.
    QTcpSocket *takeSocket();
    // Ends the connection at once.
    void abort();

signals:
    void headReceived(HttpConnection *connection, const HttpRequestHead &head);
    void bodyReceived(HttpConnection *connection, const QByteArray &body);
    // Once, when the connection has ended or its socket has been taken.
    void finished(HttpConnection *connection);

private:
    enum State { ReadingHead, Handling, ReadingBody, Lingering, Done };

    void onReadyRead();
    void onDeadline();
    void onPeerDone();
    void consumeHead();
    void refuse(int status, const QByteArray &text);
    void finish();

    QTcpSocket *socket;
    const QHostAddress peerAddress;
    const int headTimeoutMs;
    const qint64 maxBodyBytes;
    State state = ReadingHead;
    HttpRequestHead head;
    bool headConsumed = false;
    // Bytes of the client's that belong to this request and were not read.
    bool bodyPending = false;
    bool ended = false;
    // The client has closed its side (TLS close_notify): no request follows the one in hand.
    bool peerDone = false;
    QTimer deadline;
};
