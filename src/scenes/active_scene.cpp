#include "scenes/active_scene.h"

#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/rx_device_base.h"
#include "models/vw_device.h"
#include "scenes/live_routing.h"
#include "scenes/scene_store.h"

#include <QTimer>

ActiveScene::ActiveScene(DeviceListModel *rxlist, DeviceListModel *txlist, SceneStore *store, QObject *parent)
    : QObject(parent)
    , rxlist(rxlist)
    , txlist(txlist)
    , store(store)
    , delay(new QTimer(this))
{
    delay->setSingleShot(true);
    delay->setInterval(0);
    connect(delay, &QTimer::timeout, this, &ActiveScene::update);
    connect(store, &SceneStore::changed, this, &ActiveScene::onSomethingChanged);
    connect(rxlist, &QAbstractItemModel::rowsInserted, this, &ActiveScene::onSomethingChanged);
    connect(rxlist, &QAbstractItemModel::rowsRemoved, this, &ActiveScene::onSomethingChanged);
    connect(rxlist, &QAbstractItemModel::modelReset, this, &ActiveScene::onSomethingChanged);
    // A wall turning mixed keeps its (empty) source; only the row's roles tell.
    connect(rxlist, &QAbstractItemModel::dataChanged, this, &ActiveScene::onSomethingChanged);
    connect(txlist, &QAbstractItemModel::rowsInserted, this, &ActiveScene::onSomethingChanged);
    connect(txlist, &QAbstractItemModel::rowsRemoved, this, &ActiveScene::onSomethingChanged);
    connect(txlist, &QAbstractItemModel::modelReset, this, &ActiveScene::onSomethingChanged);
    watchEntries();
    update();
}

// New rows, and walls that gained members, bring devices not yet watched.
void ActiveScene::watchEntries()
{
    const auto watch = [this](RxDeviceBase *entry) {
        connect(
            entry, &RxDeviceBase::currentSourceChanged, this, &ActiveScene::onSomethingChanged, Qt::UniqueConnection);
    };
    for (int row = 0; row < rxlist->rowCount(); ++row) {
        const QSharedPointer<RxDeviceBase> entry = rxlist->at(row).objectCast<RxDeviceBase>();
        if (!entry)
            continue;
        watch(entry.data());
        if (const auto *wall = qobject_cast<const VWDevice *>(entry.data())) {
            for (const RxDevicePtr &member : wall->members()) {
                if (member)
                    watch(member.data());
            }
        }
    }
}

void ActiveScene::onSomethingChanged()
{
    delay->start();
}

void ActiveScene::update()
{
    watchEntries();
    QString found;
    for (const Scene &scene : store->records()) {
        if (liverouting::matches(scene, *rxlist, *txlist)) {
            found = scene.name;
            break;
        }
    }
    if (found == active)
        return;
    active = found;
    emit changed(active);
}
