#include "scenes/active_scene.h"

#include "models/device_list_model.h"
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
    // Every change of what a listed decoder or wall shows, a wall turning mixed included, reaches
    // its row's roles: a wall member's change reaches them through its wall.
    connect(rxlist, &QAbstractItemModel::dataChanged, this, &ActiveScene::onSomethingChanged);
    connect(txlist, &QAbstractItemModel::rowsInserted, this, &ActiveScene::onSomethingChanged);
    connect(txlist, &QAbstractItemModel::rowsRemoved, this, &ActiveScene::onSomethingChanged);
    connect(txlist, &QAbstractItemModel::modelReset, this, &ActiveScene::onSomethingChanged);
    update();
}

void ActiveScene::onSomethingChanged()
{
    delay->start();
}

void ActiveScene::update()
{
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
