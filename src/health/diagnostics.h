#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

class HealthMonitor;

// One file for support: a tar archive of the log and its backups, the settings without their
// secrets, the health record, the versions of the program, Qt and the system, and the
// network interfaces. Nothing in it may let its reader in: every settings value whose key
// names a password, token, salt, hash, secret or credential is removed, and settings that
// cannot be read as JSON are left out rather than copied unread.
class Diagnostics : public QObject
{
    Q_OBJECT

public:
    // The monitor may be null (a copy started only to write the file has no record); it
    // outlives this object. Paths may start with "~/".
    Diagnostics(HealthMonitor *monitor, const QString &settingsPath, const QString &logPath, const QString &program,
        QObject *parent = nullptr);

    // Writes the archive to file, replacing it only once it is complete. False, with why.
    bool write(const QString &file, QString *error) const;
    // For the window: the archive in the home folder under a name with the time; its path,
    // or empty when it could not be written (see lastError).
    Q_INVOKABLE QString writeToHome();
    Q_INVOKABLE QString lastError() const { return problem; }

    // Every member whose key looks like a secret, at any depth, replaced by "(removed)".
    static QJsonValue withoutSecrets(const QJsonValue &value);
    // A POSIX ustar archive of regular files.
    static QByteArray tar(const QList<QPair<QString, QByteArray>> &files, qint64 modified);

private:
    QList<QPair<QString, QByteArray>> contents() const;

    HealthMonitor *monitor;
    QString settingsPath;
    QString logPath;
    QString program;
    QString problem;
};
