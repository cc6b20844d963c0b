#include "remote/line_server.h"

#include "base/audit_operation.h"
#include "base/log_summary.h"
#include "control/command_set.h"
#include "remote/line_protocol.h"
#include "remote/line_session.h"
#include "remote/tls_listener.h"

#include <QDebug>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

const QByteArray LINE_END = QByteArrayLiteral("\r\n");

QString errorLine(int code, const QString &text)
{
    return lineprotocol::formatAnswer(RemoteAnswer::failure(code, text));
}

} // namespace

struct LineServer::Client
{
    LineSession *session = nullptr;
    QByteArray buffer;
    // Set while the rest of a line that was too long is thrown away.
    bool skipping = false;
    RateWindow rate;
    QHostAddress peer;
    bool signedIn = false;
    QTimer signInDeadline;
    // Set while an answer is held back (a wrong token): nothing more is read until it is out.
    QTimer held;
    QStringList heldLines;
};

LineServer::LineServer(CommandSet *core, ApiUsers *users, AuthThrottle *throttle, QObject *parent)
    : QObject(parent)
    , core(core)
    , users(users)
    , throttle(throttle)
    , plainServer(new TlsListener(this))
    , tlsServer(new TlsListener(this))
{
    for (TlsListener *listener : {plainServer, tlsServer})
        connect(listener, &QTcpServer::newConnection, this, [this, listener] { onNewConnection(listener); });
}

LineServer::~LineServer()
{
    close();
}

bool LineServer::listen(const QHostAddress &address, quint16 port)
{
    plainServer->setTls(QSslConfiguration(), &error);
    return listenOn(plainServer, address, port);
}

bool LineServer::listenTls(const QHostAddress &address, quint16 port, const QSslConfiguration &tls)
{
    if (!tlsServer->setTls(tls, &error)) {
        qWarning().noquote() << "Control API: the line protocol cannot serve TLS:" << error;
        return false;
    }
    return listenOn(tlsServer, address, port);
}

bool LineServer::listenOn(TlsListener *listener, const QHostAddress &address, quint16 port)
{
    listener->close();
    if (!listener->listen(address, port)) {
        error = listener->errorString();
        qWarning().noquote() << "Control API: cannot listen on" << address.toString() << "port" << port << ":"
                             << error;
        return false;
    }
    qInfo().noquote() << "Control API: line protocol" << (listener == tlsServer ? "over TLS" : "without TLS") << "on"
                      << address.toString() << "port" << listener->serverPort();
    return true;
}

void LineServer::close()
{
    plainServer->close();
    tlsServer->close();
    disconnectAll(QStringLiteral("the server is stopping"));
}

void LineServer::disconnectAll(const QString &reason)
{
    const QList<QTcpSocket *> sockets = clients.keys();
    for (QTcpSocket *socket : sockets) {
        send(socket, errorLine(Refused, reason));
        drop(socket, reason);
    }
}

void LineServer::disconnectUser(const QString &user, const QString &reason)
{
    const QList<QTcpSocket *> sockets = clients.keys();
    for (QTcpSocket *socket : sockets) {
        if (clients.value(socket)->session->user().compare(user, Qt::CaseInsensitive) != 0)
            continue;
        send(socket, errorLine(Refused, reason));
        drop(socket, reason);
    }
}

bool LineServer::isListening() const
{
    return plainServer->isListening() || tlsServer->isListening();
}

quint16 LineServer::serverPort() const
{
    return plainServer->serverPort();
}

quint16 LineServer::tlsPort() const
{
    return tlsServer->serverPort();
}

QString LineServer::errorString() const
{
    return error;
}

int LineServer::clientCount() const
{
    return clients.size();
}

void LineServer::onNewConnection(QTcpServer *listener)
{
    while (QTcpSocket *socket = listener->nextPendingConnection()) {
        const QString peer = socket->peerAddress().toString();
        const QString refusal = waitingRefusal(socket->peerAddress());
        if (!refusal.isEmpty()) {
            if (LogSummary::shared().admit(QtWarningMsg, QStringLiteral("Control API: refused"), peer))
                qWarning().noquote() << "Control API: refused" << peer << ":" << refusal;
            socket->write(errorLine(Busy, refusal).toUtf8() + LINE_END);
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromHost();
            QTimer::singleShot(CLOSE_WAIT_MS, socket, &QTcpSocket::abort);
            continue;
        }
        // What waits unread stays in the kernel, where TCP makes the sender wait too.
        socket->setReadBufferSize(4 * MAX_LINE_BYTES);
        auto *client = new Client;
        client->session = new LineSession(core, users, throttle, socket->peerAddress(), socket);
        client->peer = socket->peerAddress();
        client->signInDeadline.setSingleShot(true);
        client->signInDeadline.setInterval(signInTimeoutMs);
        connect(&client->signInDeadline, &QTimer::timeout, this, [this, socket] { onSignInTimeout(socket); });
        client->signInDeadline.start();
        client->held.setSingleShot(true);
        // A guesser waits at least the time asked for; a coarse timer may end up to 5 % early.
        client->held.setTimerType(Qt::PreciseTimer);
        connect(&client->held, &QTimer::timeout, this, [this, socket] { resume(socket); });
        clients.insert(socket, client);
        if (LogSummary::shared().admit(QtInfoMsg, QStringLiteral("Control API: client connected"), peer))
            qInfo().noquote() << "Control API: client" << peer << "connected";
        connect(client->session, &LineSession::eventLine, socket,
            [this, socket](const QString &line) { send(socket, line); });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket, QStringLiteral("it left")); });
        // A TLS client that has said all it will (its close_notify, as socat and nc-like tools
        // send at the end of their input) is closed once the lines that came before it are
        // answered; the connection would otherwise stay open, the client waiting for the
        // controller's own close_notify. Queued: the close may be read while an answer is
        // sent, in the middle of those lines.
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError error) {
            if (error == QAbstractSocket::RemoteHostClosedError)
                QMetaObject::invokeMethod(
                    socket, [this, socket] { drop(socket, QStringLiteral("it left")); }, Qt::QueuedConnection);
        });
    }
}

QString LineServer::waitingRefusal(const QHostAddress &peer) const
{
    int waiting = 0;
    int fromPeer = 0;
    for (const Client *client : clients) {
        if (client->signedIn)
            continue;
        ++waiting;
        if (client->peer.isEqual(peer))
            ++fromPeer;
    }
    if (fromPeer >= MAX_WAITING_PER_ADDRESS)
        return QStringLiteral("%1 connections from this address are waiting to sign in already")
            .arg(MAX_WAITING_PER_ADDRESS);
    if (waiting >= MAX_WAITING)
        return QStringLiteral("%1 connections are waiting to sign in already").arg(MAX_WAITING);
    return QString();
}

int LineServer::signedInCount() const
{
    return int(std::count_if(clients.cbegin(), clients.cend(), [](const Client *c) { return c->signedIn; }));
}

void LineServer::onSignInTimeout(QTcpSocket *socket)
{
    Client *client = clients.value(socket);
    if (!client || client->signedIn)
        return;
    send(socket,
        errorLine(NotAuthenticated, QStringLiteral("no sign-in within %1 seconds").arg(signInTimeoutMs / 1000.0)));
    drop(socket, QStringLiteral("it did not sign in in time"));
}

void LineServer::resume(QTcpSocket *socket)
{
    Client *client = clients.value(socket);
    if (!client)
        return;
    const QStringList lines = std::exchange(client->heldLines, {});
    for (const QString &line : lines)
        send(socket, line);
    if (!clients.contains(socket))
        return;
    if (client->session->finished()) {
        drop(socket, QStringLiteral("it gave wrong tokens"));
        return;
    }
    onReadyRead(socket);
}

void LineServer::onReadyRead(QTcpSocket *socket)
{
    Client *client = clients.value(socket);
    if (!client || client->held.isActive())
        return;
    client->buffer += socket->readAll();
    int end;
    while (clients.contains(socket) && !client->held.isActive() && (end = client->buffer.indexOf('\n')) >= 0) {
        QByteArray line = client->buffer.left(end);
        client->buffer.remove(0, end + 1);
        if (client->skipping) {
            client->skipping = false;
            continue;
        }
        if (line.size() > MAX_LINE_BYTES) {
            send(socket, errorLine(TooLarge, QStringLiteral("a line holds at most %1 bytes").arg(MAX_LINE_BYTES)));
            continue;
        }
        if (line.endsWith('\r'))
            line.chop(1);
        if (!client->rate.admit(COMMANDS_PER_SECOND)) {
            AuditOperation::refusedOften(QStringLiteral("command"), client->session->user(),
                socket->peerAddress().toString(), remoteErrorName(RateLimited));
            send(socket,
                errorLine(RateLimited, QStringLiteral("at most %1 commands a second").arg(COMMANDS_PER_SECOND)));
            continue;
        }
        QStringList lines = client->session->handleLine(QString::fromUtf8(line));
        if (client->session->authenticated() && !client->signedIn) {
            if (signedInCount() >= MAX_CLIENTS) {
                send(socket, errorLine(Busy, QStringLiteral("%1 clients are signed in already").arg(MAX_CLIENTS)));
                drop(socket, QStringLiteral("too many clients"));
                return;
            }
            client->signedIn = true;
            client->signInDeadline.stop();
        }
        if (const qint64 delay = client->session->takeAnswerDelay()) {
            client->heldLines = lines;
            client->held.start(int(delay));
            return;
        }
        for (const QString &out : lines)
            send(socket, out);
        if (!clients.contains(socket))
            return;
        if (client->session->finished())
            drop(socket, QStringLiteral("it quit"));
    }
    // The line end may still come; what came so far is answered once and thrown away.
    if (clients.contains(socket) && client->buffer.size() > MAX_LINE_BYTES) {
        if (!client->skipping)
            send(socket, errorLine(TooLarge, QStringLiteral("a line holds at most %1 bytes").arg(MAX_LINE_BYTES)));
        client->skipping = true;
        client->buffer.clear();
    }
}

void LineServer::send(QTcpSocket *socket, const QString &line)
{
    if (!clients.contains(socket))
        return;
    socket->write(line.toUtf8() + LINE_END);
    // Out at once: a client that sends its commands and then closes its side (nc, socat at
    // the end of their input) would otherwise lose the answers, as the toolkit drops what
    // it still holds when it sees that close.
    socket->flush();
    // A client that does not read would make the controller keep every event for it.
    if (socket->bytesToWrite() > MAX_QUEUED_BYTES) {
        const QString peer = socket->peerAddress().toString();
        if (LogSummary::shared().admit(QtWarningMsg, QStringLiteral("Control API: dropped"), peer))
            qWarning().noquote() << "Control API: dropped" << peer << "with" << socket->bytesToWrite()
                                 << "bytes it has not read";
        socket->abort();
        drop(socket, QStringLiteral("it did not read"));
    }
}

void LineServer::drop(QTcpSocket *socket, const QString &reason)
{
    Client *client = clients.take(socket);
    if (!client)
        return;
    const QString peer = socket->peerAddress().toString();
    if (LogSummary::shared().admit(QtInfoMsg, QStringLiteral("Control API: client gone"), peer))
        qInfo().noquote() << "Control API: client" << peer << "gone:" << reason;
    delete client;
    socket->disconnect(this);
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    // A peer that never reads would keep the last lines, and the socket, for ever.
    QTimer::singleShot(CLOSE_WAIT_MS, socket, &QTcpSocket::abort);
}
