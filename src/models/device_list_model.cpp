#include "models/device_list_model.h"

#include "base/audit_operation.h"
#include "base/json_config.h"
#include "base/name_rules.h"
#include "models/rx_device.h"
#include "models/tx_device.h"
#include "models/vw_device.h"
#include "video/mini_video_source.h"

#include <QDebug>
#include <algorithm>

namespace {

const QString ORDER_KEY = QStringLiteral("orders/%1");

bool sameText(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

DeviceListModel::DeviceListModel(JsonConfig *config, QObject *parent)
    : QAbstractListModel(parent)
    , config(config)
{
}

int DeviceListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : devices.size();
}

QString DeviceListModel::wallOnlineText(const DeviceBase &device)
{
    if (const auto *wall = qobject_cast<const VWDevice *>(&device))
        return wall->onlineStatusText();
    return device.online() ? QStringLiteral("1") : QStringLiteral("0");
}

DeviceBase *DeviceListModel::deviceAt(const QModelIndex &index) const
{
    return index.row() >= 0 && index.row() < devices.size() ? devices.at(index.row()).data() : nullptr;
}

QVariant DeviceListModel::data(const QModelIndex &index, int role) const
{
    const DeviceBase *listed = deviceAt(index);
    if (!listed)
        return QVariant();
    const DeviceBase &device = *listed;
    switch (role) {
    case Qt::DisplayRole:
    case NameRole:
        return device.name();
    case IdRole:
        return device.id();
    case GuidRole:
        return device.guid();
    case AliasRole:
        return device.nameAlias();
    // The filters ask every row for its category at every discovery pass: only the roles
    // that need the encoder look for it.
    case SurfaceRole: {
        const auto *encoder = qobject_cast<const TxDevice *>(&device);
        return encoder ? QVariant::fromValue<QObject *>(encoder->videoSource()) : QVariant();
    }
    case VideoAvaiableRole: {
        const auto *encoder = qobject_cast<const TxDevice *>(&device);
        return encoder ? encoder->videoSource()->videoAvaiable() : false;
    }
    case AddressRole:
        return device.meta()->address.toString();
    case CategoryRole:
        return device.category();
    case SeqRole:
        return device.seq();
    case OnlineRole:
        return device.online();
    case WallOnlineRole:
        return wallOnlineText(device);
    case MixedRole: {
        const auto *wall = qobject_cast<const VWDevice *>(&device);
        return wall && wall->mixed();
    }
    case DriftedRole: {
        const auto *decoder = qobject_cast<const RxDeviceBase *>(&device);
        return decoder && decoder->drifted();
    }
    default:
        return QVariant();
    }
}

bool DeviceListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    DeviceBase *device = deviceAt(index);
    if (role != AliasRole || !device)
        return false;
    AuditOperation record(QStringLiteral("rename"), device->name(), device->nameAlias());
    // Whichever way a name comes in, the settings file must take it back at an import.
    if (!NameRules::displayName(value.toString())) {
        record.fail(QStringLiteral("bad_arguments"), QStringLiteral("not a display name"));
        return false;
    }
    device->setNameAlias(value.toString());
    record.setAfter(device->nameAlias());
    emit dataChanged(index, index, {AliasRole});
    return true;
}

Qt::ItemFlags DeviceListModel::flags(const QModelIndex &index) const
{
    const Qt::ItemFlags base = QAbstractListModel::flags(index);
    if (!index.isValid())
        return base & ~Qt::ItemIsDropEnabled;
    return base | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

QHash<int, QByteArray> DeviceListModel::roleNames() const
{
    static const QHash<int, QByteArray> names {{NameRole, "name"}, {IdRole, "id"}, {GuidRole, "guid"},
        {AliasRole, "alias"}, {SurfaceRole, "surface"}, {VideoAvaiableRole, "videoAvaiable"}, {AddressRole, "address"},
        {CategoryRole, "category"}, {SeqRole, "seq"}, {OnlineRole, "online"}, {WallOnlineRole, "wallOnline"},
        {MixedRole, "mixed"}, {DriftedRole, "drifted"}};
    return names;
}

void DeviceListModel::move(int from, int to, int n)
{
    if (from == to)
        return;
    const int count = devices.size();
    if (n < 1 || from < 0 || to < 0 || from > count - n || to > count - n) {
        qWarning().noquote() << "Refused to move" << n << "rows from" << from << "to" << to << "in a list of" << count;
        return;
    }
    // Views want the row before which the block lands, counted before the move.
    const int destination = to > from ? to + n : to;
    if (!beginMoveRows(QModelIndex(), from, from + n - 1, QModelIndex(), destination))
        return;
    const auto first = devices.begin();
    if (from < to)
        std::rotate(first + from, first + from + n, first + to + n);
    else
        std::rotate(first + to, first + from, first + from + n);
    endMoveRows();
}

int DeviceListModel::savedOrder(const DeviceBase &device) const
{
    return config->value(ORDER_KEY.arg(device.name()), -1);
}

int DeviceListModel::calcNewItemIndex(const DeviceBasePtr &device, int order) const
{
    if (order == -1)
        return devices.size();
    int result = firstRow([&](const DeviceBase &listed) { return savedOrder(listed) >= order; });
    if (result < 0)
        result = devices.size();
    qDebug().noquote() << "calc index for " << device->name() << "is" << result;
    return result;
}

DeviceBasePtr DeviceListModel::at(int row) const
{
    return devices.value(row);
}

int DeviceListModel::addDevice(const DeviceBasePtr &device, int order)
{
    const int row = calcNewItemIndex(device, order);
    beginInsertRows(QModelIndex(), row, row);
    devices.insert(row, device);
    endInsertRows();
    watch(device);
    return row;
}

void DeviceListModel::watch(const DeviceBasePtr &device)
{
    if (const auto *routed = qobject_cast<const RxDeviceBase *>(device.data()))
        connect(routed, &RxDeviceBase::routeStateChanged, this, &DeviceListModel::onRouteStateChanged);
}

void DeviceListModel::onRouteStateChanged()
{
    const int row = firstRow([this](const DeviceBase &device) { return &device == sender(); });
    if (row >= 0)
        emit dataChanged(index(row), index(row), {MixedRole, DriftedRole});
}

DeviceBasePtr DeviceListModel::removeDevice(const QString &name)
{
    const int row = firstRow([&](const DeviceBase &device) { return sameText(device.name(), name); });
    if (row < 0)
        return nullptr;
    beginRemoveRows(QModelIndex(), row, row);
    const DeviceBasePtr removed = devices.takeAt(row);
    endRemoveRows();
    disconnect(removed.data(), nullptr, this, nullptr);
    return removed;
}

DeviceBasePtr DeviceListModel::findDevice(const QString &name, bool searchMembers) const
{
    for (const DeviceBasePtr &device : devices) {
        if (!device)
            continue;
        if (searchMembers) {
            if (const DeviceBasePtr member = device->findMember(name))
                return member;
        }
        if (sameText(device->name(), name))
            return device;
    }
    return nullptr;
}

DeviceBasePtr DeviceListModel::findDeviceByGuid(const QString &guid) const
{
    return firstDevice([&](const DeviceBase &device) { return sameText(device.guid(), guid); });
}

DeviceBasePtr DeviceListModel::findDeviceBySeq(int seq) const
{
    return firstDevice([&](const DeviceBase &device) { return device.seq() == seq; });
}

bool DeviceListModel::containsName(const QString &name) const
{
    return firstRow([&](const DeviceBase &device) {
        return sameText(device.name(), name) || device.containsName(name);
    }) >= 0;
}

bool DeviceListModel::containsAlias(const QString &alias) const
{
    return firstRow([&](const DeviceBase &device) {
        return sameText(device.nameAlias(), alias) || device.containsAlias(alias);
    }) >= 0;
}

int DeviceListModel::deviceCount() const
{
    // A saved wall whose decoders have not answered is no sign of a working network.
    int count = 0;
    for (const DeviceBasePtr &device : devices) {
        if (const auto *wall = qobject_cast<const VWDevice *>(device.data()))
            count += wall->boundCount();
        else if (device)
            ++count;
    }
    return count;
}

void DeviceListModel::increaseOfflineCounters()
{
    for (const DeviceBasePtr &device : qAsConst(devices)) {
        if (device)
            device->offlineCounterIncrease();
    }
    if (!devices.isEmpty())
        emit dataChanged(index(0), index(devices.size() - 1), {OnlineRole, WallOnlineRole});
}

void DeviceListModel::clear()
{
    beginResetModel();
    for (const DeviceBasePtr &device : qAsConst(devices))
        disconnect(device.data(), nullptr, this, nullptr);
    devices.clear();
    endResetModel();
}

int DeviceListModel::firstRow(const std::function<bool(const DeviceBase &)> &matches) const
{
    for (int row = 0; row < devices.size(); ++row) {
        if (devices.at(row) && matches(*devices.at(row)))
            return row;
    }
    return -1;
}

DeviceBasePtr DeviceListModel::firstDevice(const std::function<bool(const DeviceBase &)> &matches) const
{
    const int row = firstRow(matches);
    return row < 0 ? nullptr : devices.at(row);
}
