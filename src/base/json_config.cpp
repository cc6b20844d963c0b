#include "base/json_config.h"

#include "base/paths.h"
#include "platform/platform.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QStringList splitPath(const QString &path)
{
    return path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

void setRecursive(
    QJsonValue &current, QStringList::const_iterator step, QStringList::const_iterator end, const QJsonValue &value)
{
    if (step == end || !current.isObject())
        return;
    QJsonObject object = current.toObject();
    if (step + 1 == end) {
        object.insert(*step, value);
    } else {
        QJsonValue member = object.value(*step);
        if (!member.isObject())
            member = QJsonObject();
        setRecursive(member, step + 1, end, value);
        object.insert(*step, member);
    }
    current = object;
}

} // namespace

JsonConfig::JsonConfig(const QString &path, bool readOnly)
    : filePath(expandPathAndInitFile(path, readOnly, QByteArray()))
    , readOnly(readOnly)
    , inBatch(false)
{
    load();
}

QJsonValue JsonConfig::jsonValue(const QString &keyPath) const
{
    QReadLocker locker(&lock);
    const QStringList steps = splitPath(keyPath);
    if (steps.isEmpty())
        return QJsonValue(QJsonValue::Undefined);
    QJsonValue current = root;
    for (const QString &step : steps) {
        if (current.isArray()) {
            bool ok = false;
            const uint index = step.toUInt(&ok);
            const QJsonArray array = current.toArray();
            if (!ok || index >= uint(array.size()))
                return QJsonValue(QJsonValue::Undefined);
            current = array.at(int(index));
        } else if (current.isObject() && current.toObject().contains(step)) {
            current = current.toObject().value(step);
        } else {
            return QJsonValue(QJsonValue::Undefined);
        }
    }
    return current;
}

int JsonConfig::value(const QString &path, int defaultValue) const
{
    const QJsonValue v = jsonValue(path);
    return v.isNull() || v.isUndefined() ? defaultValue : v.toInt(defaultValue);
}

double JsonConfig::value(const QString &path, double defaultValue) const
{
    const QJsonValue v = jsonValue(path);
    return v.isNull() || v.isUndefined() ? defaultValue : v.toDouble(defaultValue);
}

QString JsonConfig::value(const QString &path, const QString &defaultValue) const
{
    const QJsonValue v = jsonValue(path);
    return v.isNull() || v.isUndefined() ? defaultValue : v.toString(defaultValue);
}

QString JsonConfig::value(const QString &path, const char *defaultValue) const
{
    return value(path, QString::fromUtf8(defaultValue));
}

bool JsonConfig::value(const QString &path, bool defaultValue) const
{
    const QJsonValue v = jsonValue(path);
    return v.isNull() || v.isUndefined() ? defaultValue : v.toBool(defaultValue);
}

bool JsonConfig::setValue(const QString &path, const QJsonValue &value)
{
    QWriteLocker locker(&lock);
    const QStringList steps = splitPath(path);
    setRecursive(root, steps.cbegin(), steps.cend(), value);
    return readOnly || inBatch || save();
}

void JsonConfig::setReadOnly(bool flag)
{
    QWriteLocker locker(&lock);
    readOnly = flag;
}

bool JsonConfig::isReadOnly() const
{
    QReadLocker locker(&lock);
    return readOnly;
}

void JsonConfig::setSaveObserver(const SaveObserver &newObserver)
{
    QWriteLocker locker(&lock);
    observer = newObserver;
}

bool JsonConfig::retrySave()
{
    QWriteLocker locker(&lock);
    if (readOnly || inBatch)
        return true;
    return save();
}

bool JsonConfig::saveFailing() const
{
    QReadLocker locker(&lock);
    return failing;
}

QString JsonConfig::loadNotice() const
{
    QReadLocker locker(&lock);
    return notice;
}

QString JsonConfig::path() const
{
    return filePath;
}

void JsonConfig::beginBatch()
{
    inBatch = true;
}

bool JsonConfig::endBatch()
{
    QWriteLocker locker(&lock);
    inBatch = false;
    return readOnly || save();
}

void JsonConfig::endBatchInMemory()
{
    inBatch = false;
}

void JsonConfig::load()
{
    QFile file(filePath);
    const QByteArray content = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    fileContent = content;
    const QJsonDocument document = QJsonDocument::fromJson(content);
    root = document.isObject() ? document.object() : QJsonObject();
    fileGood = document.isObject();
    if (fileGood)
        return;
    if (!document.isObject() && !readOnly && !content.trimmed().isEmpty())
        keepUnreadableFile(content);
    if (restoreFromBackup() && !readOnly)
        save();
}

// A file emptied or cut short outside the program (a full disk under an older version, a
// copy gone wrong) would otherwise start the controller with nothing it was told.
bool JsonConfig::restoreFromBackup()
{
    const QString copyPath = backupPath(filePath);
    QFile copy(copyPath);
    if (!copy.open(QIODevice::ReadOnly))
        return false;
    const QJsonDocument document = QJsonDocument::fromJson(copy.readAll());
    if (!document.isObject() || document.object().isEmpty())
        return false;
    // The copy stays as it is: only a file this store read or wrote whole replaces it.
    root = document.object();
    notice = QStringLiteral("The settings file %1 was empty or unreadable; the settings were restored from the copy "
                            "%2 of %3.")
                 .arg(filePath, copyPath, QFileInfo(copyPath).lastModified().toString(Qt::ISODate));
    qWarning().noquote() << notice;
    return true;
}

// The next save would overwrite a file we could not read; the user's settings
// in it may still be recoverable by hand, so keep them beside it.
void JsonConfig::keepUnreadableFile(const QByteArray &content)
{
    const QString copyPath = filePath + QStringLiteral(".bad");
    // It holds the same secrets as the file.
    if (writeFileDurably(copyPath, content))
        qWarning().noquote() << "Unreadable settings file" << filePath << "kept as" << copyPath;
    else
        qWarning().noquote() << "Unreadable settings file" << filePath << "could not be kept as" << copyPath;
}

// Written beside the file and renamed over it, so that a crash or power loss during
// the write leaves the previous file whole.
bool JsonConfig::save()
{
    const QByteArray content = QJsonDocument(root.toObject()).toJson(QJsonDocument::Indented);
    if (content == fileContent && QFile::exists(filePath)) {
        reportSave(true, QString());
        return true;
    }
    keepBackup();
    QString reason;
    if (!writeFileDurably(filePath, content, &reason)) {
        reportSave(false, reason);
        return false;
    }
    fileContent = content;
    fileGood = true;
    backupCurrent = false;
    reportSave(true, QString());
    return true;
}

// The version about to be replaced becomes the copy: a second name for the same file
// where the file system allows, so that a save writes its data once.
void JsonConfig::keepBackup()
{
    if (!fileGood || backupCurrent)
        return;
    const QString copyPath = backupPath(filePath);
    backupCurrent = platform::linkReplacing(filePath, copyPath) || writeFileDurably(copyPath, fileContent);
}

void JsonConfig::reportSave(bool saved, const QString &reason)
{
    if (saved == !failing)
        return;
    failing = !saved;
    if (failing)
        qWarning().noquote() << QStringLiteral(
            "The settings could not be saved to %1 (%2); they are kept in memory until a save works")
                                    .arg(filePath, reason);
    else
        qInfo().noquote() << "The settings are saved to" << filePath << "again";
    if (observer)
        observer(saved, reason);
}
