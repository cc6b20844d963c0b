#include "web/web_remote_files.h"

#include "web/web_headers.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>

#include <civetweb.h>

#include <cstring>

namespace {

QByteArray typeOf(const QString &fileName)
{
    static const QHash<QString, QByteArray> types {
        {QStringLiteral("html"), QByteArrayLiteral("text/html; charset=utf-8")},
        {QStringLiteral("css"), QByteArrayLiteral("text/css; charset=utf-8")},
        {QStringLiteral("js"), QByteArrayLiteral("text/javascript; charset=utf-8")},
        {QStringLiteral("svg"), QByteArrayLiteral("image/svg+xml")},
    };
    return types.value(fileName.section(QLatin1Char('.'), -1), QByteArrayLiteral("application/octet-stream"));
}

} // namespace

WebRemoteFiles::WebRemoteFiles()
{
    const QString root = QString::fromLatin1(RESOURCE_ROOT);
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString resource = it.next();
        QFile file(resource);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        File entry;
        entry.body = file.readAll();
        entry.type = typeOf(resource);
        entry.etag = '"' + QCryptographicHash::hash(entry.body, QCryptographicHash::Sha256).toHex().left(20) + '"';
        files.insert(resource.mid(root.size()).toUtf8(), entry);
    }
}

const WebRemoteFiles::File *WebRemoteFiles::find(const QByteArray &path) const
{
    const auto it = files.constFind(path == "/" ? QByteArrayLiteral("/index.html") : path);
    return it == files.constEnd() ? nullptr : &*it;
}

int WebRemoteFiles::serve(mg_connection *connection) const
{
    const mg_request_info *request = mg_get_request_info(connection);
    const File *file = find(QByteArray(request->local_uri ? request->local_uri : ""));
    if (!file)
        return 0;
    if (std::strcmp(request->request_method, "GET") != 0 && std::strcmp(request->request_method, "HEAD") != 0)
        return webheaders::sendText(connection, 405, QByteArrayLiteral("use GET"));
    const int status = webheaders::notModified(connection, file->etag) ? 304 : 200;
    webheaders::start(connection, status);
    mg_response_header_add(connection, "Content-Type", file->type.constData(), -1);
    // Kept, but asked after every time: a new program version must not meet an old page.
    mg_response_header_add(connection, "Cache-Control", "no-cache", -1);
    mg_response_header_add(connection, "ETag", file->etag.constData(), -1);
    return webheaders::finish(connection, status, file->body);
}
