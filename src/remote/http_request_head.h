#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// The head of one HTTP/1.x request (RFC 7230 section 3), read from the bytes a client sent
// before any of its body. Only what the controller serves is taken: an origin-form target,
// versions 1.0 and 1.1, and a body announced by Content-Length; anything the server could
// read two ways (a folded header, a space before a colon, two lengths, Transfer-Encoding)
// is refused rather than guessed at.
struct HttpRequestHead
{
    // A head that does not end within this many bytes is refused.
    static constexpr int MAX_BYTES = 8192;
    static constexpr int MAX_FIELDS = 64;

    enum Result {
        Incomplete, // no end of the head yet, and still room for it
        Complete,
        Malformed, // answered 400
        TooLarge, // answered 431
        NoLength, // a body without Content-Length, answered 411
    };

    QByteArray method;
    // Percent-decoded, without the query (which nothing here reads).
    QByteArray path;
    // 0 for HTTP/1.0, 1 for HTTP/1.1.
    int minorVersion = 1;
    QList<QPair<QByteArray, QByteArray>> fields;
    qint64 contentLength = 0;
    // Bytes of the head, its closing empty line included.
    int size = 0;

    // Reads the head at the start of bytes.
    static Result parse(const QByteArray &bytes, HttpRequestHead *head);

    // The value of a field by its name, in any case; empty when absent.
    QByteArray field(const QByteArray &name) const;
    bool hasField(const QByteArray &name) const;
    // Whether the connection stays open for another request after the answer.
    bool keepAlive() const;
    // A WebSocket opening handshake (RFC 6455 section 4.1).
    bool isUpgrade() const;
};
