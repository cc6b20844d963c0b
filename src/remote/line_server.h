#pragma once

#include "control/rate_window.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSslConfiguration>

class ApiUsers;
class AuthThrottle;
class LineSession;
class QTcpServer;
class QTcpSocket;
class TlsListener;
class CommandSet;

// The line protocol on TCP, for control processors and `nc`, on a TLS port, a plain one or
// both; their clients share the limits. Every limit answers with an error line the client
// can read before anything is cut off.
class LineServer : public QObject
{
    Q_OBJECT

public:
    // Signed-in clients at once.
    static constexpr int MAX_CLIENTS = 64;
    // Connections not yet signed in have a pool of their own, so that strangers never take a
    // signed-in client's place, and a share of it per address, so that one stranger cannot
    // take the whole pool from the others.
    static constexpr int MAX_WAITING = 32;
    static constexpr int MAX_WAITING_PER_ADDRESS = 4;
    // A connection that has not signed in by then is closed.
    static constexpr int SIGN_IN_TIMEOUT_MS = 10000;
    static constexpr int MAX_LINE_BYTES = 4096;
    // Commands a client may send in one second; more are answered with rate_limited.
    static constexpr int COMMANDS_PER_SECOND = RateWindow::COMMANDS_PER_SECOND;
    // Bytes of events waiting for a client that does not read; past it the client is dropped.
    static constexpr qint64 MAX_QUEUED_BYTES = 256 * 1024;
    // How long a closing connection may take to hand over its last lines.
    static constexpr int CLOSE_WAIT_MS = 5000;

    LineServer(CommandSet *core, ApiUsers *users, AuthThrottle *throttle, QObject *parent = nullptr);
    ~LineServer() override;

    // The plain port. False, with errorString, when the address and port cannot be taken.
    bool listen(const QHostAddress &address, quint16 port);
    // The TLS port, likewise.
    bool listenTls(const QHostAddress &address, quint16 port, const QSslConfiguration &tls);
    // Both ports, and every client.
    void close();
    // Tells every client why and closes its connection (a new token cuts them off).
    void disconnectAll(const QString &reason);
    // The same for the clients signed in as user.
    void disconnectUser(const QString &user, const QString &reason);
    // Either port.
    bool isListening() const;
    quint16 serverPort() const;
    quint16 tlsPort() const;
    QString errorString() const;
    int clientCount() const;
    // For tests: a shorter sign-in deadline, for connections made after the call.
    void setSignInTimeout(int ms) { signInTimeoutMs = ms; }

private:
    struct Client;

    bool listenOn(TlsListener *listener, const QHostAddress &address, quint16 port);
    void onNewConnection(QTcpServer *listener);
    void onReadyRead(QTcpSocket *socket);
    void onSignInTimeout(QTcpSocket *socket);
    void resume(QTcpSocket *socket);
    // Refusal text when a new connection from peer may not wait for its sign-in; empty if it may.
    QString waitingRefusal(const QHostAddress &peer) const;
    int signedInCount() const;
    void send(QTcpSocket *socket, const QString &line);
    void drop(QTcpSocket *socket, const QString &reason);

    CommandSet *core;
    ApiUsers *users;
    AuthThrottle *throttle;
    TlsListener *plainServer;
    TlsListener *tlsServer;
    QString error;
    QHash<QTcpSocket *, Client *> clients;
    int signInTimeoutMs = SIGN_IN_TIMEOUT_MS;
};
