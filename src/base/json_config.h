#pragma once

#include <QJsonValue>
#include <QReadWriteLock>
#include <QString>
#include <functional>

// A JSON document kept in memory and addressed by slash-separated key paths
// ("security/password"). A writable store rewrites its file after every change,
// unless a batch is open; a read-only store never touches the disk after loading.
// A write that fails leaves the file as it was and the change in memory, for the next
// save to write; the file's previous version is kept beside it as "<file>.1", which a
// start finds an empty or unreadable file replaced by.
class JsonConfig
{
public:
    // Told when saving starts to fail (saved false, with the reason) and when a save works
    // again after failing: once per episode, not per attempt. Called with the store locked,
    // possibly from any thread that changes it: it must not call the store back directly.
    using SaveObserver = std::function<void(bool saved, const QString &reason)>;

    JsonConfig(const QString &path, bool readOnly);

    static QString backupPath(const QString &filePath) { return filePath + QStringLiteral(".1"); }

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
    bool isReadOnly() const;
    QString path() const;
    void setSaveObserver(const SaveObserver &observer);
    // Writes what a failed save left in memory; true when the file holds all of it.
    bool retrySave();
    bool saveFailing() const;
    // Empty, or what a start found wrong with the file and what it used instead.
    QString loadNotice() const;

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
    bool restoreFromBackup();
    void keepBackup();
    void reportSave(bool saved, const QString &reason);

    mutable QReadWriteLock lock;
    QString filePath;
    bool readOnly;
    bool inBatch;
    QJsonValue root;
    // What the file holds as far as this store knows; an unchanged document is not rewritten.
    QByteArray fileContent;
    // The file holds settings this store read or wrote whole: worth keeping as the copy.
    bool fileGood = false;
    // The copy beside the file already holds fileContent.
    bool backupCurrent = false;
    bool failing = false;
    SaveObserver observer;
    QString notice;
};
