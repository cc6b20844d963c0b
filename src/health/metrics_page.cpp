#include "health/metrics_page.h"

#include "health/metrics_text.h"
#include "remote/api_token.h"
#include "remote/auth_throttle.h"
#include "remote/gui_hand_over.h"

#include <civetweb.h>

#include <cstring>
#include <string>

namespace {
const QByteArray BEARER = QByteArrayLiteral("Bearer ");

int send(mg_connection *connection, int status, const char *type, const QByteArray &body)
{
    mg_response_header_start(connection, status);
    mg_response_header_add(connection, "Content-Type", type, -1);
    mg_response_header_add(connection, "Cache-Control", "no-store", -1);
    mg_response_header_add(connection, "X-Content-Type-Options", "nosniff", -1);
    if (status == 401)
        mg_response_header_add(connection, "WWW-Authenticate", "Bearer", -1);
    if (status == 429)
        mg_response_header_add(connection, "Retry-After", "1", -1);
    const std::string length = std::to_string(body.size());
    mg_response_header_add(connection, "Content-Length", length.c_str(), -1);
    mg_response_header_send(connection);
    if (std::strcmp(mg_get_request_info(connection)->request_method, "HEAD") != 0)
        mg_write(connection, body.constData(), size_t(body.size()));
    return status;
}
} // namespace

MetricsPage::MetricsPage(HealthMonitor *monitor, const ApiToken *token, AuthThrottle *throttle)
    : monitor(monitor)
    , token(token)
    , throttle(throttle)
{
}

int MetricsPage::serve(mg_connection *connection, GuiHandOver &handOver)
{
    const mg_request_info *request = mg_get_request_info(connection);
    if (!request->local_uri || std::strcmp(request->local_uri, PATH) != 0)
        return 0;
    const char *text = "text/plain; charset=utf-8";
    if (std::strcmp(request->request_method, "GET") != 0 && std::strcmp(request->request_method, "HEAD") != 0)
        return send(connection, 405, text, QByteArrayLiteral("use GET"));
    const QByteArray authorization(mg_get_header(connection, "Authorization"));
    const QHostAddress peer(QString::fromLatin1(request->remote_addr));
    Reply reply;
    if (!handOver.call([&] { reply = take(authorization, peer); }))
        return send(connection, 503, text, QByteArrayLiteral("the controller is shutting down"));
    return send(connection, reply.status, reply.status == 200 ? metricstext::CONTENT_TYPE : text, reply.body);
}

MetricsPage::Reply MetricsPage::take(const QByteArray &authorization, const QHostAddress &peer)
{
    if (!throttle->mayTry(peer))
        return {429, QByteArrayLiteral("too many failed attempts from this address; try again later")};
    const bool bearer = authorization.startsWith(BEARER);
    if (!bearer || !token->verify(QString::fromUtf8(authorization.mid(BEARER.size()).trimmed()))) {
        throttle->failed(peer);
        return {401, QByteArrayLiteral("send the token as \"Authorization: Bearer TOKEN\"")};
    }
    throttle->succeeded(peer);
    return {200, metricstext::render(*monitor)};
}
