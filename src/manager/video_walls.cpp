#include "manager/video_walls.h"

#include "base/json_config.h"
#include "manager/config_keys.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/vw_device.h"

#include <QDateTime>
#include <QDebug>
#include <QJsonArray>
#include <QThread>

namespace {

constexpr int GUID_STAMP_RANGE = 10000;

bool validExtent(int extent, int max)
{
    return extent >= 1 && extent <= max;
}

} // namespace

VideoWalls::VideoWalls(DeviceListModel *rxlist, JsonConfig *config, QObject *parent)
    : QObject(parent)
    , rxlist(rxlist)
    , config(config)
{
    const QJsonArray former = config->jsonValue(configkeys::FORMER_WALL_MEMBERS).toArray();
    for (const QJsonValue &name : former) {
        if (!name.toString().isEmpty())
            formerMembers.insert(name.toString());
    }
}

void VideoWalls::storeFormerMembers()
{
    QStringList names = formerMembers.values();
    names.sort();
    config->setValue(configkeys::FORMER_WALL_MEMBERS, QJsonArray::fromStringList(names));
}

QString VideoWalls::makeVwGuid()
{
    const QString thread
        = QString::number(quintptr(QThread::currentThreadId()), 16).rightJustified(4, QLatin1Char('0'));
    int stamp = int(QDateTime::currentMSecsSinceEpoch() % GUID_STAMP_RANGE);
    QString identity;
    do {
        identity = QStringLiteral("VW:%1:%2").arg(thread).arg(stamp);
        stamp = (stamp + 1) % GUID_STAMP_RANGE;
    } while (issuedIdentities.contains(identity) || rxlist->containsName(identity));
    issuedIdentities.insert(identity);
    return identity;
}

VWDevicePtr VideoWalls::createWall(const QString &displayName, int width, int height, const QString &source)
{
    if (displayName.isEmpty() || !validExtent(width, MAX_COLUMNS) || !validExtent(height, MAX_ROWS))
        return nullptr;
    return VWDevicePtr::create(makeVwGuid(), displayName, width, height, source, QStringList());
}

VWDevicePtr VideoWalls::wallFromRecord(const QJsonObject &record, const QJsonObject &aliasMap)
{
    const QString name = record.value(QStringLiteral("name")).toString();
    QString displayName = aliasMap.value(name).toString();
    if (displayName.isEmpty())
        displayName = name;
    const int width = record.value(QStringLiteral("width")).toInt(0);
    const int height = record.value(QStringLiteral("height")).toInt(0);
    const QString source = record.value(QStringLiteral("bind")).toString();
    QStringList cells;
    const QJsonArray devices = record.value(QStringLiteral("devices")).toArray();
    for (const QJsonValue &device : devices)
        cells << device.toString();
    if (name.isEmpty() || !validExtent(width, MAX_COLUMNS) || !validExtent(height, MAX_ROWS)
        || cells.size() < width * height)
        return nullptr;
    return VWDevicePtr::create(name, displayName, width, height, source, cells);
}

int VideoWalls::createVideoWall(const QString &name, int rows, int columns, const QString &cells)
{
    qDebug().noquote() << "create vw" << name << rows << columns << cells;
    const VWDevicePtr wall = createWall(name, columns, rows, QString());
    if (!wall)
        return -1;
    const QStringList parts = cells.split(QLatin1Char(','));
    for (int i = 0; i < parts.size() && i < rows * columns; ++i) {
        bool ok = false;
        const int seq = parts.at(i).toInt(&ok);
        if (!ok)
            continue;
        const RxDevicePtr decoder = rxlist->findDeviceBySeq(seq).objectCast<RxDevice>();
        if (!decoder)
            continue;
        decoder->configVw(rows, columns, i / columns, i % columns);
        if (wall->bind(decoder))
            rxlist->removeDevice(decoder->name());
    }
    const int row = rxlist->addDevice(wall, -1);
    emit changed();
    return row;
}

bool VideoWalls::deleteVideoWall(const QString &guid)
{
    qDebug().noquote() << "delete vw" << guid;
    const VWDevicePtr wall = rxlist->findDeviceByGuid(guid).objectCast<VWDevice>();
    if (!wall)
        return false;
    rxlist->removeDevice(wall->name());
    const QStringList cells = wall->cellNames();
    const QVector<RxDevicePtr> members = wall->releaseMembers();
    for (int i = 0; i < members.size(); ++i) {
        if (members.at(i))
            rxlist->addDevice(members.at(i), -1);
        else if (!cells.at(i).isEmpty())
            formerMembers.insert(cells.at(i));
    }
    storeFormerMembers();
    emit changed();
    return true;
}

void VideoWalls::placeFetchedDecoder(const RxDevicePtr &decoder)
{
    if (formerMembers.remove(decoder->name())) {
        qInfo().noquote() << "Decoder" << decoder->name()
                          << "belonged to a deleted wall, setting it back to a single display";
        decoder->resetVw();
        storeFormerMembers();
        listPlain(decoder);
        return;
    }
    if (joinNamingWall(decoder)) {
        emit changed();
        return;
    }
    const VwInfo info = decoder->vwInfo();
    if (info.isStandAlone()) {
        listPlain(decoder);
        return;
    }
    if (joinAnyWall(decoder) || joinNewWall(decoder)) {
        emit changed();
        return;
    }
    // An unreadable place (all zeros) or one outside the decoder's own grid fits no wall.
    qWarning().noquote().nospace() << "No wall accepts decoder " << decoder->name() << " at its place " << info.columns
                                   << " x " << info.rows << " (" << info.column << ", " << info.row
                                   << "), listing it as a single display";
    listPlain(decoder);
}

// A saved wall that names the decoder takes it whatever it reports, and tells it its
// place again when it has lost it.
bool VideoWalls::joinNamingWall(const RxDevicePtr &decoder)
{
    for (const VWDevicePtr &wall : listedWalls()) {
        const int cell = wall->cellNames().indexOf(decoder->name());
        if (cell < 0 || !wall->bind(decoder))
            continue;
        const QSize size = wall->size();
        const VwInfo place {size.width(), size.height(), cell % size.width(), cell / size.width()};
        if (!(decoder->vwInfo() == place))
            decoder->configVw(place.rows, place.columns, place.row, place.column);
        return true;
    }
    return false;
}

bool VideoWalls::joinAnyWall(const RxDevicePtr &decoder)
{
    for (const VWDevicePtr &wall : listedWalls()) {
        if (wall->bind(decoder))
            return true;
    }
    return false;
}

bool VideoWalls::joinNewWall(const RxDevicePtr &decoder)
{
    const VwInfo info = decoder->vwInfo();
    const VWDevicePtr wall
        = createWall(automaticName(info.columns, info.rows), info.columns, info.rows, decoder->currentSource());
    if (!wall || !wall->bind(decoder))
        return false;
    rxlist->addDevice(wall, -1);
    return true;
}

QVector<VWDevicePtr> VideoWalls::listedWalls() const
{
    QVector<VWDevicePtr> walls;
    for (int row = 0; row < rxlist->rowCount(); ++row) {
        if (const VWDevicePtr wall = rxlist->at(row).objectCast<VWDevice>())
            walls << wall;
    }
    return walls;
}

void VideoWalls::listPlain(const RxDevicePtr &decoder)
{
    rxlist->addDevice(decoder, config->value(configkeys::ORDER.arg(decoder->name()), -1));
}

QString VideoWalls::automaticName(int width, int height) const
{
    for (int n = 1;; ++n) {
        const QString name = QStringLiteral("%1 x %2 - %3").arg(width).arg(height).arg(n);
        if (!rxlist->containsAlias(name))
            return name;
    }
}
