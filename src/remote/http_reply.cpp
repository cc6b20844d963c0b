#include "remote/http_reply.h"

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 101:
        return QByteArrayLiteral("Switching Protocols");
    case 200:
        return QByteArrayLiteral("OK");
    case 304:
        return QByteArrayLiteral("Not Modified");
    case 400:
        return QByteArrayLiteral("Bad Request");
    case 401:
        return QByteArrayLiteral("Unauthorized");
    case 403:
        return QByteArrayLiteral("Forbidden");
    case 404:
        return QByteArrayLiteral("Not Found");
    case 405:
        return QByteArrayLiteral("Method Not Allowed");
    case 408:
        return QByteArrayLiteral("Request Timeout");
    case 411:
        return QByteArrayLiteral("Length Required");
    case 413:
        return QByteArrayLiteral("Payload Too Large");
    case 429:
        return QByteArrayLiteral("Too Many Requests");
    case 431:
        return QByteArrayLiteral("Request Header Fields Too Large");
    case 503:
        return QByteArrayLiteral("Service Unavailable");
    default:
        return QByteArrayLiteral("Unknown");
    }
}

} // namespace

HttpReply::HttpReply(int status, const QByteArray &type, const QByteArray &body)
    : status(status)
    , body(body)
{
    add("Content-Type", type);
}

HttpReply &HttpReply::add(const QByteArray &name, const QByteArray &value)
{
    fields.append({name, value});
    return *this;
}

QByteArray HttpReply::serialize(bool headOnly) const
{
    const bool bodyless = status == 304;
    QByteArray bytes = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    for (const auto &field : fields)
        bytes += field.first + ": " + field.second + "\r\n";
    if (!bodyless)
        bytes += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (close)
        bytes += "Connection: close\r\n";
    bytes += "\r\n";
    if (!headOnly && !bodyless)
        bytes += body;
    return bytes;
}
