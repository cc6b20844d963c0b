#include "web/web_remote_files.h"

#include "web/web_headers.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>

namespace {

QByteArray typeOf(const QString &fileName)
{
    static const QHash<QString, QByteArray> types {
        {QStringLiteral("html"), QByteArrayLiteral("text/html; charset=utf-8")},
        {QStringLiteral("css"), QByteArrayLiteral("text/css; charset=utf-8")},
        {QStringLiteral("js"), QByteArrayLiteral("text/javascript; charset=utf-8")},
        {QStringLiteral("svg"), QByteArrayLiteral("image/svg+xml")},
        {QStringLiteral("png"), QByteArrayLiteral("image/png")},
        {QStringLiteral("webmanifest"), QByteArrayLiteral("application/manifest+json")},
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

bool WebRemoteFiles::serve(const HttpRequestHead &head, HttpReply *reply) const
{
    const File *file = find(head.path);
    if (!file)
        return false;
    if (head.method != "GET" && head.method != "HEAD") {
        *reply = webheaders::text(405, QByteArrayLiteral("use GET"));
        return true;
    }
    const int status = webheaders::notModified(head, file->etag) ? 304 : 200;
    *reply = webheaders::start(status, file->type, file->body);
    // Kept, but asked after every time: a new program version must not meet an old page.
    reply->add("Cache-Control", "no-cache").add("ETag", file->etag);
    return true;
}
