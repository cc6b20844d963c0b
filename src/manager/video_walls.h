#pragma once

#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QSharedPointer>
#include <QString>
#include <QStringList>
#include <QVector>

class DeviceListModel;
class JsonConfig;
class RxDevice;
class VWDevice;
using RxDevicePtr = QSharedPointer<RxDevice>;
using VWDevicePtr = QSharedPointer<VWDevice>;

// The walls in the decoder list: making them (by the user, from the configuration file,
// for a decoder that reports itself part of a wall), deleting them, and deciding where a
// decoder whose information has just been read belongs.
class VideoWalls : public QObject
{
    Q_OBJECT

public:
    static constexpr int MAX_ROWS = 8;
    static constexpr int MAX_COLUMNS = 8;

    // The store is read for saved orders; both must outlive this object.
    VideoWalls(DeviceListModel *rxlist, JsonConfig *config, QObject *parent = nullptr);

    // A wall with a fresh identity; null for an empty display name or a size outside 1..8.
    VWDevicePtr createWall(const QString &displayName, int width, int height, const QString &source);
    // A wall as the configuration file keeps it; null for an invalid record.
    static VWDevicePtr wallFromRecord(const QJsonObject &record, const QJsonObject &aliasMap);
    // "VW:<thread>:<ms>", bumped until no listed device and no wall made before uses it.
    QString makeVwGuid();

    // The row of the new wall, or -1 when nothing was made. `cells` holds the decoders'
    // sequence numbers, row by row, separated by ",".
    int createVideoWall(const QString &name, int rows, int columns, const QString &cells);
    bool deleteVideoWall(const QString &guid);

    // Lists a decoder whose information has been read: in the wall that names it, in a
    // wall its own geometry fits, in a new wall made for it, or as a plain decoder.
    void placeFetchedDecoder(const RxDevicePtr &decoder);

signals:
    // The set of walls or their members changed; the configuration should be saved.
    void changed();

private:
    bool joinNamingWall(const RxDevicePtr &decoder);
    bool joinAnyWall(const RxDevicePtr &decoder);
    bool joinNewWall(const RxDevicePtr &decoder);
    QVector<VWDevicePtr> listedWalls() const;
    void listPlain(const RxDevicePtr &decoder);
    QString automaticName(int width, int height) const;
    void storeFormerMembers();

    DeviceListModel *rxlist;
    JsonConfig *config;
    QSet<QString> issuedIdentities;
    // Decoders named by a deleted wall that were not listed when it went; they still
    // believe they are part of it and are set back when they turn up, even after a restart.
    QSet<QString> formerMembers;
};
