#pragma once

#include "remote/http_reply.h"
#include "remote/http_request_head.h"

#include <QByteArray>
#include <QHash>

// The web remote's page: exactly the files compiled in under ":/web", nothing from disk, each
// with its type and an entity tag from its contents, so that a browser revalidates instead of
// loading it again. Read once, at start.
class WebRemoteFiles
{
public:
    static constexpr const char *RESOURCE_ROOT = ":/web";

    struct File
    {
        QByteArray body;
        QByteArray type;
        QByteArray etag;
    };

    WebRemoteFiles();

    // For a request path: the file ("/" is the page itself), or null when it is none of them.
    const File *find(const QByteArray &path) const;
    // Answers a request for one of the files; false when the path is not one.
    bool serve(const HttpRequestHead &head, HttpReply *reply) const;

private:
    QHash<QByteArray, File> files;
};
