#pragma once

#include "remote/http_reply.h"
#include "remote/http_request_head.h"
#include "remote/json_rpc.h"
#include "remote/origin_policy.h"
#include "remote/tls_listener.h"
#include "remote/web_client.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>

#include <functional>

class ApiUsers;
class AuthThrottle;
class CommandSet;
class DevicePairing;
class HttpConnection;
class QWebSocketServer;

struct WebServerConfig
{
    // Signed-in WebSocket clients at once.
    static constexpr int MAX_CLIENTS = 64;
    // WebSocket connections not yet signed in have a pool of their own and a share of it per
    // address, so that strangers take neither a signed-in client's place nor each other's.
    static constexpr int MAX_WAITING = 32;
    static constexpr int MAX_WAITING_PER_ADDRESS = 4;
    // HTTP connections between their requests or within one: a page's pictures come over a
    // few connections at once, so each address has a larger share than a WebSocket's.
    static constexpr int MAX_HTTP = 128;
    static constexpr int MAX_HTTP_PER_ADDRESS = 16;
    static constexpr int SIGN_IN_TIMEOUT_MS = 10000;
    // For a whole request head (and body), and for the next request on a kept connection.
    static constexpr int REQUEST_TIMEOUT_MS = 10000;
    static constexpr int MAX_MESSAGE_BYTES = 64 * 1024;
    static constexpr int COMMANDS_PER_SECOND = RateWindow::COMMANDS_PER_SECOND;
    static constexpr qint64 MAX_QUEUED_BYTES = 1024 * 1024;

    // IPv4 only: the origin check knows this machine by its IPv4 names and addresses.
    QHostAddress address = QHostAddress::AnyIPv4;
    quint16 port = 7741;
    // Null for plain HTTP and WebSocket (see TlsListener::loadTls).
    QSslConfiguration tls;
    int maxClients = MAX_CLIENTS;
    int maxWaiting = MAX_WAITING;
    int maxWaitingPerAddress = MAX_WAITING_PER_ADDRESS;
    int maxHttp = MAX_HTTP;
    int maxHttpPerAddress = MAX_HTTP_PER_ADDRESS;
    int signInTimeoutMs = SIGN_IN_TIMEOUT_MS;
    int requestTimeoutMs = REQUEST_TIMEOUT_MS;
    // A WebSocket frame or message, and an HTTP body; larger ones are refused from their
    // header, before they are read.
    int maxMessageBytes = MAX_MESSAGE_BYTES;
    int commandsPerSecond = COMMANDS_PER_SECOND;
    // Bytes of messages waiting for one WebSocket client; past it the client is dropped.
    qint64 maxQueuedBytes = MAX_QUEUED_BYTES;
    int pingIntervalMs = WebClient::PING_INTERVAL_MS;
};

// The control API for dashboards and integrations on one port, plain or over TLS:
//  - WebSocket at /ws with JSON-RPC 2.0: a greeting carries the installation's salt and a
//    fresh challenge, "auth" proves knowledge of a user's credential over it (see ApiToken,
//    ApiUsers) and is answered with the server's own proof, a ticket for the session and
//    what the user may do ("user", as "whoami" answers), "subscribe" turns on the
//    events, every other method is the core's;
//  - GET /api/state and POST /api/command (a JSON-RPC request or batch) with
//    "Authorization: Bearer CREDENTIAL", checked from the request's head before its body is read;
//  - POST /api/pair {code}: a one-time code from the window traded for {user, credential}
//    (see DevicePairing); no token guards it, so its body is small, and refusals are throttled.
// Every connection is served on the event loop of the thread this object lives on.
class WebServer : public QObject
{
    Q_OBJECT

public:
    // 2: the sign-in proves knowledge of a key the server keeps only a hash of.
    static constexpr int PROTOCOL_VERSION = 2;
    static constexpr const char *WEBSOCKET_PATH = "/ws";
    static constexpr const char *STATE_PATH = "/api/state";
    static constexpr const char *COMMAND_PATH = "/api/command";
    static constexpr const char *PAIR_PATH = "/api/pair";
    // A pairing request is read without a token: a code in JSON needs no more.
    static constexpr int MAX_PAIR_BYTES = 1024;

    WebServer(
        CommandSet *core, ApiUsers *users, AuthThrottle *throttle, DevicePairing *pairing, QObject *parent = nullptr);
    ~WebServer() override;

    // False, with errorString(), when the port cannot be taken.
    bool start(const WebServerConfig &config);
    void stop();
    // Ends every WebSocket session, telling the client why.
    void disconnectAll(const QString &reason);
    // The same for the sessions signed in as user.
    void disconnectUser(const QString &user, const QString &reason);
    bool isRunning() const { return listener.isListening(); }
    quint16 serverPort() const { return listener.serverPort(); }
    QHostAddress serverAddress() const { return config.address; }
    bool usesTls() const { return !config.tls.isNull(); }
    QString errorString() const { return error; }
    // WebSocket clients connected now, signed in or not.
    int clientCount() const { return clients.size(); }
    // Whether ticket belongs to a signed-in WebSocket session open now.
    bool ticketValid(const QByteArray &ticket) const;

    // Paths beyond the API's own (the web remote's page and pictures, the metrics), asked
    // before a request is refused as unknown: true, with the answer, when the path is theirs.
    using ExtraPaths = std::function<bool(const HttpRequestHead &head, const QHostAddress &peer, HttpReply *reply)>;
    void setExtraPaths(ExtraPaths paths) { extraPaths = std::move(paths); }

private:
    using Handshake = QPair<QHostAddress, quint16>;

    void onHttpConnection();
    void onHead(HttpConnection *connection, const HttpRequestHead &head);
    void onCommandBody(HttpConnection *connection, const QByteArray &body);
    void onPairBody(HttpConnection *connection, const QByteArray &body);
    void onWebSocket();
    void upgrade(HttpConnection *connection);
    // Refusal text when a WebSocket from peer may not wait for its sign-in; empty if it may.
    QString waitingRefusal(const QHostAddress &peer) const;
    // The user the bearer credential belongs to, or empty.
    QString httpUser(const QByteArray &authorization, const QHostAddress &peer);
    // Runs a call as user, looked up now; a user revoked since is refused.
    RemoteAnswer executeAs(const QString &user, const QHostAddress &peer, const jsonrpc::Call &call);
    RateWindow &httpRate(const QHostAddress &peer);
    void onSignInDeadline(WebClient *client);
    void onClientMessage(WebClient *client, const QString &text);
    void onClientGone(WebClient *client);
    void onCoreEvent(const QString &name, const QJsonObject &data);
    RemoteAnswer sessionCall(WebClient &client, const jsonrpc::Call &call, bool *closeAfter, qint64 *delay);
    RemoteAnswer authenticate(WebClient &client, const QJsonObject &params, bool *closeAfter, qint64 *delay);
    void sendTo(WebClient *client, const QString &message);

    CommandSet *core;
    ApiUsers *users;
    // The user of a command whose body is being read.
    QHash<HttpConnection *, QString> bodyUsers;
    // Connections whose body is a pairing request.
    QSet<HttpConnection *> pairBodies;
    AuthThrottle *throttle;
    DevicePairing *pairing;
    WebServerConfig config;
    OriginPolicy origins;
    ExtraPaths extraPaths;
    TlsListener listener;
    QWebSocketServer *webSockets;
    QString error;
    QHash<HttpConnection *, QHostAddress> httpConnections;
    // Connections handed to the WebSocket server whose handshake is not yet through.
    QSet<Handshake> handshakes;
    QSet<WebClient *> clients;
    QHash<QByteArray, WebClient *> tickets;
    QHash<QHostAddress, RateWindow> httpRates;
};
