#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// One HTTP/1.1 answer as the web port sends it: a status, its fields and a body whose length
// is always given, so that a client on a kept connection knows where the next answer begins.
struct HttpReply
{
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> fields;
    QByteArray body;
    // The connection ends after this answer: after every refusal, so that a refused client
    // costs a new connection per try and its unread body is never read.
    bool close = false;

    HttpReply() = default;
    HttpReply(int status, const QByteArray &type, const QByteArray &body);

    HttpReply &add(const QByteArray &name, const QByteArray &value);
    // The bytes on the wire; without the body for a HEAD request and for 304, which has none.
    QByteArray serialize(bool headOnly) const;
};
