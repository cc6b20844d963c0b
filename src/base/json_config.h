#pragma once

#include <QJsonValue>
#include <QReadWriteLock>
#include <QString>

// A JSON document kept in memory and addressed by slash-separated key paths
// ("security/password"). A writable store rewrites its file after every change,
// unless a batch is open; a read-only store never touches the disk after loading.
class JsonConfig
{
public:
    JsonConfig(const QString &path, bool readOnly);

    int value(const QString &path, int defaultValue) const;
    double value(const QString &path, double defaultValue) const;
    QString value(const QString &path, const QString &defaultValue) const;
    QString value(const QString &path, const char *defaultValue) const;
    bool value(const QString &path, bool defaultValue) const;
    // The entry as stored, for callers that must tell an object from an array;
    // Undefined when the path leads nowhere.
    QJsonValue jsonValue(const QString &keyPath) const;

    // False when the file had to be written and could not be.
    bool setValue(const QString &path, const QJsonValue &value);
    void setReadOnly(bool readOnly);
    QString path() const;

    void beginBatch();
    // False when the file had to be written and could not be.
    bool endBatch();
    // Ends a batch whose changes stay in memory until the next write, for a caller that
    // has a write of its own coming.
    void endBatchInMemory();

private:
    void load();
    bool save();
    void keepUnreadableFile(const QByteArray &content);

    mutable QReadWriteLock lock;
    QString filePath;
    bool readOnly;
    bool inBatch;
    QJsonValue root;
    // What the file holds as far as this store knows; an unchanged document is not rewritten.
    QByteArray fileContent;
};
