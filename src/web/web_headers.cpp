#include "web/web_headers.h"

#include <QList>

#include <civetweb.h>

#include <cstring>
#include <string>

namespace webheaders {

namespace {
// connect-src 'self' takes in the page's own ws:/wss: origin as well.
constexpr const char *CONTENT_SECURITY_POLICY = "default-src 'none'; script-src 'self'; style-src 'self'; "
                                                "img-src 'self' blob:; connect-src 'self'; base-uri 'none'; "
                                                "form-action 'none'; frame-ancestors 'none'";
} // namespace

void start(mg_connection *connection, int status)
{
    mg_response_header_start(connection, status);
    mg_response_header_add(connection, "Content-Security-Policy", CONTENT_SECURITY_POLICY, -1);
    mg_response_header_add(connection, "X-Frame-Options", "DENY", -1);
    mg_response_header_add(connection, "X-Content-Type-Options", "nosniff", -1);
    mg_response_header_add(connection, "Referrer-Policy", "no-referrer", -1);
    mg_response_header_add(connection, "Cross-Origin-Resource-Policy", "same-origin", -1);
}

int sendText(mg_connection *connection, int status, const QByteArray &text)
{
    start(connection, status);
    mg_response_header_add(connection, "Content-Type", "text/plain; charset=utf-8", -1);
    mg_response_header_add(connection, "Cache-Control", "no-store", -1);
    return finish(connection, status, text);
}

bool notModified(const mg_connection *connection, const QByteArray &etag)
{
    const char *wanted = mg_get_header(connection, "If-None-Match");
    if (!wanted)
        return false;
    for (const QByteArray &tag : QByteArray(wanted).split(',')) {
        if (tag.trimmed() == etag || tag.trimmed() == "*")
            return true;
    }
    return false;
}

int finish(mg_connection *connection, int status, const QByteArray &body)
{
    const bool head = std::strcmp(mg_get_request_info(connection)->request_method, "HEAD") == 0;
    const bool empty = status == 304;
    const std::string length = std::to_string(empty ? 0 : body.size());
    if (!empty)
        mg_response_header_add(connection, "Content-Length", length.c_str(), -1);
    mg_response_header_send(connection);
    if (!head && !empty)
        mg_write(connection, body.constData(), size_t(body.size()));
    return status;
}

} // namespace webheaders
