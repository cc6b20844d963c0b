#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QPair>
#include <QString>

class ApiToken;
class AuthThrottle;
class DeviceManager;
class WebServer;
struct HttpReply;
struct HttpRequestHead;

// GET /thumbnail/NAME with a signed-in WebSocket session's ticket ("Authorization: Ticket
// TICKET", what the page sends, so the token itself never travels with its pictures) or
// the API token as a bearer (tools): the newest JPEG image cut from the
// encoder's stream, sent as the encoder sent it, with no decode and no re-encode. Only what
// a page asks for is sent, so encoders it does not show cost nothing; each client gets an
// encoder's picture at most MAX_PER_SECOND times a second, and the frame's number as ETag
// answers an unchanged frame with 304.
class ThumbnailHandler
{
public:
    static constexpr const char *PATH_PREFIX = "/thumbnail/";
    static constexpr int MAX_PER_SECOND = 5;
    // Clients and encoders whose pace is followed at most; idle ones are forgotten first.
    static constexpr int MAX_TRACKED = 4096;

    // All four outlive the handler.
    ThumbnailHandler(DeviceManager *manager, const ApiToken *token, AuthThrottle *throttle, const WebServer *server);

    // Answers a thumbnail request; false when the path is not one.
    bool serve(const HttpRequestHead &head, const QHostAddress &peer, HttpReply *reply);

    struct Frame
    {
        int status = 200;
        QByteArray text; // why not, for any status but 200
        QByteArray jpeg;
        quint64 serial = 0;
    };
    // What a request from peer, with this Authorization header, gets.
    Frame take(const QString &encoder, const QByteArray &authorization, const QHostAddress &peer);

private:
    bool tooSoon(const QHostAddress &peer, const QString &encoder);

    DeviceManager *manager;
    const ApiToken *token;
    AuthThrottle *throttle;
    const WebServer *server;
    QHash<QPair<QHostAddress, QString>, qint64> lastSent;
    QElapsedTimer clock;
    // Frame numbers start again with the program: tags carry this run's own mark, so that a
    // browser's cached picture from an earlier run is never taken for the current one.
    const QByteArray runMark;
};
