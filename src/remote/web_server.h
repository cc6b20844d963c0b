#pragma once

#include "remote/gui_hand_over.h"
#include "remote/json_rpc.h"
#include "remote/origin_policy.h"
#include "remote/web_client.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>

class ApiToken;
class AuthThrottle;
class CommandSet;
struct mg_connection;
struct mg_context;

struct WebServerConfig
{
    // Signed-in WebSocket clients at once.
    static constexpr int MAX_CLIENTS = 64;
    // WebSocket connections not yet signed in have a pool of their own and a share of it per
    // address, so that strangers take neither a signed-in client's place nor each other's.
    static constexpr int MAX_WAITING = 32;
    static constexpr int MAX_WAITING_PER_ADDRESS = 4;
    static constexpr int SIGN_IN_TIMEOUT_MS = 10000;
    static constexpr int MAX_MESSAGE_BYTES = 64 * 1024;
    static constexpr int COMMANDS_PER_SECOND = 50;
    static constexpr qint64 MAX_QUEUED_BYTES = 1024 * 1024;

    // IPv4 only: the civetweb we build on has no IPv6.
    QHostAddress address = QHostAddress::AnyIPv4;
    quint16 port = 7741;
    // Both empty for plain HTTP and WebSocket; civetweb wants key and certificate in one
    // PEM file, so a key of its own is accepted only when it is that same file.
    QString tlsCertificate;
    QString tlsKey;
    int maxClients = MAX_CLIENTS;
    int maxWaiting = MAX_WAITING;
    int maxWaitingPerAddress = MAX_WAITING_PER_ADDRESS;
    int signInTimeoutMs = SIGN_IN_TIMEOUT_MS;
    int maxMessageBytes = MAX_MESSAGE_BYTES;
    int commandsPerSecond = COMMANDS_PER_SECOND;
    // Bytes of messages waiting for one WebSocket client; past it the client is dropped.
    qint64 maxQueuedBytes = MAX_QUEUED_BYTES;
};

// The control API for dashboards and integrations on one port, through civetweb:
//  - WebSocket at /ws with JSON-RPC 2.0: a greeting carries the token's salt and a fresh
//    challenge, "auth" proves knowledge of the token over it (see ApiToken) and is answered
//    with the server's own proof and a ticket for the session, "subscribe" turns on the
//    events, every other method is the core's;
//  - GET /api/state and POST /api/command (a JSON-RPC request or batch) with
//    "Authorization: Bearer TOKEN".
// civetweb's worker threads only read and write bytes: everything else, the token and the
// core included, is handed to the GUI thread, where this object lives.
class WebServer : public QObject
{
    Q_OBJECT

public:
    // 2: the sign-in proves knowledge of a key the server keeps only a hash of.
    static constexpr int PROTOCOL_VERSION = 2;
    static constexpr const char *WEBSOCKET_PATH = "/ws";
    static constexpr const char *STATE_PATH = "/api/state";
    static constexpr const char *COMMAND_PATH = "/api/command";

    WebServer(CommandSet *core, const ApiToken *token, AuthThrottle *throttle, QObject *parent = nullptr);
    ~WebServer() override;

    // False, with errorString(), when the port cannot be taken or TLS cannot be had.
    bool start(const WebServerConfig &config);
    void stop();
    // Ends every WebSocket session, telling the client why (a new token was made).
    void disconnectAll(const QString &reason);
    bool isRunning() const { return context != nullptr; }
    QString errorString() const { return error; }
    // WebSocket clients connected now, signed in or not.
    int clientCount() const { return connected; }
    // GUI thread: whether ticket belongs to a signed-in WebSocket session open now.
    bool ticketValid(const QByteArray &ticket) const;

    // Paths beyond the API's own (the web remote's page and pictures), asked before a request
    // is refused as unknown: the HTTP status answered with, or 0 when the path is none of its.
    // Set before start(); called on civetweb's threads.
    using ExtraPaths = std::function<int(mg_connection *connection, GuiHandOver &handOver)>;
    void setExtraPaths(ExtraPaths paths) { extraPaths = std::move(paths); }

    // Whether this system's civetweb can do TLS at all.
    static bool tlsAvailable();

private:
    struct HttpReply
    {
        int status = 200;
        QByteArray body;
        bool askForToken = false;
    };

    // civetweb's threads.
    static int onBeginRequest(mg_connection *connection);
    static void onConnectionClosed(const mg_connection *connection);
    static int onLogMessage(const mg_connection *connection, const char *message);
    static int onWebSocketConnect(const mg_connection *connection, void *server);
    static void onWebSocketReady(mg_connection *connection, void *server);
    static int onWebSocketData(mg_connection *connection, int bits, char *data, size_t length, void *server);
    static void onWebSocketClose(const mg_connection *connection, void *server);
    int serveHttp(mg_connection *connection, bool command);
    // Refusal text when a WebSocket from peer may not wait for its sign-in; empty if it may.
    QString waitingRefusal(const QHostAddress &peer) const;
    bool originAllowed(const mg_connection *connection) const;
    std::shared_ptr<WebClient> clientOf(const mg_connection *connection) const;

    // The GUI thread.
    bool httpAuthorized(const QByteArray &authorization, const QHostAddress &peer, HttpReply *refusal);
    HttpReply httpRequest(bool command, const QHostAddress &peer, const QByteArray &body);
    void onSignInDeadline(const std::shared_ptr<WebClient> &client);
    // Closes with this reason, and ends the connection if the peer ignores the close.
    void closeClient(const std::shared_ptr<WebClient> &client, const QByteArray &reason);
    void onClientReady(const std::shared_ptr<WebClient> &client);
    void onClientMessage(const std::shared_ptr<WebClient> &client, const QByteArray &message, int refusal);
    void onClientGone(WebClient *client);
    // Its writer gave up on a write the peer did not take in time.
    void onClientStalled(const std::weak_ptr<WebClient> &weak);
    void onCoreEvent(const QString &name, const QJsonObject &data);
    RemoteAnswer sessionCall(WebClient &client, const jsonrpc::Call &call, bool *closeAfter, qint64 *delay);
    RemoteAnswer authenticate(WebClient &client, const QJsonObject &params, bool *closeAfter, qint64 *delay);
    bool withinRate(RateWindow *window);
    void sendTo(const std::shared_ptr<WebClient> &client, const QByteArray &message);

    CommandSet *core;
    const ApiToken *token;
    AuthThrottle *throttle;
    WebServerConfig config;
    OriginPolicy origins;
    GuiHandOver handOver;
    ExtraPaths extraPaths;
    mg_context *context = nullptr;
    QString error;
    std::atomic<int> connected {0};
    // Set when every client was told to close: a stop then gives them a moment to answer.
    bool allTold = false;
    // WebSocket connections of civetweb's threads and their clients.
    mutable std::mutex connectionsMutex;
    std::unordered_map<const mg_connection *, std::shared_ptr<WebClient>> connections;
    QHash<WebClient *, std::shared_ptr<WebClient>> clients;
    QHash<QByteArray, WebClient *> tickets;
    QHash<QHostAddress, RateWindow> httpRates;
    QElapsedTimer clock;
};
