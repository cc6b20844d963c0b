#pragma once

#include <QByteArray>
#include <QHash>

struct mg_connection;

// The web remote's page: exactly the files compiled in under ":/web", nothing from disk, each
// with its type and an entity tag from its contents, so that a browser revalidates instead of
// loading it again. Read once on the GUI thread; read-only, and so thread-safe, after that.
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
    // civetweb's thread: answers a request for one of the files; 0 when the path is not one.
    int serve(mg_connection *connection) const;

private:
    QHash<QByteArray, File> files;
};
