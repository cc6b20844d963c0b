#include "manager/configuration_file.h"

#include "base/json_config.h"
#include "manager/access_lock.h"
#include "manager/config_keys.h"
#include "manager/display_control.h"
#include "manager/video_walls.h"
#include "models/device_list_model.h"
#include "models/vw_device.h"

#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>
#include <algorithm>

namespace {

int highestIn(const QJsonValue &value)
{
    if (value.isDouble())
        return value.toInt(-1);
    int highest = -1;
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it)
        highest = qMax(highest, highestIn(it.value()));
    return highest;
}

} // namespace

ConfigurationFile::ConfigurationFile(
    JsonConfig *store, const DeviceLists &lists, AccessLock *lock, DisplayControl *display, QObject *parent)
    : QObject(parent)
    , store(store)
    , lists(lists)
    , lock(lock)
    , display(display)
    , timer(new QTimer(this))
    , retry(new QTimer(this))
{
    timer->setObjectName(QStringLiteral("saveTimer"));
    timer->setSingleShot(true);
    timer->setInterval(SAVE_DELAY_MS);
    connect(timer, &QTimer::timeout, this, &ConfigurationFile::onSaveTimer);
    retry->setObjectName(QStringLiteral("retryTimer"));
    retry->setInterval(RETRY_MS);
    connect(retry, &QTimer::timeout, this, [this] { this->store->retrySave(); });
    // Every part that keeps keys in the store saves through it; whichever write fails, the
    // user hears of it here. Queued: the store is locked while it reports.
    QPointer<ConfigurationFile> self(this);
    store->setSaveObserver([self](bool saved, const QString &reason) {
        if (self)
            QMetaObject::invokeMethod(
                self.data(),
                [self, saved, reason] {
                    if (self)
                        self->onSaveStateChanged(saved, reason);
                },
                Qt::QueuedConnection);
    });
}

ConfigurationFile::~ConfigurationFile()
{
    store->setSaveObserver(nullptr);
    if (pending)
        saveNow();
    else if (store->saveFailing())
        store->retrySave();
}

void ConfigurationFile::load()
{
    if (!store->loadNotice().isEmpty()) {
        const QString notice = tr("The settings file %1 was empty or unreadable. The settings saved before it, "
                                  "in %2, are used instead.")
                                   .arg(store->path(), JsonConfig::backupPath(store->path()));
        QMetaObject::invokeMethod(
            this, [this, notice] { emit errorOccured(notice); }, Qt::QueuedConnection);
    }
    loadWalls();
    lock->load(store->value(configkeys::PASSWORD, QString()), store->value(configkeys::SALT, QString()));
    display->setPowerOnCommand(store->value(configkeys::POWER_ON, QString()));
    display->setPowerOffCommand(store->value(configkeys::POWER_OFF, QString()));
    watch(lists.rx);
    watch(lists.tx);
}

void ConfigurationFile::loadWalls()
{
    const QJsonValue walls = store->jsonValue(configkeys::WALLS);
    if (!walls.isArray())
        return;
    const QJsonObject aliasMap = store->jsonValue(configkeys::ALIAS_MAP).toObject();
    const QJsonArray records = walls.toArray();
    for (const QJsonValue &record : records) {
        if (const VWDevicePtr wall = VideoWalls::wallFromRecord(record.toObject(), aliasMap))
            lists.rx->addDevice(wall, store->value(configkeys::ORDER.arg(wall->name()), -1));
    }
}

// Every change a user makes to a list is saved; the online state that every discovery
// pass refreshes, and what the decoders report they show, are not part of the file.
void ConfigurationFile::watch(DeviceListModel *list)
{
    connect(list, &QAbstractItemModel::rowsMoved, this, &ConfigurationFile::requestSave);
    connect(list, &QAbstractItemModel::rowsInserted, this, &ConfigurationFile::requestSave);
    connect(list, &QAbstractItemModel::rowsRemoved, this, &ConfigurationFile::requestSave);
    connect(list, &QAbstractItemModel::dataChanged, this, &ConfigurationFile::onDataChanged);
}

void ConfigurationFile::onDataChanged(const QModelIndex &, const QModelIndex &, const QVector<int> &roles)
{
    const bool onlineOnly = !roles.isEmpty() && std::all_of(roles.begin(), roles.end(), [](int role) {
        return role == DeviceListModel::OnlineRole || role == DeviceListModel::WallOnlineRole
            || role == DeviceListModel::MixedRole || role == DeviceListModel::DriftedRole;
    });
    if (!onlineOnly)
        requestSave();
}

// Counted from the first change, not the last: a steady stream of changes (renames through
// the API, a long drag) is still written every moment, not only once it stops.
void ConfigurationFile::requestSave()
{
    pending = true;
    if (!held && !timer->isActive())
        timer->start();
}

void ConfigurationFile::setHeld(bool hold)
{
    held = hold;
    if (held)
        timer->stop();
    else if (pending)
        timer->start();
}

void ConfigurationFile::onSaveTimer()
{
    writeAll();
}

bool ConfigurationFile::saveNow()
{
    if (writeAll())
        return true;
    failureTold = true;
    emit errorOccured(failureText());
    return false;
}

QString ConfigurationFile::failureText() const
{
    return tr("The settings could not be saved to %1. The changes are kept while the program runs and saved as "
              "soon as the file can be written again (is the disk full?).")
        .arg(store->path());
}

void ConfigurationFile::onSaveStateChanged(bool saved, const QString &reason)
{
    if (saved) {
        retry->stop();
        failureTold = false;
    } else {
        retry->start();
        if (!failureTold) {
            failureTold = true;
            emit errorOccured(failureText());
        }
    }
    emit saveStateChanged(saved, reason);
}

bool ConfigurationFile::writeAll()
{
    timer->stop();
    pending = false;
    store->beginBatch();
    QJsonArray walls;
    for (int row = 0; row < lists.rx->rowCount(); ++row) {
        if (const VWDevicePtr wall = lists.rx->at(row).objectCast<VWDevice>())
            walls.append(wall->toJson());
    }
    store->setValue(configkeys::WALLS, walls);
    qDebug() << "save order";
    int highestOrder = highestIn(store->jsonValue(configkeys::ORDERS));
    writeEntries(*lists.tx, highestOrder);
    writeEntries(*lists.rx, highestOrder);
    store->setValue(configkeys::PASSWORD, lock->hashBase64());
    store->setValue(configkeys::SALT, lock->saltBase64());
    store->setValue(configkeys::POWER_ON, display->powerOnCommand());
    store->setValue(configkeys::POWER_OFF, display->powerOffCommand());
    if (store->endBatch())
        return true;
    return false;
}

// Devices keep the order numbers they hold, handed out again in their new list order,
// and new devices are numbered above every number in the file: devices that have not
// answered yet keep their places between them.
void ConfigurationFile::writeEntries(const DeviceListModel &list, int &highestOrder)
{
    QVector<int> numbers;
    int fresh = 0;
    for (int row = 0; row < list.rowCount(); ++row) {
        const int held = store->value(configkeys::ORDER.arg(list.at(row)->name()), -1);
        if (held >= 0)
            numbers << held;
        else
            ++fresh;
    }
    while (fresh-- > 0)
        numbers << ++highestOrder;
    std::sort(numbers.begin(), numbers.end());
    for (int row = 0; row < list.rowCount(); ++row) {
        const DeviceBasePtr device = list.at(row);
        store->setValue(configkeys::ORDER.arg(device->name()), numbers.at(row));
        store->setValue(configkeys::ALIAS.arg(device->name()), device->nameAlias());
    }
}

bool ConfigurationFile::erase()
{
    timer->stop();
    pending = false;
    store->setReadOnly(true);
    const QString path = store->path();
    // The copy goes first: a start that finds no settings file would take the copy instead.
    const QString copy = JsonConfig::backupPath(path);
    const bool copyGone = QFile::remove(copy) || !QFile::exists(copy);
    const bool removed = copyGone && (QFile::remove(path) || !QFile::exists(path));
    qInfo().noquote() << "Remove" << path << "result is:" << removed;
    if (removed)
        return true;
    // An empty settings object starts the next copy with every default just as well, and
    // unlike a missing file it is not replaced by the copy.
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write("{}") == 2 && file.flush()) {
        qInfo().noquote() << "Emptied" << path << "instead";
        return true;
    }
    qWarning().noquote() << "Could neither delete nor empty" << path << ":" << file.errorString();
    store->setReadOnly(false);
    return false;
}
