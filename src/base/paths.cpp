#include "base/paths.h"

#include "platform/platform.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// The settings hold password and token verifiers: nobody but their owner reads them.
const QFileDevice::Permissions OWNER_FILE = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
const QFileDevice::Permissions OWNER_FOLDER = OWNER_FILE | QFileDevice::ExeOwner;

} // namespace

QString expandPathAndInitFile(const QString &path, bool expandOnly, const QByteArray &initContent)
{
    QString result;
    if (path.startsWith(QLatin1String("~/"))) {
        result
            = QStringLiteral("%1/%2").arg(QStandardPaths::writableLocation(QStandardPaths::HomeLocation), path.mid(2));
    } else {
        result = path;
    }
    result.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (expandOnly)
        return result;

    const int slash = result.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0) {
        const QString dir = result.left(slash);
        if (!dir.isEmpty() && !QFileInfo::exists(dir)) {
            if (QDir().mkpath(dir))
                QFile::setPermissions(dir, OWNER_FOLDER);
            else
                qWarning().noquote() << "Error, cannot create dir" << dir;
        }
    }
    if (!QFile::exists(result)) {
        QFile file(result);
        if (file.open(QIODevice::WriteOnly)) {
            file.setPermissions(OWNER_FILE);
            file.write(initContent);
            file.close();
        }
    }
    return result;
}

bool writeFileDurably(const QString &path, const QByteArray &content, QString *error)
{
    QSaveFile file(path);
    // Small writes only fill a buffer: a full disk shows at the flush, and the rename that
    // commit() does must not happen before the data is on the disk.
    const auto failed = [&](const QString &step) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(step, file.errorString());
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return failed(QStringLiteral("cannot create a file beside it"));
    if (!file.setPermissions(OWNER_FILE))
        return failed(QStringLiteral("cannot restrict its permissions"));
    if (file.write(content) != content.size() || !file.flush())
        return failed(QStringLiteral("cannot write"));
    if (!platform::syncFile(file.handle()))
        return failed(QStringLiteral("cannot sync to the disk"));
    if (!file.commit())
        return failed(QStringLiteral("cannot replace the file"));
    // The new name is only safe from a power cut once its folder is on the disk too; the
    // content is in place already, so a failure here is told but not undone.
    const QString folder = QFileInfo(path).absolutePath();
    if (!platform::syncFolder(folder))
        qWarning().noquote() << "Could not sync the folder" << folder << "after writing" << path;
    return true;
}
