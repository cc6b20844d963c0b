#include "manager/routing.h"

#include "discovery/broadcast_socket.h"
#include "models/device_list_model.h"
#include "models/network_commands.h"
#include "models/rx_device_base.h"
#include "models/tx_device.h"
#include "models/vw_device.h"
#include "video/mini_video_source.h"

#include <QDebug>

namespace {

const QString ENCODER_PREFIX = QStringLiteral("TX:");

} // namespace

Routing::Routing(const DeviceLists &lists, BroadcastSocket *sockets, QObject *parent)
    : QObject(parent)
    , lists(lists)
    , sockets(sockets)
    , rxsource(new MiniVideoSource(this))
{
    for (int i = 0; i < WALL_CELLS; ++i)
        onlineCells << false;
    connect(lists.rx, &QAbstractItemModel::dataChanged, this, &Routing::onRxDataChanged);
    // A renamed encoder is named anew under the picture it shows.
    connect(lists.tx, &QAbstractItemModel::dataChanged, this,
        [this](const QModelIndex &, const QModelIndex &, const QVector<int> &roles) {
            if (roles.contains(DeviceListModel::AliasRole))
                refreshRxVideo();
        });
}

// A wall's source follows its members, so the video area follows the wall.
void Routing::onRxDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QVector<int> &roles)
{
    if (!roles.contains(DeviceListModel::MixedRole))
        return;
    const DeviceBasePtr selected = selectedEntry();
    for (int row = topLeft.row(); selected && row <= bottomRight.row(); ++row) {
        if (lists.rx->at(row) == selected) {
            refreshRxVideo();
            return;
        }
    }
}

void Routing::setCurrentVwSize(const QSize &size)
{
    if (size == vwSize)
        return;
    vwSize = size;
    emit currentVwSizeChanged(size);
}

void Routing::setVwOnlineStatus(const QList<bool> &status)
{
    if (status.size() != WALL_CELLS || status == onlineCells)
        return;
    onlineCells = status;
    emit vwOnlineStatusChanged();
}

DeviceBasePtr Routing::selectedEntry() const
{
    return current.isEmpty() ? nullptr : lists.rx->findDevice(current, false);
}

void Routing::setCurrentRxDevice(const QString &rx)
{
    qDebug().noquote() << "current rx:" << rx;
    current = rx;
    refreshRxVideo();
    updateVwOnlineStatus();
}

bool Routing::sourceFromReference(const QString &tx, QString *sourceName)
{
    if (!tx.startsWith(ENCODER_PREFIX))
        return false;
    *sourceName = tx.mid(ENCODER_PREFIX.size());
    return true;
}

// One message for the whole request, however many decoders it would have reached.
bool Routing::sourceAcceptable(const QString &sourceName)
{
    if (TelnetSwitchSourceCommand(sourceName).isValid())
        return true;
    emit errorOccured(
        tr("The source \"%1\" cannot be shown: its name cannot be sent to a decoder.").arg(sourceName.simplified()));
    return false;
}

Routing::Result Routing::route(const QString &sourceName, const QString &targetName)
{
    if (!sourceAcceptable(sourceName))
        return Result::RefusedSource;
    const QSharedPointer<RxDeviceBase> entry
        = targetName.isEmpty() ? nullptr : lists.rx->findDevice(targetName, false).objectCast<RxDeviceBase>();
    if (entry)
        routeEntry(*entry, sourceName);
    emit routed();
    refreshRxVideo();
    return entry ? Result::Routed : Result::UnknownTarget;
}

Routing::Result Routing::routeToAll(const QString &sourceName)
{
    if (!sourceAcceptable(sourceName))
        return Result::RefusedSource;
    for (int row = 0; row < lists.rx->rowCount(); ++row) {
        if (const QSharedPointer<RxDeviceBase> entry = lists.rx->at(row).objectCast<RxDeviceBase>())
            routeEntry(*entry, sourceName);
    }
    emit routed();
    refreshRxVideo();
    return Result::Routed;
}

void Routing::reannounceWall(const QString &wallName)
{
    const auto wall = lists.rx->findDevice(wallName, false).objectCast<VWDevice>();
    if (wall && !wall->intendedSource().isEmpty())
        announceWall(*wall, wall->intendedSource());
}

void Routing::routeEntry(RxDeviceBase &entry, const QString &sourceName)
{
    entry.setSource(sourceName);
    if (entry.deviceModel() == DeviceModel::Vw)
        announceWall(entry, sourceName);
}

// The encoders learn which decoders of a wall show them; without it a wall can stay dark.
void Routing::announceWall(const RxDeviceBase &wall, const QString &sourceName)
{
    QStringList names;
    wall.collectNames(names);
    if (names.isEmpty() || demoMode)
        return;
    const UdpConfigSources command(sourceName, names);
    if (!command.isValid()) {
        emit errorOccured(tr("The encoders cannot be told about the wall %1: a device name in it cannot be sent.")
                              .arg(wall.nameAlias()));
        return;
    }
    sendTxBroadcastCommand(command.bytes());
}

void Routing::sendTxBroadcastCommand(const QByteArray &data)
{
    qDebug().noquote() << "Send tx command:" << QString::fromLatin1(data);
    for (const quint16 port : ENCODER_COMMAND_PORTS)
        sockets->writeDatagram(data, port);
}

void Routing::refreshRxVideo()
{
    const QSharedPointer<RxDeviceBase> entry = selectedEntry().objectCast<RxDeviceBase>();
    const auto *wall = qobject_cast<const VWDevice *>(entry.data());
    const bool wallMixed = wall && wall->mixed();
    if (wallMixed != mixed) {
        mixed = wallMixed;
        emit currentMixedChanged(mixed);
    }
    if (!entry) {
        setSourceAlias(QString());
        return;
    }
    setCurrentVwSize(wall ? wall->size() : QSize(1, 1));
    // Without a known encoder the placeholder shows, not the previous selection's video.
    const QSharedPointer<TxDevice> encoder = entry->currentSource().isEmpty()
        ? nullptr
        : lists.tx->findDevice(entry->currentSource(), false).objectCast<TxDevice>();
    setSourceAlias(encoder ? encoder->nameAlias() : QString());
    if (!encoder) {
        rxsource->unbindSource();
        return;
    }
    if (rxsource->boundSource() == encoder->videoSource())
        return;
    qDebug().noquote() << "switch rx" << current << " video to tx" << encoder->name();
    rxsource->bindSource(encoder->videoSource());
}

void Routing::setSourceAlias(const QString &alias)
{
    if (alias == sourceAlias)
        return;
    sourceAlias = alias;
    emit currentSourceChanged(alias);
}

void Routing::updateVwOnlineStatus()
{
    const DeviceBasePtr entry = selectedEntry();
    if (!entry)
        return;
    QList<bool> cells = onlineCells;
    bool anyOnline = false;
    if (entry->deviceModel() == DeviceModel::Rx) {
        cells[0] = entry->online();
    } else if (const auto *wall = qobject_cast<const VWDevice *>(entry.data())) {
        const QStringList parts = wall->onlineStatusText().split(QLatin1Char(','), Qt::SkipEmptyParts);
        const QStringList names = wall->cellNames();
        for (int i = 0; i < parts.size() && i < WALL_CELLS; ++i) {
            const bool online = parts.at(i) == QLatin1String("1");
            anyOnline = anyOnline || online;
            // The marker is for a member that is away; a screen that holds no decoder is not away.
            cells[i] = online || names.value(i).isEmpty();
        }
    }
    if (cells != onlineCells) {
        onlineCells = cells;
        emit vwOnlineStatusChanged();
    }
    if (anyOnline)
        refreshRxVideo();
}
