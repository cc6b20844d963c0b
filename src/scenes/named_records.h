#pragma once

#include "base/json_config.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QVector>

// What every record store announces; templates cannot declare signals themselves.
class RecordStoreSignals : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void changed();
};

// Scenes and schedules alike: a list of records named uniquely without regard to case,
// kept in the settings file as a JSON array under a key of its own that older copies of the
// program do not read. A Record has `name`, toJson() and a checking fromJson().
template <typename Record> class RecordStore : public RecordStoreSignals
{
public:
    // Reads the stored records; entries that are not valid are logged and skipped.
    RecordStore(JsonConfig *config, const QString &key, int limit, QObject *parent)
        : RecordStoreSignals(parent)
        , config(config)
        , key(key)
        , limit(limit)
    {
        for (const QJsonValue &entry : config->jsonValue(key).toArray()) {
            Record record;
            QString reason;
            if (!Record::fromJson(entry, &record, &reason))
                qWarning().noquote() << "Stored" << key << "entry skipped:" << reason;
            else if (indexOf(list, record.name) >= 0 || list.size() >= limit)
                qWarning().noquote() << "Stored" << key << "entry skipped: repeated name or too many";
            else
                list.append(record);
        }
    }

    QVector<Record> records() const { return list; }
    // Null when no record has the name.
    const Record *find(const QString &name) const
    {
        const int index = indexOf(list, name);
        return index < 0 ? nullptr : &list.at(index);
    }
    // Adds the record, or replaces the one of the same name. False for a record that would
    // not read back, a full list or a file that could not be written.
    bool save(const Record &record)
    {
        if (indexOf(list, record.name) >= 0)
            return replace(record.name, record);
        Record checked;
        if (!readsBack(record, &checked) || list.size() >= limit)
            return false;
        list.append(checked);
        return store();
    }
    // Puts the record in the place of the one named `name`, under its own name, which no
    // other record may have; false as for save() or when there is no record named `name`.
    bool replace(const QString &name, const Record &record)
    {
        const int index = indexOf(list, name);
        const int taken = indexOf(list, record.name);
        Record checked;
        if (index < 0 || (taken >= 0 && taken != index) || !readsBack(record, &checked))
            return false;
        list[index] = checked;
        return store();
    }
    bool rename(const QString &name, const QString &newName)
    {
        const Record *record = find(name);
        if (!record)
            return false;
        Record renamed = *record;
        renamed.name = newName;
        return replace(name, renamed);
    }
    bool remove(const QString &name)
    {
        const int index = indexOf(list, name);
        if (index < 0)
            return false;
        list.removeAt(index);
        return store();
    }

    static QJsonValue toJson(const QVector<Record> &records)
    {
        QJsonArray array;
        for (const Record &record : records)
            array.append(record.toJson());
        return array;
    }
    // All or nothing: the first record that is not valid, a repeated name or too many
    // refuse the whole list, with the reason.
    static bool fromJson(
        const QJsonValue &value, const QString &what, int limit, QVector<Record> *records, QString *reason)
    {
        if (!value.isArray() || value.toArray().size() > limit) {
            *reason = QStringLiteral("%1 must be a list of at most %2 entries").arg(what).arg(limit);
            return false;
        }
        QVector<Record> read;
        for (const QJsonValue &entry : value.toArray()) {
            Record record;
            if (!Record::fromJson(entry, &record, reason))
                return false;
            if (indexOf(read, record.name) >= 0) {
                *reason = QStringLiteral("%1: the name \"%2\" is used twice").arg(what, record.name);
                return false;
            }
            read.append(record);
        }
        *records = read;
        return true;
    }

private:
    static bool readsBack(const Record &record, Record *checked)
    {
        QString reason;
        return Record::fromJson(record.toJson(), checked, &reason);
    }

    static int indexOf(const QVector<Record> &records, const QString &name)
    {
        for (int i = 0; i < records.size(); ++i) {
            if (records.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    }

    bool store()
    {
        const bool written = config->setValue(key, toJson(list));
        emit changed();
        return written;
    }

    JsonConfig *config;
    QString key;
    int limit;
    QVector<Record> list;
};
