#include "scenes/live_routing.h"

#include "models/device_list_model.h"
#include "models/rx_device_base.h"
#include "models/vw_device.h"

namespace liverouting {

namespace {

bool isMixedWall(const RxDeviceBase *entry)
{
    const auto *wall = qobject_cast<const VWDevice *>(entry);
    return wall && wall->mixed();
}

} // namespace

Scene capture(const DeviceListModel &rxlist, const QString &name, const QStringList &targets, QStringList *mixed)
{
    Scene scene;
    scene.name = name;
    for (int row = 0; row < rxlist.rowCount(); ++row) {
        const QSharedPointer<RxDeviceBase> entry = rxlist.at(row).objectCast<RxDeviceBase>();
        if (!entry || (!targets.isEmpty() && !targets.contains(entry->name())))
            continue;
        if (isMixedWall(entry.data()))
            mixed->append(entry->name());
        else
            scene.sources.insert(entry->name(), entry->currentSource());
    }
    return scene;
}

bool matches(const Scene &scene, const DeviceListModel &rxlist, const DeviceListModel &txlist)
{
    if (scene.sources.isEmpty())
        return false;
    for (auto it = scene.sources.cbegin(); it != scene.sources.cend(); ++it) {
        const QSharedPointer<RxDeviceBase> entry = rxlist.findDevice(it.key(), false).objectCast<RxDeviceBase>();
        if (!entry || isMixedWall(entry.data()) || entry->currentSource() != it.value())
            return false;
        if (!it.value().isEmpty() && !txlist.findDevice(it.value(), false))
            return false;
    }
    return true;
}

} // namespace liverouting
