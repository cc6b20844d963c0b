#include "remote/web_server.h"

#include "control/command_set.h"
#include "platform/platform.h"
#include "remote/api_token.h"
#include "remote/auth_throttle.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTimer>

#include <civetweb.h>
#include <chrono>
#include <thread>
#include <algorithm>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Extra workers beyond the WebSocket clients (each of which holds one for its whole life),
// for HTTP requests and for refusing clients over the limit with a readable answer.
constexpr int SPARE_WORKERS = 8;
constexpr int CHALLENGE_BYTES = 16;
// Messages of one client on their way to the GUI thread, in full messages; a client that
// sends faster than the GUI thread can even refuse it is cut off. A refused message counts
// as a small one, though only its refusal travels.
constexpr int MAX_IN_FLIGHT_MESSAGES = 4;
constexpr qint64 REFUSAL_BYTES = 64;
// Dead peers: civetweb pings after this much silence.
constexpr const char *WEBSOCKET_TIMEOUT_MS = "30000";
// civetweb keeps a WebSocket for as long as its peer neither answers a close nor sends
// anything: one that has not gone this long after its close is ended from here.
constexpr int CLOSE_GRACE_MS = 2000;
// How long a stop waits for clients told to close to answer their close frames.
constexpr int STOP_CLOSE_WAIT_MS = 500;
// How long a write to a peer that does not read may block its writer thread.
constexpr const char *REQUEST_TIMEOUT_MS = "10000";
// What is taken of a refused request's body at most, in time and bytes, before reading ends.
constexpr qint64 REFUSED_BODY_MS = 1000;
constexpr qint64 REFUSED_BODY_BYTES = 128 * 1024;
// HTTP client addresses whose command rate is followed at once.
constexpr int MAX_HTTP_RATES = 1024;

// Session tickets for the page's picture requests: as hard to guess as the token.
constexpr int TICKET_BYTES = 24;

enum Refusal { Accepted, Oversized, NotText, Fragmented };

QByteArray randomText(int bytes)
{
    QByteArray random(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(random.data()), bytes / 4);
    return random.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

WebServer *serverOf(const mg_connection *connection)
{
    return static_cast<WebServer *>(mg_get_user_data(mg_get_context(connection)));
}

QHostAddress peerOf(const mg_connection *connection)
{
    return QHostAddress(QString::fromLatin1(mg_get_request_info(connection)->remote_addr));
}

bool isUpgrade(const mg_connection *connection)
{
    const char *upgrade = mg_get_header(connection, "Upgrade");
    return upgrade && mg_strcasecmp(upgrade, "websocket") == 0;
}

// civetweb reads a refused request's body to its end before it lets the connection go, one
// trickled byte after another for as long as the sender likes, holding a thread. The refusal
// is sent before any of the body is read; then a little more is taken (so that a client that
// writes its whole body before it reads still finds the answer, rather than a reset) and
// reading ends, also when the body ended or stalled. Called on the thread serving the connection.
void endRefusedBody(mg_connection *connection, int status)
{
    const mg_request_info *request = mg_get_request_info(connection);
    const bool body = request->content_length > 0 || mg_get_header(connection, "Transfer-Encoding");
    if (status < 400 || !body)
        return;
    QElapsedTimer spent;
    spent.start();
    // A byte at a time: civetweb returns from a read only when it has all it was asked for,
    // and a trickling sender would never let a larger one finish.
    qint64 drained = 0;
    char byte;
    while (spent.elapsed() < REFUSED_BODY_MS && drained < REFUSED_BODY_BYTES && mg_read(connection, &byte, 1) == 1)
        ++drained;
    platform::stopReading(
        quint16(request->server_port), QString::fromLatin1(request->remote_addr), quint16(request->remote_port));
}

void sendJson(mg_connection *connection, int status, const QByteArray &body, bool askForToken = false)
{
    if (isUpgrade(connection)) {
        // civetweb's header functions send nothing for a WebSocket handshake it was not let
        // finish, so the refusal is written out by hand; the connection ends with it.
        mg_printf(connection,
            "HTTP/1.1 %d %s\r\nContent-Type: application/json\r\nContent-Length: %d\r\nConnection: close\r\n\r\n",
            status, mg_get_response_code_text(connection, status), int(body.size()));
        mg_write(connection, body.constData(), size_t(body.size()));
        return;
    }
    mg_response_header_start(connection, status);
    mg_response_header_add(connection, "Content-Type", "application/json", -1);
    mg_response_header_add(connection, "Cache-Control", "no-store", -1);
    if (askForToken) {
        mg_response_header_add(connection, "WWW-Authenticate", "Bearer", -1);
        mg_response_header_add(connection, "Connection", "close", -1);
    }
    const std::string length = std::to_string(body.size());
    mg_response_header_add(connection, "Content-Length", length.c_str(), -1);
    mg_response_header_send(connection);
    mg_write(connection, body.constData(), size_t(body.size()));
    endRefusedBody(connection, status);
}

int sendError(mg_connection *connection, int status, int code, const QString &message)
{
    sendJson(connection, status, jsonrpc::error(code, message), code == NotAuthenticated);
    return status;
}

void logStalled(const WebClient &client)
{
    qWarning() << "control API: dropped WebSocket client" << client.peer.toString() << "that does not read";
}

} // namespace

WebServer::WebServer(CommandSet *core, const ApiToken *token, AuthThrottle *throttle, QObject *parent)
    : QObject(parent)
    , core(core)
    , token(token)
    , throttle(throttle)
    , handOver(this)
{
    clock.start();
    connect(core, &CommandSet::event, this, &WebServer::onCoreEvent);
}

WebServer::~WebServer()
{
    stop();
}

bool WebServer::tlsAvailable()
{
    // Debian's civetweb reports TLS as built in but loads OpenSSL only at run time, and a
    // server that then failed to load it crashes on the first TLS connection: ask whether
    // loading worked, not whether it was built.
    static const bool available = [] {
        const unsigned features = mg_init_library(MG_FEATURES_TLS);
        mg_exit_library();
        return (features & MG_FEATURES_TLS) != 0;
    }();
    return available;
}

bool WebServer::start(const WebServerConfig &wanted)
{
    stop();
    config = wanted;
    error.clear();
    const bool tls = !config.tlsCertificate.isEmpty() || !config.tlsKey.isEmpty();
    if (config.address.protocol() != QAbstractSocket::IPv4Protocol) {
        error = tr("The control API listens on IPv4 addresses only, not on %1.").arg(config.address.toString());
        return false;
    }
    if (tls
        && (config.tlsCertificate.isEmpty() || (!config.tlsKey.isEmpty() && config.tlsKey != config.tlsCertificate))) {
        error = tr("For TLS, name one PEM file that holds both the certificate and its key.");
        return false;
    }
    if (tls && !tlsAvailable()) {
        error = tr("TLS was asked for, but this system's civetweb cannot load OpenSSL; the server stays off.");
        return false;
    }

    const QString listen = config.address.toString() + QLatin1Char(':') + QString::number(config.port)
        + (tls ? QStringLiteral("s") : QString());
    const std::string ports = listen.toStdString();
    const std::string threads = std::to_string(config.maxClients + config.maxWaiting + SPARE_WORKERS);
    const std::string certificate = config.tlsCertificate.toStdString();
    // No document root: nothing is served from disk, so no files, listings, CGI or SSI.
    std::vector<const char *> options = {"listening_ports", ports.c_str(), "num_threads", threads.c_str(),
        "enable_directory_listing", "no", "enable_keep_alive", "yes", "tcp_nodelay", "1", "request_timeout_ms",
        REQUEST_TIMEOUT_MS, "websocket_timeout_ms", WEBSOCKET_TIMEOUT_MS, "enable_websocket_ping_pong", "yes",
        "access_control_allow_origin", "", "decode_url", "yes"};
    if (tls) {
        options.push_back("ssl_certificate");
        options.push_back(certificate.c_str());
    }
    options.push_back(nullptr);

    origins.setOwn(tls, config.port, OriginPolicy::ownHosts(config.address.toString()));
    handOver.resume();

    mg_callbacks callbacks {};
    callbacks.begin_request = &WebServer::onBeginRequest;
    callbacks.connection_closed = &WebServer::onConnectionClosed;
    callbacks.log_message = &WebServer::onLogMessage;
    char text[256] = {};
    unsigned code = 0;
    mg_error_data failure {&code, text, sizeof text};
    mg_init_data init {&callbacks, this, options.data()};
    mg_init_library(tls ? MG_FEATURES_TLS | MG_FEATURES_WEBSOCKET : MG_FEATURES_WEBSOCKET);
    context = mg_start2(&init, &failure);
    if (!context) {
        mg_exit_library();
        error
            = tr("The control API cannot listen on %1: %2").arg(QString::fromStdString(ports), QString::fromUtf8(text));
        qWarning() << error;
        return false;
    }
    mg_set_websocket_handler(context, WEBSOCKET_PATH, &WebServer::onWebSocketConnect, &WebServer::onWebSocketReady,
        &WebServer::onWebSocketData, &WebServer::onWebSocketClose, this);
    qInfo() << "control API on" << (tls ? "https/wss" : "http/ws") << QString::fromStdString(ports);
    return true;
}

void WebServer::stop()
{
    if (!context)
        return;
    // Clients just told why they are closed answer with a close frame of their own; torn down
    // before that, their sockets would be reset and the reason lost with the data still unread.
    QElapsedTimer waited;
    waited.start();
    while (allTold && connected > 0 && waited.elapsed() < STOP_CLOSE_WAIT_MS)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    allTold = false;
    // Workers waiting for the GUI thread are released first: mg_stop waits for them.
    handOver.stop();
    // The library's accepting thread sees the stop only when its poll of the port times out,
    // up to two seconds later; woken, it ends at once.
    platform::stopListening(config.port);
    mg_stop(context);
    mg_exit_library();
    context = nullptr;
    clients.clear();
    tickets.clear();
    httpRates.clear();
    connected = 0;
}

void WebServer::disconnectAll(const QString &reason)
{
    allTold = true;
    for (const std::shared_ptr<WebClient> &client : qAsConst(clients)) {
        sendTo(client, jsonrpc::error(Refused, reason));
        closeClient(client, reason.toUtf8());
    }
}

// --- civetweb's threads ---------------------------------------------------------------

std::shared_ptr<WebClient> WebServer::clientOf(const mg_connection *connection) const
{
    std::lock_guard<std::mutex> lock(connectionsMutex);
    const auto it = connections.find(connection);
    return it == connections.end() ? nullptr : it->second;
}

bool WebServer::originAllowed(const mg_connection *connection) const
{
    const char *origin = mg_get_header(connection, "Origin");
    return !origin || origins.allows(QByteArray(origin));
}

int WebServer::onBeginRequest(mg_connection *connection)
{
    WebServer *self = serverOf(connection);
    const mg_request_info *request = mg_get_request_info(connection);
    const char *path = request->local_uri ? request->local_uri : "";
    // A browser page of another origin gets nothing, not even whether the path exists.
    if (!self->originAllowed(connection))
        return sendError(connection, 403, Refused, QStringLiteral("requests from other web pages are refused"));
    if (std::strcmp(path, WEBSOCKET_PATH) == 0) {
        if (!isUpgrade(connection))
            return sendError(connection, 400, BadArguments, QStringLiteral("/ws speaks WebSocket only"));
        QString refusal;
        {
            std::lock_guard<std::mutex> lock(self->connectionsMutex);
            refusal = self->waitingRefusal(peerOf(connection));
        }
        if (!refusal.isEmpty())
            return sendError(connection, 503, Busy, refusal);
        return 0;
    }
    const bool get = std::strcmp(request->request_method, "GET") == 0;
    const bool post = std::strcmp(request->request_method, "POST") == 0;
    if (std::strcmp(path, STATE_PATH) == 0)
        return get ? self->serveHttp(connection, false)
                   : sendError(connection, 405, BadArguments, QStringLiteral("use GET"));
    if (std::strcmp(path, COMMAND_PATH) == 0)
        return post ? self->serveHttp(connection, true)
                    : sendError(connection, 405, BadArguments, QStringLiteral("use POST"));
    if (self->extraPaths) {
        if (const int status = self->extraPaths(connection, self->handOver))
            return status;
    }
    return sendError(
        connection, 404, NotFound, QStringLiteral("no such path; the API is at /ws, /api/state and /api/command"));
}

QString WebServer::waitingRefusal(const QHostAddress &peer) const
{
    int waiting = 0;
    int fromPeer = 0;
    int signedIn = 0;
    for (const auto &entry : connections) {
        if (entry.second->signedIn) {
            ++signedIn;
            continue;
        }
        ++waiting;
        if (entry.second->peer.isEqual(peer))
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

int WebServer::serveHttp(mg_connection *connection, bool command)
{
    const mg_request_info *request = mg_get_request_info(connection);
    const char *authorization = mg_get_header(connection, "Authorization");
    const QHostAddress peer = peerOf(connection);
    // The token first: a stranger's body is never read, so sending one slowly holds nothing.
    HttpReply refusal;
    bool authorized = false;
    if (!handOver.call([&] { authorized = httpAuthorized(QByteArray(authorization), peer, &refusal); }))
        return sendError(connection, 503, Busy, QStringLiteral("the controller is shutting down"));
    if (!authorized) {
        sendJson(connection, refusal.status, refusal.body, refusal.askForToken);
        return refusal.status;
    }
    const QString tooLarge = QStringLiteral("a request holds at most %1 bytes").arg(config.maxMessageBytes);
    if (request->content_length > config.maxMessageBytes)
        return sendError(connection, 413, TooLarge, tooLarge);
    QByteArray body;
    if (command) {
        // Read one byte past the limit, so that a body without a length is caught too.
        char buffer[4096];
        int read = 0;
        while ((read = mg_read(connection, buffer, sizeof buffer)) > 0) {
            body.append(buffer, read);
            if (body.size() > config.maxMessageBytes)
                return sendError(connection, 413, TooLarge, tooLarge);
        }
    }
    HttpReply reply;
    if (!handOver.call([&] { reply = httpRequest(command, peer, body); }))
        return sendError(connection, 503, Busy, QStringLiteral("the controller is shutting down"));
    sendJson(connection, reply.status, reply.body, reply.askForToken);
    return reply.status;
}

void WebServer::onConnectionClosed(const mg_connection *connection)
{
    WebServer *self = serverOf(connection);
    std::shared_ptr<WebClient> client;
    {
        std::lock_guard<std::mutex> lock(self->connectionsMutex);
        const auto it = self->connections.find(connection);
        if (it == self->connections.end())
            return;
        client = it->second;
        self->connections.erase(it);
    }
    // Normally stopped by the WebSocket's close handler already; nothing may write once
    // civetweb takes the connection back.
    client->stopWriting();
    --self->connected;
    WebClient *gone = client.get();
    self->handOver.post([self, gone] { self->onClientGone(gone); });
}

int WebServer::onLogMessage(const mg_connection *, const char *message)
{
    qWarning() << "civetweb:" << message;
    return 1;
}

int WebServer::onWebSocketConnect(const mg_connection *connection, void *server)
{
    auto *self = static_cast<WebServer *>(server);
    if (!self->originAllowed(connection))
        return 1;
    // The counts were looked at before the handshake already; this is where a place is taken.
    const QHostAddress peer = peerOf(connection);
    std::lock_guard<std::mutex> lock(self->connectionsMutex);
    if (!self->waitingRefusal(peer).isEmpty())
        return 1;
    ++self->connected;
    // Kept by connection rather than in civetweb's per-connection data, which civetweb clears
    // before it reports the connection closed.
    self->connections[connection] = std::make_shared<WebClient>(const_cast<mg_connection *>(connection), peer,
        quint16(mg_get_request_info(connection)->remote_port), self->config.maxQueuedBytes);
    return 0;
}

void WebServer::onWebSocketReady(mg_connection *connection, void *server)
{
    auto *self = static_cast<WebServer *>(server);
    const std::shared_ptr<WebClient> client = self->clientOf(connection);
    if (!client)
        return;
    const std::weak_ptr<WebClient> weak = client;
    client->startWriting([self, weak] { self->handOver.post([self, weak] { self->onClientStalled(weak); }); });
    self->handOver.post([self, client] { self->onClientReady(client); });
}

int WebServer::onWebSocketData(mg_connection *connection, int bits, char *data, size_t length, void *server)
{
    auto *self = static_cast<WebServer *>(server);
    const std::shared_ptr<WebClient> client = self->clientOf(connection);
    if (!client || client->dropped() || client->closeSent())
        return 0;
    const int opcode = bits & 0x0f;
    const bool final = bits & 0x80;
    if (opcode == MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE)
        return 0;
    if (opcode == MG_WEBSOCKET_OPCODE_PING || opcode == MG_WEBSOCKET_OPCODE_PONG)
        return 1;
    Refusal refusal = Accepted;
    if (!final || opcode == MG_WEBSOCKET_OPCODE_CONTINUATION)
        refusal = Fragmented;
    else if (opcode != MG_WEBSOCKET_OPCODE_TEXT)
        refusal = NotText;
    else if (length > size_t(self->config.maxMessageBytes))
        refusal = Oversized;
    const qint64 weight = refusal == Accepted ? qint64(length) : REFUSAL_BYTES;
    if ((client->inFlight += weight) > qint64(MAX_IN_FLIGHT_MESSAGES) * self->config.maxMessageBytes) {
        client->drop(QByteArrayLiteral("too many requests waiting"));
        qWarning() << "control API: dropped WebSocket client" << client->peer.toString()
                   << "that sent more requests than it waited for";
        return 0;
    }
    const QByteArray message = refusal == Accepted ? QByteArray(data, int(length)) : QByteArray();
    self->handOver.post([self, client, message, refusal, weight] {
        self->onClientMessage(client, message, refusal);
        client->inFlight -= weight;
    });
    return 1;
}

void WebServer::onWebSocketClose(const mg_connection *connection, void *server)
{
    if (const std::shared_ptr<WebClient> client = static_cast<WebServer *>(server)->clientOf(connection))
        client->stopWriting();
}

// --- the GUI thread -------------------------------------------------------------------

bool WebServer::httpAuthorized(const QByteArray &authorization, const QHostAddress &peer, HttpReply *refusal)
{
    const QByteArray scheme = QByteArrayLiteral("Bearer ");
    const bool bearer = authorization.size() > scheme.size()
        && authorization.left(scheme.size()).compare(scheme, Qt::CaseInsensitive) == 0;
    // Checked whatever failed from this address before: a right token is never kept out.
    if (bearer && token->verify(QString::fromUtf8(authorization.mid(scheme.size()).trimmed())))
        return true;
    // No wait here: a request holds one of civetweb's threads while it waits. A guess costs
    // the guesser a connection each time, as the refusal closes it.
    throttle->failed(peer);
    *refusal = HttpReply {401,
        jsonrpc::error(NotAuthenticated, QStringLiteral("send the token as \"Authorization: Bearer TOKEN\"")), true};
    return false;
}

WebServer::HttpReply WebServer::httpRequest(bool command, const QHostAddress &peer, const QByteArray &body)
{
    const auto refuse = [](int status, int code, const QString &message) {
        return HttpReply {status, jsonrpc::error(code, message), code == NotAuthenticated};
    };

    // A window lasts one second: forgetting them all costs at most a second of counting.
    if (!httpRates.contains(peer) && httpRates.size() >= MAX_HTTP_RATES)
        httpRates.clear();
    RateWindow &rate = httpRates[peer];
    if (!command) {
        if (!withinRate(&rate))
            return refuse(
                429, RateLimited, QStringLiteral("more than %1 requests in one second").arg(config.commandsPerSecond));
        return HttpReply {200, QJsonDocument(core->state()).toJson(QJsonDocument::Compact), false};
    }
    const QByteArray answer = jsonrpc::handle(
        body,
        [&](const jsonrpc::Call &call) {
            if (!withinRate(&rate))
                return RemoteAnswer::failure(
                    RateLimited, QStringLiteral("more than %1 commands in one second").arg(config.commandsPerSecond));
            return core->execute(call.method, call.params);
        },
        true);
    return HttpReply {200, answer, false};
}

bool WebServer::withinRate(RateWindow *window)
{
    const qint64 now = clock.elapsed();
    if (now - window->start >= 1000) {
        window->start = now;
        window->count = 0;
    }
    return ++window->count <= config.commandsPerSecond;
}

void WebServer::sendTo(const std::shared_ptr<WebClient> &client, const QByteArray &message)
{
    if (!client->send(std::make_shared<const QByteArray>(message)))
        logStalled(*client);
}

bool WebServer::ticketValid(const QByteArray &ticket) const
{
    return !ticket.isEmpty() && tickets.contains(ticket);
}

void WebServer::closeClient(const std::shared_ptr<WebClient> &client, const QByteArray &reason)
{
    client->close(reason);
    const std::weak_ptr<WebClient> weak = client;
    QTimer::singleShot(CLOSE_GRACE_MS, this, [this, weak] {
        const std::shared_ptr<WebClient> lingering = weak.lock();
        if (!lingering || !clients.contains(lingering.get()))
            return;
        // From the GUI thread, not the connection's own: should civetweb close the socket
        // and another take its number just now, that one connection would end. Its four
        // addresses are looked at first, so it takes a close and an accept in between.
        qInfo() << "control API: ended WebSocket client" << lingering->peer.toString() << "that ignored its close";
        platform::stopReading(config.port, lingering->peer.toString(), lingering->peerPort);
    });
}

void WebServer::onClientStalled(const std::weak_ptr<WebClient> &weak)
{
    const std::shared_ptr<WebClient> client = weak.lock();
    if (!client || !clients.contains(client.get()))
        return;
    logStalled(*client);
    // Nothing more can be written to it, and civetweb would keep it open as long as the peer
    // stays silent: its reading is ended, which ends the connection.
    platform::stopReading(config.port, client->peer.toString(), client->peerPort);
}

void WebServer::onSignInDeadline(const std::shared_ptr<WebClient> &client)
{
    if (!clients.contains(client.get()) || client->session.authenticated || client->session.failed)
        return;
    client->session.failed = true;
    sendTo(client,
        jsonrpc::error(
            NotAuthenticated, QStringLiteral("no sign-in within %1 seconds").arg(config.signInTimeoutMs / 1000.0)));
    closeClient(client, QByteArrayLiteral("no sign-in in time"));
}

void WebServer::onClientReady(const std::shared_ptr<WebClient> &client)
{
    clients.insert(client.get(), client);
    const std::weak_ptr<WebClient> weak = client;
    QTimer::singleShot(config.signInTimeoutMs, this, [this, weak] {
        if (const std::shared_ptr<WebClient> waiting = weak.lock())
            onSignInDeadline(waiting);
    });
    client->session.challenge = randomText(CHALLENGE_BYTES);
    QStringList methods = core->methods();
    methods << QStringLiteral("auth") << QStringLiteral("subscribe") << QStringLiteral("unsubscribe");
    sendTo(client,
        jsonrpc::notification(QStringLiteral("hello"),
            {{QStringLiteral("protocol"), PROTOCOL_VERSION},
                {QStringLiteral("salt"), QString::fromLatin1(token->salt())},
                {QStringLiteral("challenge"), QString::fromLatin1(client->session.challenge)},
                {QStringLiteral("methods"), QJsonArray::fromStringList(methods)}}));
}

void WebServer::onClientMessage(const std::shared_ptr<WebClient> &client, const QByteArray &message, int refusal)
{
    if (!clients.contains(client.get()) || client->dropped())
        return;
    switch (refusal) {
    case Oversized:
        sendTo(client,
            jsonrpc::error(TooLarge, QStringLiteral("a message holds at most %1 bytes").arg(config.maxMessageBytes)));
        return;
    case NotText:
        sendTo(client, jsonrpc::error(BadArguments, QStringLiteral("messages are JSON text frames")));
        return;
    case Fragmented:
        sendTo(client, jsonrpc::error(BadArguments, QStringLiteral("fragmented messages are not taken")));
        closeClient(client, QByteArrayLiteral("fragmented message"));
        return;
    default:
        break;
    }
    if (client->session.failed)
        return;
    bool closeAfter = false;
    qint64 delay = 0;
    const QByteArray answer = jsonrpc::handle(
        message, [&](const jsonrpc::Call &call) { return sessionCall(*client, call, &closeAfter, &delay); }, false);
    if (!closeAfter) {
        if (!answer.isEmpty())
            sendTo(client, answer);
        return;
    }
    client->session.failed = true;
    // A failed sign-in is answered late when its address has failed often: the guesser's
    // connection waits, not the clients that sign in right.
    const auto refuse = [this, client, answer] {
        if (!clients.contains(client.get()))
            return;
        if (!answer.isEmpty())
            sendTo(client, answer);
        closeClient(client, QByteArrayLiteral("authentication failed"));
    };
    if (delay > 0)
        QTimer::singleShot(int(delay), Qt::PreciseTimer, this, refuse);
    else
        refuse();
}

RemoteAnswer WebServer::sessionCall(WebClient &client, const jsonrpc::Call &call, bool *closeAfter, qint64 *delay)
{
    WebClient::Session &session = client.session;
    if (*closeAfter)
        return RemoteAnswer::failure(NotAuthenticated, QStringLiteral("authentication failed; connect again"));
    if (!withinRate(&session.rate))
        return RemoteAnswer::failure(
            RateLimited, QStringLiteral("more than %1 commands in one second").arg(config.commandsPerSecond));
    if (call.method == QLatin1String("auth"))
        return authenticate(client, call.params, closeAfter, delay);
    if (!session.authenticated)
        return RemoteAnswer::failure(
            NotAuthenticated, QStringLiteral("answer the greeting's challenge with \"auth\" first"));
    if (call.method == QLatin1String("subscribe") || call.method == QLatin1String("unsubscribe")) {
        session.subscribed = call.method == QLatin1String("subscribe");
        return RemoteAnswer::success(QJsonObject {{QStringLiteral("subscribed"), session.subscribed}});
    }
    return core->execute(call.method, call.params);
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
    if (!wellFormed
        || !token->verifyProof(
            ApiToken::authMessage(token->salt(), session.challenge, nonce), proof, &serverSignature)) {
        *delay = throttle->failed(client.peer);
        if (params.contains(QStringLiteral("response")))
            return RemoteAnswer::failure(NotAuthenticated,
                QStringLiteral("this controller asks for a proof (protocol %1); update the client")
                    .arg(PROTOCOL_VERSION));
        return RemoteAnswer::failure(NotAuthenticated, QStringLiteral("wrong proof for the challenge"));
    }
    int signedInNow = 0;
    for (const std::shared_ptr<WebClient> &other : qAsConst(clients))
        signedInNow += other->session.authenticated ? 1 : 0;
    if (signedInNow >= config.maxClients)
        return RemoteAnswer::failure(
            Busy, QStringLiteral("%1 clients are connected already, no more are taken").arg(config.maxClients));
    *closeAfter = false;
    session.authenticated = true;
    client.signedIn = true;
    session.ticket = randomText(TICKET_BYTES);
    tickets.insert(session.ticket, &client);
    RemoteAnswer answer = signedIn();
    QJsonObject result = answer.result.toObject();
    result.insert(QStringLiteral("server"), QString::fromLatin1(serverSignature));
    answer.result = result;
    return answer;
}

void WebServer::onClientGone(WebClient *client)
{
    const auto it = clients.find(client);
    if (it == clients.end())
        return;
    tickets.remove((*it)->session.ticket);
    clients.erase(it);
}

void WebServer::onCoreEvent(const QString &name, const QJsonObject &data)
{
    if (clients.isEmpty())
        return;
    // Framed once, shared by every client's queue.
    const auto message = std::make_shared<const QByteArray>(jsonrpc::notification(
        QStringLiteral("event"), {{QStringLiteral("name"), name}, {QStringLiteral("data"), data}}));
    for (const std::shared_ptr<WebClient> &client : qAsConst(clients)) {
        if (client->session.authenticated && client->session.subscribed && !client->send(message))
            logStalled(*client);
    }
}
