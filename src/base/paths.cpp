#include "base/paths.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

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
        if (!dir.isEmpty() && !QDir().mkpath(dir))
            qWarning().noquote() << "Error, cannot create dir" << dir;
    }
    if (!QFile::exists(result)) {
        QFile file(result);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(initContent);
            file.close();
        }
    }
    return result;
}
