#pragma once

#include "control/rate_window.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

class QWebSocket;

// One WebSocket connection of the control API and its session. What is sent waits in the
// socket's own buffer; past a bound (in bytes, so that a burst of small events fits where a
// backlog of large answers does not) the client is taken for one that does not read and is
// dropped, so that it costs bounded memory and never holds up the other clients.
class WebClient : public QObject
{
    Q_OBJECT

public:
    // A client told to leave that has not gone after this long is cut off.
    static constexpr int CLOSE_GRACE_MS = 2000;
    // Every client is pinged this often, and one that has not answered by the next ping is
    // taken for gone: a peer that vanished without a word (a phone that left the Wi-Fi) would
    // otherwise keep its place until a send failed, which may be never for a quiet installation.
    static constexpr int PING_INTERVAL_MS = 30000;

    // Takes socket over, with its frame and message limits already set.
    WebClient(QWebSocket *socket, qint64 maxQueuedBytes, int pingIntervalMs, QObject *parent = nullptr);

    // False when this message would overflow the bound: the client has then been dropped.
    // Messages after a close or a drop are discarded.
    bool send(const QString &message);
    // Sends what is queued, then a close frame with this reason; ends the connection if the
    // peer does not.
    void close(const QString &reason);

    const QHostAddress peer;

    struct Session
    {
        QByteArray challenge;
        // Given after sign-in, for the page's picture requests; dies with the session.
        QByteArray ticket;
        // Set once its one try at signing in failed: nothing else is taken from it.
        bool failed = false;
        bool authenticated = false;
        // The user signed in as.
        QString user;
        bool subscribed = false;
        RateWindow rate;
    } session;

signals:
    void textReceived(WebClient *client, const QString &message);
    void binaryReceived(WebClient *client);
    // Once, when the connection has ended; the client is deleted later.
    void gone(WebClient *client);

private:
    void onDisconnected();
    void onPingDue();

    QWebSocket *socket;
    const qint64 maxQueuedBytes;
    bool closing = false;
    bool ended = false;
    QTimer pings;
    bool pongAwaited = false;
};
