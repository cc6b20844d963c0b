#pragma once

#include "remote/http_reply.h"
#include "remote/http_request_head.h"

#include <QByteArray>

// What every answer of the web remote carries, so that its pages and pictures run only as
// themselves: no inline or foreign scripts, no framing by another page, no type guessing.
namespace webheaders {

// An answer with the security headers and this content type; the caller adds the rest.
HttpReply start(int status, const QByteArray &type, const QByteArray &body = QByteArray());
// A whole answer with a short text body, not to be kept.
HttpReply text(int status, const QByteArray &text);
// Whether the request's If-None-Match names this entity tag.
bool notModified(const HttpRequestHead &head, const QByteArray &etag);

} // namespace webheaders
