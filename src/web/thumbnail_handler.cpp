#include "web/thumbnail_handler.h"

#include "manager/demo_installation.h"
#include "manager/device_manager.h"
#include "models/device_list_model.h"
#include "models/tx_device.h"
#include "remote/api_token.h"
#include "remote/auth_throttle.h"
#include "remote/web_server.h"
#include "video/qimage_grabber_file.h"
#include "video/qimage_grabber_mjpeg.h"
#include "web/web_headers.h"

#include <QRandomGenerator>

namespace {
const QByteArray BEARER = QByteArrayLiteral("Bearer ");
const QByteArray TICKET = QByteArrayLiteral("Ticket ");
} // namespace

ThumbnailHandler::ThumbnailHandler(
    DeviceManager *manager, const ApiToken *token, AuthThrottle *throttle, const WebServer *server)
    : manager(manager)
    , token(token)
    , throttle(throttle)
    , server(server)
    , runMark(QByteArray::number(QRandomGenerator::system()->generate64(), 36))
{
    clock.start();
}

bool ThumbnailHandler::serve(const HttpRequestHead &head, const QHostAddress &peer, HttpReply *reply)
{
    if (!head.path.startsWith(PATH_PREFIX))
        return false;
    if (head.method != "GET") {
        *reply = webheaders::text(405, QByteArrayLiteral("use GET"));
        return true;
    }
    const QString encoder = QString::fromUtf8(head.path.mid(int(qstrlen(PATH_PREFIX))));
    const Frame frame = take(encoder, head.field("Authorization"), peer);
    if (frame.status != 200) {
        *reply = webheaders::text(frame.status, frame.text);
        if (frame.status == 401)
            reply->add("WWW-Authenticate", "Bearer");
        if (frame.status == 429)
            reply->add("Retry-After", "1");
        return true;
    }
    const QByteArray etag = '"' + runMark + '-' + QByteArray::number(frame.serial) + '"';
    const int status = webheaders::notModified(head, etag) ? 304 : 200;
    *reply = webheaders::start(status, QByteArrayLiteral("image/jpeg"), frame.jpeg);
    // Private to the one signed-in browser, and asked after every time: the next frame is
    // one request away, and an unchanged one comes back as 304 without its bytes.
    reply->add("Cache-Control", "private, no-cache").add("ETag", etag);
    return true;
}

ThumbnailHandler::Frame ThumbnailHandler::take(
    const QString &encoder, const QByteArray &authorization, const QHostAddress &peer)
{
    Frame frame;
    const auto refuse = [&frame](int status, const QByteArray &text) {
        frame.status = status;
        frame.text = text;
        return frame;
    };
    const bool ticket
        = authorization.startsWith(TICKET) && server->ticketValid(authorization.mid(TICKET.size()).trimmed());
    const bool bearer = !ticket && authorization.startsWith(BEARER)
        && token->verify(QString::fromUtf8(authorization.mid(BEARER.size()).trimmed()));
    if (!ticket && !bearer) {
        throttle->failed(peer);
        return refuse(401, QByteArrayLiteral("send a session's ticket or the token"));
    }
    const DeviceBasePtr device = manager->txlist()->findDevice(encoder, false);
    const auto *tx = qobject_cast<const TxDevice *>(device.data());
    if (!tx)
        return refuse(404, QByteArrayLiteral("no such encoder"));
    if (tooSoon(peer, tx->name()))
        return refuse(429, QByteArrayLiteral("a few pictures a second per encoder at most"));
    // Every demo encoder plays the one demo video.
    const QImageGrabber *grabber
        = tx->demo() ? static_cast<const QImageGrabber *>(manager->demoInstallation()->grabber()) : tx->grabber();
    frame.jpeg = grabber->newestJpeg(&frame.serial);
    if (frame.jpeg.isEmpty())
        return refuse(404, QByteArrayLiteral("no picture from this encoder yet"));
    return frame;
}

bool ThumbnailHandler::tooSoon(const QHostAddress &peer, const QString &encoder)
{
    const qint64 now = clock.elapsed();
    const qint64 spacing = 1000 / MAX_PER_SECOND;
    const QPair<QHostAddress, QString> key(peer, encoder);
    const auto it = lastSent.constFind(key);
    if (it != lastSent.constEnd() && now - *it < spacing)
        return true;
    if (it == lastSent.constEnd() && lastSent.size() >= MAX_TRACKED) {
        for (auto old = lastSent.begin(); old != lastSent.end();) {
            if (now - *old >= spacing)
                old = lastSent.erase(old);
            else
                ++old;
        }
        if (lastSent.size() >= MAX_TRACKED)
            return true;
    }
    lastSent.insert(key, now);
    return false;
}
