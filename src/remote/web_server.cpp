#include "remote/web_server.h"

#include "base/audit_operation.h"
#include "base/audit_scope.h"
#include "base/log_summary.h"
#include "control/command_set.h"
#include "remote/api_users.h"
#include "remote/auth_throttle.h"
#include "remote/device_pairing.h"
#include "remote/http_connection.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

namespace {

constexpr int CHALLENGE_BYTES = 16;
// HTTP client addresses whose command rate is followed at once.
constexpr int MAX_HTTP_RATES = 1024;
// Session tickets for the page's picture requests: as hard to guess as the token.
constexpr int TICKET_BYTES = 24;

QByteArray randomText(int bytes)
{
    QByteArray random(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(random.data()), bytes / 4);
    return random.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

HttpReply jsonReply(int status, const QByteArray &body)
{
    HttpReply reply(status, QByteArrayLiteral("application/json"), body);
    reply.add("Cache-Control", "no-store");
    return reply;
}

HttpReply errorReply(int status, int code, const QString &message)
{
    return jsonReply(status, jsonrpc::error(code, message));
}

} // namespace

WebServer::WebServer(CommandSet *core, ApiUsers *users, AuthThrottle *throttle, DevicePairing *pairing, QObject *parent)
    : QObject(parent)
    , core(core)
    , users(users)
    , throttle(throttle)
    , pairing(pairing)
    , webSockets(new QWebSocketServer(QStringLiteral("zentrova"), QWebSocketServer::NonSecureMode, this))
{
    connect(core, &CommandSet::event, this, &WebServer::onCoreEvent);
    connect(&listener, &QTcpServer::newConnection, this, &WebServer::onHttpConnection);
    connect(webSockets, &QWebSocketServer::newConnection, this, &WebServer::onWebSocket);
}

WebServer::~WebServer()
{
    stop();
}

bool WebServer::start(const WebServerConfig &wanted)
{
    stop();
    config = wanted;
    error.clear();
    const bool tls = !config.tls.isNull();
    if (config.address.protocol() != QAbstractSocket::IPv4Protocol) {
        error = tr("The control API listens on IPv4 addresses only, not on %1.").arg(config.address.toString());
        return false;
    }
    if (!listener.setTls(config.tls, &error)) {
        error = tr("The control API cannot serve TLS: %1").arg(error);
        qWarning().noquote() << error;
        return false;
    }
    if (!listener.listen(config.address, config.port)) {
        error = tr("The control API cannot listen on %1 port %2: %3")
                    .arg(config.address.toString())
                    .arg(config.port)
                    .arg(listener.errorString());
        qWarning().noquote() << error;
        return false;
    }
    // A handshake's head is complete before it is handed over; this only ends one whose
    // client does not take the answer.
    webSockets->setHandshakeTimeout(config.requestTimeoutMs);
    origins.setOwn(tls, config.port, OriginPolicy::ownHosts(config.address.toString()));
    qInfo() << "control API on" << (tls ? "https/wss" : "http/ws")
            << config.address.toString() + QLatin1Char(':') + QString::number(config.port);
    return true;
}

void WebServer::stop()
{
    listener.close();
    for (HttpConnection *connection : httpConnections.keys())
        connection->abort();
    httpConnections.clear();
    for (WebClient *client : clients.values()) {
        disconnect(client, nullptr, this, nullptr);
        delete client;
    }
    clients.clear();
    handshakes.clear();
    tickets.clear();
    httpRates.clear();
}

void WebServer::disconnectAll(const QString &reason)
{
    for (WebClient *client : clients.values()) {
        sendTo(client, QString::fromUtf8(jsonrpc::error(Refused, reason)));
        client->close(reason);
    }
}

void WebServer::disconnectUser(const QString &user, const QString &reason)
{
    for (WebClient *client : clients.values()) {
        if (!client->session.authenticated || client->session.user.compare(user, Qt::CaseInsensitive) != 0)
            continue;
        sendTo(client, QString::fromUtf8(jsonrpc::error(Refused, reason)));
        client->close(reason);
    }
}

bool WebServer::ticketValid(const QByteArray &ticket) const
{
    return !ticket.isEmpty() && tickets.contains(ticket);
}

// --- HTTP -----------------------------------------------------------------------------

void WebServer::onHttpConnection()
{
    while (QTcpSocket *socket = listener.nextPendingConnection()) {
        const QHostAddress peer = socket->peerAddress();
        int fromPeer = 0;
        for (const QHostAddress &address : qAsConst(httpConnections))
            fromPeer += address.isEqual(peer) ? 1 : 0;
        if (httpConnections.size() >= config.maxHttp || fromPeer >= config.maxHttpPerAddress) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *connection = new HttpConnection(socket, config.requestTimeoutMs, config.maxMessageBytes, this);
        httpConnections.insert(connection, peer);
        connect(connection, &HttpConnection::headReceived, this, &WebServer::onHead);
        connect(connection, &HttpConnection::bodyReceived, this, &WebServer::onCommandBody);
        connect(connection, &HttpConnection::finished, this, [this](HttpConnection *finished) {
            httpConnections.remove(finished);
            bodyUsers.remove(finished);
            pairBodies.remove(finished);
        });
    }
}

void WebServer::onHead(HttpConnection *connection, const HttpRequestHead &head)
{
    const QHostAddress peer = connection->peer();
    const auto refuse = [connection](int status, int code, const QString &message) {
        HttpReply reply = errorReply(status, code, message);
        reply.close = true;
        connection->reply(reply);
    };
    // A browser page of another origin gets nothing, not even whether the path exists.
    if (head.hasField("Origin") && !origins.allows(head.field("Origin")))
        return refuse(403, Refused, QStringLiteral("requests from other web pages are refused"));
    if (head.path == WEBSOCKET_PATH) {
        if (!head.isUpgrade())
            return refuse(400, BadArguments, QStringLiteral("/ws speaks WebSocket only"));
        const QString refusal = waitingRefusal(peer);
        if (!refusal.isEmpty())
            return refuse(503, Busy, refusal);
        return upgrade(connection);
    }
    if (head.path == PAIR_PATH) {
        if (head.method != "POST")
            return refuse(405, BadArguments, QStringLiteral("use POST"));
        if (head.contentLength > MAX_PAIR_BYTES)
            return refuse(
                413, TooLarge, QStringLiteral("a pairing request holds at most %1 bytes").arg(MAX_PAIR_BYTES));
        pairBodies.insert(connection);
        return connection->readBody();
    }
    const bool state = head.path == STATE_PATH;
    if (state || head.path == COMMAND_PATH) {
        if (head.method != (state ? "GET" : "POST"))
            return refuse(405, BadArguments, state ? QStringLiteral("use GET") : QStringLiteral("use POST"));
        // The token first: a stranger's body is never read, so sending one slowly holds nothing.
        const QString user = httpUser(head.field("Authorization"), peer);
        if (user.isEmpty()) {
            HttpReply reply = errorReply(
                401, NotAuthenticated, QStringLiteral("send the token as \"Authorization: Bearer TOKEN\""));
            reply.add("WWW-Authenticate", "Bearer");
            reply.close = true;
            return connection->reply(reply);
        }
        if (head.contentLength > config.maxMessageBytes)
            return refuse(
                413, TooLarge, QStringLiteral("a request holds at most %1 bytes").arg(config.maxMessageBytes));
        if (!state) {
            bodyUsers.insert(connection, user);
            return connection->readBody();
        }
        if (!httpRate(peer).admit(config.commandsPerSecond)) {
            AuditOperation::refusedOften(QStringLiteral("state"), user, peer.toString(), remoteErrorName(RateLimited));
            return connection->reply(errorReply(
                429, RateLimited, QStringLiteral("more than %1 requests in one second").arg(config.commandsPerSecond)));
        }
        return connection->reply(jsonReply(200, QJsonDocument(core->state()).toJson(QJsonDocument::Compact)));
    }
    HttpReply reply;
    if (extraPaths && extraPaths(head, peer, &reply)) {
        // A refused guess costs the guesser a new connection each time.
        reply.close = reply.close || reply.status == 401;
        return connection->reply(reply);
    }
    connection->reply(errorReply(
        404, NotFound, QStringLiteral("no such path; the API is at /ws, /api/state, /api/command and /api/pair")));
}

void WebServer::onCommandBody(HttpConnection *connection, const QByteArray &body)
{
    if (pairBodies.remove(connection))
        return onPairBody(connection, body);
    RateWindow &rate = httpRate(connection->peer());
    const QByteArray answer = jsonrpc::handle(
        body,
        [&](const jsonrpc::Call &call) {
            if (!rate.admit(config.commandsPerSecond)) {
                AuditOperation::refusedOften(call.method, bodyUsers.value(connection), connection->peer().toString(),
                    remoteErrorName(RateLimited));
                return RemoteAnswer::failure(
                    RateLimited, QStringLiteral("more than %1 commands in one second").arg(config.commandsPerSecond));
            }
            return executeAs(bodyUsers.value(connection), connection->peer(), call);
        },
        true);
    bodyUsers.remove(connection);
    connection->reply(jsonReply(200, answer));
}

void WebServer::onPairBody(HttpConnection *connection, const QByteArray &body)
{
    QString user;
    QString error;
    const QString credential = pairing->trade(
        QJsonDocument::fromJson(body).object().value(QStringLiteral("code")).toString(), &user, &error);
    if (credential.isEmpty()) {
        AuditOperation::refusedOften(
            QStringLiteral("pair"), QString(), connection->peer().toString(), remoteErrorName(Refused), error);
        HttpReply reply = errorReply(403, Refused, error + QStringLiteral("; ask for a new code"));
        reply.close = true;
        // As a wrong token: the guesser waits, and needs a new connection for the next guess.
        const qint64 wait = throttle->failed(connection->peer());
        QTimer::singleShot(int(wait), Qt::PreciseTimer, connection, [connection, reply] { connection->reply(reply); });
        return;
    }
    Actor actor;
    users->actor(user, &actor);
    // The device made itself a user: it is the one acting, from its address.
    const AuditScope scope(user, connection->peer().toString());
    AuditOperation record(QStringLiteral("pair"), user);
    record.setAfter(actor.toJson());
    QJsonObject result {{QStringLiteral("user"), actor.toJson()}, {QStringLiteral("credential"), credential}};
    if (!error.isEmpty())
        result.insert(QStringLiteral("note"), error);
    connection->reply(jsonReply(200, QJsonDocument(result).toJson(QJsonDocument::Compact)));
}

QString WebServer::httpUser(const QByteArray &authorization, const QHostAddress &peer)
{
    const QByteArray scheme = QByteArrayLiteral("Bearer ");
    const bool bearer = authorization.size() > scheme.size()
        && authorization.left(scheme.size()).compare(scheme, Qt::CaseInsensitive) == 0;
    // Checked whatever failed from this address before: a right credential is never kept out.
    const QString user
        = bearer ? users->signIn(QString::fromUtf8(authorization.mid(scheme.size()).trimmed()), peer,
                       ApiUsers::SignInKind::Request)
                 : QString();
    // No wait here: a guess costs the guesser a connection each time, as the refusal closes it.
    if (user.isEmpty())
        throttle->failed(peer);
    return user;
}

RemoteAnswer WebServer::executeAs(const QString &user, const QHostAddress &peer, const jsonrpc::Call &call)
{
    Actor actor;
    if (!users->actor(user, &actor))
        return RemoteAnswer::failure(NotAuthenticated, QStringLiteral("this user was revoked"));
    actor.address = peer.toString();
    return core->execute(actor, call.method, call.params);
}

RateWindow &WebServer::httpRate(const QHostAddress &peer)
{
    // A window lasts one second: forgetting them all costs at most a second of counting.
    if (!httpRates.contains(peer) && httpRates.size() >= MAX_HTTP_RATES)
        httpRates.clear();
    return httpRates[peer];
}

// --- WebSocket ------------------------------------------------------------------------

void WebServer::upgrade(HttpConnection *connection)
{
    // The WebSocket server reads the handshake itself, from the head this connection left
    // unread. Until it is through, the connection holds a waiting place.
    QTcpSocket *socket = connection->takeSocket();
    const Handshake handshake(socket->peerAddress(), socket->peerPort());
    handshakes.insert(handshake);
    connect(socket, &QTcpSocket::disconnected, this, [this, handshake] { handshakes.remove(handshake); });
    webSockets->handleConnection(socket);
}

QString WebServer::waitingRefusal(const QHostAddress &peer) const
{
    int waiting = handshakes.size();
    int fromPeer = 0;
    int signedIn = 0;
    for (const Handshake &handshake : handshakes)
        fromPeer += handshake.first.isEqual(peer) ? 1 : 0;
    for (const WebClient *client : clients) {
        if (client->session.authenticated) {
            ++signedIn;
            continue;
        }
        ++waiting;
        if (client->peer.isEqual(peer))
            ++fromPeer;
    }
    if (signedIn >= config.maxClients)
        return QStringLiteral("%1 clients are connected already, no more are taken").arg(config.maxClients);
    if (fromPeer >= config.maxWaitingPerAddress)
        return QStringLiteral("%1 connections from this address are waiting to sign in already")
            .arg(config.maxWaitingPerAddress);
    if (waiting >= config.maxWaiting)
        return QStringLiteral("%1 connections are waiting to sign in already").arg(config.maxWaiting);
    return QString();
}

void WebServer::onWebSocket()
{
    while (QWebSocket *socket = webSockets->nextPendingConnection()) {
        handshakes.remove(Handshake(socket->peerAddress(), socket->peerPort()));
        if (!isRunning()) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // Refused from the frame's header, before its payload is read (close code 1009).
        socket->setMaxAllowedIncomingFrameSize(quint64(config.maxMessageBytes));
        socket->setMaxAllowedIncomingMessageSize(quint64(config.maxMessageBytes));
        auto *client = new WebClient(socket, config.maxQueuedBytes, config.pingIntervalMs, this);
        clients.insert(client);
        connect(client, &WebClient::textReceived, this, &WebServer::onClientMessage);
        connect(client, &WebClient::binaryReceived, this, [this](WebClient *from) {
            sendTo(
                from, QString::fromUtf8(jsonrpc::error(BadArguments, QStringLiteral("messages are JSON text frames"))));
        });
        connect(client, &WebClient::gone, this, &WebServer::onClientGone);
        QTimer::singleShot(config.signInTimeoutMs, client, [this, client] { onSignInDeadline(client); });
        client->session.challenge = randomText(CHALLENGE_BYTES);
        QStringList methods = core->methods();
        methods << QStringLiteral("auth") << QStringLiteral("subscribe") << QStringLiteral("unsubscribe");
        sendTo(client,
            QString::fromUtf8(jsonrpc::notification(QStringLiteral("hello"),
                {{QStringLiteral("protocol"), PROTOCOL_VERSION},
                    {QStringLiteral("salt"), QString::fromLatin1(users->salt())},
                    {QStringLiteral("challenge"), QString::fromLatin1(client->session.challenge)},
                    {QStringLiteral("methods"), QJsonArray::fromStringList(methods)}})));
    }
}

void WebServer::sendTo(WebClient *client, const QString &message)
{
    if (!client->send(message)
        && LogSummary::shared().admit(
            QtWarningMsg, QStringLiteral("control API: dropped WebSocket client"), client->peer.toString()))
        qWarning() << "control API: dropped WebSocket client" << client->peer.toString() << "that does not read";
}

void WebServer::onSignInDeadline(WebClient *client)
{
    if (client->session.authenticated || client->session.failed)
        return;
    client->session.failed = true;
    sendTo(client,
        QString::fromUtf8(jsonrpc::error(
            NotAuthenticated, QStringLiteral("no sign-in within %1 seconds").arg(config.signInTimeoutMs / 1000.0))));
    client->close(QStringLiteral("no sign-in in time"));
}

void WebServer::onClientMessage(WebClient *client, const QString &text)
{
    if (client->session.failed)
        return;
    bool closeAfter = false;
    qint64 delay = 0;
    const QByteArray answer = jsonrpc::handle(
        text.toUtf8(), [&](const jsonrpc::Call &call) { return sessionCall(*client, call, &closeAfter, &delay); },
        false);
    if (!closeAfter) {
        if (!answer.isEmpty())
            sendTo(client, QString::fromUtf8(answer));
        return;
    }
    client->session.failed = true;
    // A failed sign-in is answered late when its address has failed often: the guesser's
    // connection waits, not the clients that sign in right.
    const auto refuse = [this, client, answer] {
        if (!answer.isEmpty())
            sendTo(client, QString::fromUtf8(answer));
        client->close(QStringLiteral("authentication failed"));
    };
    if (delay > 0)
        QTimer::singleShot(int(delay), Qt::PreciseTimer, client, refuse);
    else
        refuse();
}

RemoteAnswer WebServer::sessionCall(WebClient &client, const jsonrpc::Call &call, bool *closeAfter, qint64 *delay)
{
    WebClient::Session &session = client.session;
    if (*closeAfter)
        return RemoteAnswer::failure(NotAuthenticated, QStringLiteral("authentication failed; connect again"));
    if (!session.rate.admit(config.commandsPerSecond)) {
        AuditOperation::refusedOften(call.method, session.user, client.peer.toString(), remoteErrorName(RateLimited));
        return RemoteAnswer::failure(
            RateLimited, QStringLiteral("more than %1 commands in one second").arg(config.commandsPerSecond));
    }
    if (call.method == QLatin1String("auth"))
        return authenticate(client, call.params, closeAfter, delay);
    if (!session.authenticated)
        return RemoteAnswer::failure(
            NotAuthenticated, QStringLiteral("answer the greeting's challenge with \"auth\" first"));
    if (call.method == QLatin1String("subscribe") || call.method == QLatin1String("unsubscribe")) {
        session.subscribed = call.method == QLatin1String("subscribe");
        return RemoteAnswer::success(QJsonObject {{QStringLiteral("subscribed"), session.subscribed}});
    }
    return executeAs(session.user, client.peer, call);
}

RemoteAnswer WebServer::authenticate(WebClient &client, const QJsonObject &params, bool *closeAfter, qint64 *delay)
{
    WebClient::Session &session = client.session;
    const auto signedIn = [&session] {
        return RemoteAnswer::success(QJsonObject {
            {QStringLiteral("authenticated"), true}, {QStringLiteral("ticket"), QString::fromLatin1(session.ticket)}});
    };
    if (session.authenticated)
        return signedIn();
    // One challenge, one try: a client that failed gets a fresh challenge only by connecting again.
    *closeAfter = true;
    const QByteArray nonce = params.value(QStringLiteral("nonce")).toString().toUtf8();
    const QByteArray proof = params.value(QStringLiteral("proof")).toString().toLatin1();
    QByteArray serverSignature;
    const bool wellFormed = !nonce.isEmpty() && nonce.size() <= ApiToken::MAX_NONCE_BYTES && !nonce.contains(',');
    const QString user = wellFormed ? users->signInByProof(ApiToken::authMessage(users->salt(), session.challenge, nonce),
                                          proof, &serverSignature, client.peer)
                                    : QString();
    if (user.isEmpty()) {
        *delay = throttle->failed(client.peer);
        if (params.contains(QStringLiteral("response")))
            return RemoteAnswer::failure(NotAuthenticated,
                QStringLiteral("this controller asks for a proof (protocol %1); update the client")
                    .arg(PROTOCOL_VERSION));
        return RemoteAnswer::failure(NotAuthenticated, QStringLiteral("wrong proof for the challenge"));
    }
    int signedInNow = 0;
    for (const WebClient *other : qAsConst(clients))
        signedInNow += other->session.authenticated ? 1 : 0;
    if (signedInNow >= config.maxClients)
        return RemoteAnswer::failure(
            Busy, QStringLiteral("%1 clients are connected already, no more are taken").arg(config.maxClients));
    *closeAfter = false;
    session.authenticated = true;
    session.user = user;
    session.ticket = randomText(TICKET_BYTES);
    tickets.insert(session.ticket, &client);
    RemoteAnswer answer = signedIn();
    QJsonObject result = answer.result.toObject();
    result.insert(QStringLiteral("server"), QString::fromLatin1(serverSignature));
    result.insert(QStringLiteral("user"), executeAs(user, client.peer, {QStringLiteral("whoami"), {}}).result);
    answer.result = result;
    return answer;
}

void WebServer::onClientGone(WebClient *client)
{
    tickets.remove(client->session.ticket);
    clients.remove(client);
}

void WebServer::onCoreEvent(const QString &name, const QJsonObject &data)
{
    if (clients.isEmpty())
        return;
    // Made once, shared by every client.
    const QString message = QString::fromUtf8(jsonrpc::notification(
        QStringLiteral("event"), {{QStringLiteral("name"), name}, {QStringLiteral("data"), data}}));
    for (WebClient *client : clients.values()) {
        if (client->session.authenticated && client->session.subscribed)
            sendTo(client, message);
    }
}
