#include "health/metrics_page.h"

#include "health/metrics_text.h"
#include "remote/api_token.h"
#include "remote/auth_throttle.h"
#include "remote/http_reply.h"
#include "remote/http_request_head.h"

namespace {
const QByteArray BEARER = QByteArrayLiteral("Bearer ");
} // namespace

MetricsPage::MetricsPage(HealthMonitor *monitor, const ApiToken *token, AuthThrottle *throttle)
    : monitor(monitor)
    , token(token)
    , throttle(throttle)
{
}

bool MetricsPage::serve(const HttpRequestHead &head, const QHostAddress &peer, HttpReply *reply)
{
    if (head.path != PATH)
        return false;
    const QByteArray text = QByteArrayLiteral("text/plain; charset=utf-8");
    Reply taken {405, QByteArrayLiteral("use GET")};
    if (head.method == "GET" || head.method == "HEAD")
        taken = take(head.field("Authorization"), peer);
    *reply = HttpReply(taken.status, taken.status == 200 ? QByteArray(metricstext::CONTENT_TYPE) : text, taken.body);
    reply->add("Cache-Control", "no-store").add("X-Content-Type-Options", "nosniff");
    if (taken.status == 401)
        reply->add("WWW-Authenticate", "Bearer");
    return true;
}

MetricsPage::Reply MetricsPage::take(const QByteArray &authorization, const QHostAddress &peer)
{
    // A right token is taken at once whatever else came from its address; guesses are counted,
    // and the server closes the connection of a refused request.
    const bool bearer = authorization.startsWith(BEARER);
    if (!bearer || !token->verify(QString::fromUtf8(authorization.mid(BEARER.size()).trimmed()))) {
        throttle->failed(peer);
        return {401, QByteArrayLiteral("send the token as \"Authorization: Bearer TOKEN\"")};
    }
    return {200, metricstext::render(*monitor)};
}
