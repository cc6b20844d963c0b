#include "web/thumbnail_handler.h"

#include "manager/demo_installation.h"
#include "manager/device_manager.h"
#include "models/device_list_model.h"
#include "models/tx_device.h"
#include "remote/api_token.h"
#include "remote/auth_throttle.h"
#include "remote/gui_hand_over.h"
#include "remote/web_server.h"
#include "video/qimage_grabber_file.h"
#include "video/qimage_grabber_mjpeg.h"
#include "web/web_headers.h"

#include <QRandomGenerator>

#include <civetweb.h>

#include <cstring>

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

int ThumbnailHandler::serve(mg_connection *connection, GuiHandOver &handOver)
{
    const mg_request_info *request = mg_get_request_info(connection);
    const char *path = request->local_uri ? request->local_uri : "";
    const size_t prefix = std::strlen(PATH_PREFIX);
    if (std::strncmp(path, PATH_PREFIX, prefix) != 0)
        return 0;
    if (std::strcmp(request->request_method, "GET") != 0)
        return webheaders::sendText(connection, 405, QByteArrayLiteral("use GET"));
    const QString encoder = QString::fromUtf8(path + prefix);
    const QByteArray authorization(mg_get_header(connection, "Authorization"));
    const QHostAddress peer(QString::fromLatin1(request->remote_addr));
    Frame frame;
    if (!handOver.call([&] { frame = take(encoder, authorization, peer); }))
        return webheaders::sendText(connection, 503, QByteArrayLiteral("the controller is shutting down"));
    if (frame.status != 200) {
        webheaders::start(connection, frame.status);
        mg_response_header_add(connection, "Content-Type", "text/plain; charset=utf-8", -1);
        mg_response_header_add(connection, "Cache-Control", "no-store", -1);
        if (frame.status == 401)
            mg_response_header_add(connection, "WWW-Authenticate", "Bearer", -1);
        if (frame.status == 429)
            mg_response_header_add(connection, "Retry-After", "1", -1);
        return webheaders::finish(connection, frame.status, frame.text);
    }
    const QByteArray etag = '"' + runMark + '-' + QByteArray::number(frame.serial) + '"';
    const int status = webheaders::notModified(connection, etag) ? 304 : 200;
    webheaders::start(connection, status);
    mg_response_header_add(connection, "Content-Type", "image/jpeg", -1);
    // Private to the one signed-in browser, and asked after every time: the next frame is
    // one request away, and an unchanged one comes back as 304 without its bytes.
    mg_response_header_add(connection, "Cache-Control", "private, no-cache", -1);
    mg_response_header_add(connection, "ETag", etag.constData(), -1);
    return webheaders::finish(connection, status, frame.jpeg);
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
