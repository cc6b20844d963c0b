#pragma once

#include <QByteArray>

struct mg_connection;

// What every answer of the web remote carries, so that its pages and pictures run only as
// themselves: no inline or foreign scripts, no framing by another page, no type guessing.
namespace webheaders {

// Starts an answer with the security headers; the caller adds its own and sends them.
void start(mg_connection *connection, int status);
// A whole answer with a short text body.
int sendText(mg_connection *connection, int status, const QByteArray &text);
// Whether the request's If-None-Match names this entity tag.
bool notModified(const mg_connection *connection, const QByteArray &etag);
// Ends the headers and writes body (none for HEAD).
int finish(mg_connection *connection, int status, const QByteArray &body);

} // namespace webheaders
