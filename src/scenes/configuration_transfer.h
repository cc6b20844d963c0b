#pragma once

#include <QJsonObject>
#include <QObject>
#include <QStringList>

class JsonConfig;

// The whole configuration of a site in one JSON file, to keep as a backup or to move to
// another PC: names, orders, walls, power commands, the re-routing switch, the thumbnail
// rate, scenes and schedules, the control API's and the MQTT bridge's settings; the password
// hash, the control API's token and the broker's password only when asked for. An import is
// checked as a whole before anything changes, the current settings file is copied aside, and
// the sections it brings replace those of the settings in one write (scenes and schedules
// together); then the store writes nothing more until the restart reads the new file.
class ConfigurationTransfer : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString lastMessage READ lastMessage NOTIFY finished)
    // Whether lastMessage tells of a success; the page shows a failure in the error colour.
    Q_PROPERTY(bool lastSucceeded READ lastSucceeded NOTIFY finished)
    // Where the settings page offers to write and read the file.
    Q_PROPERTY(QString defaultPath READ defaultPath CONSTANT)

public:
    static const QString FORMAT;
    static constexpr int FORMAT_VERSION = 1;
    static constexpr qint64 SIZE_LIMIT = 8 * 1024 * 1024;

    // apiSecretKeys: the settings keys of the control API's token, exported among the secrets.
    ConfigurationTransfer(JsonConfig *config, const QStringList &apiSecretKeys, QObject *parent = nullptr);

    QJsonObject exportDocument(bool withSecrets) const;
    // Checks a file's content; on success `keys` holds the settings to write. Every
    // problem found is listed, not only the first. `foreign` tells a file that is no
    // configuration of this program at all from one with wrong entries.
    static bool read(const QByteArray &content, QJsonObject *keys, QStringList *problems, bool *foreign = nullptr);

    QString lastMessage() const { return message; }
    bool lastSucceeded() const { return succeeded; }
    static QString defaultPath();
    // Paths or file URLs.
    Q_INVOKABLE bool fileExists(const QString &target) const;
    Q_INVOKABLE bool exportTo(const QString &target, bool withSecrets);
    // Reads and checks the file without changing anything, so that the user is asked only
    // about a file that can be imported; a refusal is in lastMessage.
    Q_INVOKABLE bool check(const QString &source);
    Q_INVOKABLE bool importFrom(const QString &source);

signals:
    void finished(bool ok);
    // The settings file now holds the imported configuration; the program restarts to use it.
    void imported();

private:
    bool fail(const QString &text);
    // The settings the file at `path` brings; false (and lastMessage why) when it brings none.
    bool load(const QString &path, QJsonObject *keys);
    static QString unusedCopyPath(const QString &current);
    static bool copyPrivately(const QString &from, const QString &to);

    JsonConfig *config;
    const QStringList apiSecretKeys;
    QString message;
    bool succeeded = true;
};
