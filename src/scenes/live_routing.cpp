#include "scenes/live_routing.h"

#include "models/device_list_model.h"
#include "models/rx_device_base.h"

namespace liverouting {

Scene capture(const DeviceListModel &rxlist, const QString &name, const QStringList &targets)
{
    Scene scene;
    scene.name = name;
    for (int row = 0; row < rxlist.rowCount(); ++row) {
        const QSharedPointer<RxDeviceBase> entry = rxlist.at(row).objectCast<RxDeviceBase>();
        if (entry && (targets.isEmpty() || targets.contains(entry->name())))
            scene.sources.insert(entry->name(), entry->currentSource());
    }
    return scene;
}

bool matches(const Scene &scene, const DeviceListModel &rxlist)
{
    if (scene.sources.isEmpty())
        return false;
    for (auto it = scene.sources.cbegin(); it != scene.sources.cend(); ++it) {
        const QSharedPointer<RxDeviceBase> entry = rxlist.findDevice(it.key(), false).objectCast<RxDeviceBase>();
        if (!entry || entry->currentSource() != it.value())
            return false;
    }
    return true;
}

} // namespace liverouting
