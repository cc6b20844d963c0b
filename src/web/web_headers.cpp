#include "web/web_headers.h"

#include <QList>

namespace webheaders {

namespace {
// connect-src 'self' takes in the page's own ws:/wss: origin as well.
constexpr const char *CONTENT_SECURITY_POLICY = "default-src 'none'; script-src 'self'; style-src 'self'; "
                                                "img-src 'self' blob:; connect-src 'self'; manifest-src 'self'; "
                                                "worker-src 'self'; base-uri 'none'; "
                                                "form-action 'none'; frame-ancestors 'none'";
} // namespace

HttpReply start(int status, const QByteArray &type, const QByteArray &body)
{
    HttpReply reply(status, type, body);
    reply.add("Content-Security-Policy", CONTENT_SECURITY_POLICY)
        .add("X-Frame-Options", "DENY")
        .add("X-Content-Type-Options", "nosniff")
        .add("Referrer-Policy", "no-referrer")
        .add("Cross-Origin-Resource-Policy", "same-origin");
    return reply;
}

HttpReply text(int status, const QByteArray &text)
{
    return start(status, QByteArrayLiteral("text/plain; charset=utf-8"), text).add("Cache-Control", "no-store");
}

bool notModified(const HttpRequestHead &head, const QByteArray &etag)
{
    if (!head.hasField("If-None-Match"))
        return false;
    for (const QByteArray &tag : head.field("If-None-Match").split(',')) {
        if (tag.trimmed() == etag || tag.trimmed() == "*")
            return true;
    }
    return false;
}

} // namespace webheaders
