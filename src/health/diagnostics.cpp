#include "health/diagnostics.h"

#include "base/logging.h"
#include "base/paths.h"
#include "health/health_monitor.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSysInfo>

#include <QDebug>

#include <algorithm>
#include <cstring>

namespace {
const QString REMOVED = QStringLiteral("(removed)");
// Files bigger than this are cut to their end: the newest lines are the ones asked about.
constexpr qint64 MAX_FILE_BYTES = 16 * 1024 * 1024;

bool secretKey(const QString &key)
{
    static const QRegularExpression secret(
        QStringLiteral("pass|token|salt|hash|secret|credential|private"), QRegularExpression::CaseInsensitiveOption);
    return secret.match(key).hasMatch();
}

QByteArray readTail(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    if (file.size() > MAX_FILE_BYTES)
        file.seek(file.size() - MAX_FILE_BYTES);
    return file.read(MAX_FILE_BYTES);
}

void putOctal(char *field, int width, qint64 value)
{
    // width - 1 digits and a NUL, as ustar wants them.
    const QByteArray digits = QByteArray::number(value, 8).rightJustified(width - 1, '0');
    std::memcpy(field, digits.constData(), size_t(width - 1));
    field[width - 1] = '\0';
}
} // namespace

Diagnostics::Diagnostics(HealthMonitor *monitor, const QString &settingsPath, const QString &logPath,
    const QString &program, QObject *parent)
    : QObject(parent)
    , monitor(monitor)
    , settingsPath(expandPathAndInitFile(settingsPath, true, QByteArray()))
    , logPath(expandPathAndInitFile(logPath, true, QByteArray()))
    , program(program)
{
}

QJsonValue Diagnostics::withoutSecrets(const QJsonValue &value)
{
    if (value.isObject()) {
        QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            it.value() = secretKey(it.key()) ? QJsonValue(REMOVED) : withoutSecrets(it.value());
        return object;
    }
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        for (auto it = array.begin(); it != array.end(); ++it)
            *it = withoutSecrets(*it);
        return array;
    }
    return value;
}

QList<QPair<QString, QByteArray>> Diagnostics::contents() const
{
    QList<QPair<QString, QByteArray>> files;
    for (int n = 0; n <= logging::LOG_BACKUPS; ++n) {
        const QString path = n == 0 ? logPath : QStringLiteral("%1.%2").arg(logPath).arg(n);
        if (QFileInfo::exists(path))
            files.append({QStringLiteral("log/") + QFileInfo(path).fileName(), readTail(path)});
    }

    QFile settings(settingsPath);
    QJsonParseError parseError {};
    const QJsonDocument document = settings.open(QIODevice::ReadOnly)
        ? QJsonDocument::fromJson(settings.read(MAX_FILE_BYTES), &parseError)
        : QJsonDocument();
    if (document.isObject())
        files.append({QStringLiteral("settings.json"),
            QJsonDocument(withoutSecrets(document.object()).toObject()).toJson(QJsonDocument::Indented)});
    else
        files.append({QStringLiteral("settings.txt"),
            QStringLiteral("The settings file %1 could not be read as JSON (%2); it is left out, as its secrets "
                           "could not be told apart.\n")
                .arg(settingsPath, settings.exists() ? parseError.errorString() : QStringLiteral("no such file"))
                .toUtf8()});

    if (monitor) {
        QJsonArray devices;
        for (HealthMonitor::Entry *entry : monitor->ranked())
            devices.append(monitor->deviceJson(*entry));
        files.append({QStringLiteral("health.json"),
            QJsonDocument(QJsonObject {{QStringLiteral("controller"), monitor->controllerJson()},
                              {QStringLiteral("devices"), devices}})
                .toJson(QJsonDocument::Indented)});
    } else {
        files.append({QStringLiteral("health.txt"),
            QByteArrayLiteral("Written by a copy started only for this file: the health record lives in the running "
                              "copy. Its window's Health page writes an archive with it.\n")});
    }

    QString versions;
    versions += QStringLiteral("program: %1\n").arg(program);
    versions += QStringLiteral("qt: %1 (built with %2)\n")
                    .arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR));
    versions += QStringLiteral("system: %1\n").arg(QSysInfo::prettyProductName());
    versions += QStringLiteral("kernel: %1 %2\n").arg(QSysInfo::kernelType(), QSysInfo::kernelVersion());
    versions += QStringLiteral("architecture: %1\n").arg(QSysInfo::currentCpuArchitecture());
    versions += QStringLiteral("written: %1\n").arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    files.append({QStringLiteral("versions.txt"), versions.toUtf8()});

    QString network;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        QStringList flags;
        const auto has = [&interface](QNetworkInterface::InterfaceFlag flag) { return interface.flags() & flag; };
        if (has(QNetworkInterface::IsUp))
            flags << QStringLiteral("up");
        if (has(QNetworkInterface::IsRunning))
            flags << QStringLiteral("running");
        if (has(QNetworkInterface::CanBroadcast))
            flags << QStringLiteral("broadcast");
        if (has(QNetworkInterface::IsLoopBack))
            flags << QStringLiteral("loopback");
        network += QStringLiteral("%1 (%2) mtu %3 %4 [%5]\n")
                       .arg(interface.name(), interface.humanReadableName())
                       .arg(interface.maximumTransmissionUnit())
                       .arg(interface.hardwareAddress(), flags.join(QLatin1Char(' ')));
        for (const QNetworkAddressEntry &entry : interface.addressEntries())
            network += QStringLiteral("    %1/%2 broadcast %3\n")
                           .arg(entry.ip().toString())
                           .arg(entry.prefixLength())
                           .arg(entry.broadcast().isNull() ? QStringLiteral("-") : entry.broadcast().toString());
    }
    files.append({QStringLiteral("network.txt"), network.toUtf8()});
    return files;
}

QByteArray Diagnostics::tar(const QList<QPair<QString, QByteArray>> &files, qint64 modified)
{
    QByteArray archive;
    for (const auto &file : files) {
        char header[512] = {};
        const QByteArray name = QByteArrayLiteral("zentrova-diagnostics/") + file.first.toUtf8();
        std::memcpy(header, name.constData(), size_t(std::min(name.size(), 99)));
        putOctal(header + 100, 8, 0644);
        putOctal(header + 108, 8, 0);
        putOctal(header + 116, 8, 0);
        putOctal(header + 124, 12, file.second.size());
        putOctal(header + 136, 12, modified);
        header[156] = '0';
        std::memcpy(header + 257, "ustar", 6);
        std::memcpy(header + 263, "00", 2);
        // The checksum is taken with its own field as spaces.
        std::memset(header + 148, ' ', 8);
        unsigned int sum = 0;
        for (const char c : header)
            sum += static_cast<unsigned char>(c);
        putOctal(header + 148, 7, sum);
        header[155] = ' ';
        archive.append(header, sizeof header);
        archive.append(file.second);
        archive.append(QByteArray((512 - file.second.size() % 512) % 512, '\0'));
    }
    archive.append(QByteArray(1024, '\0'));
    return archive;
}

bool Diagnostics::write(const QString &file, QString *error) const
{
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = out.errorString();
        return false;
    }
    out.write(tar(contents(), QDateTime::currentSecsSinceEpoch()));
    if (!out.commit()) {
        *error = out.errorString();
        return false;
    }
    return true;
}

QString Diagnostics::writeToHome()
{
    const QString file
        = QDir::home().filePath(QStringLiteral("zentrova-diagnostics-%1.tar")
                                    .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    if (!write(file, &problem)) {
        qWarning().noquote() << "The file for support could not be written to" << file << ":" << problem;
        return QString();
    }
    problem.clear();
    qInfo().noquote() << "The file for support was written to" << file;
    return file;
}
