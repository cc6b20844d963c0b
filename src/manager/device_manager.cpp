#include "manager/device_manager.h"

#include "base/audit_operation.h"
#include "base/json_config.h"
#include "base/name_rules.h"
#include "base/oem_setting.h"
#include "discovery/broadcast_socket.h"
#include "manager/access_lock.h"
#include "manager/config_keys.h"
#include "manager/configuration_file.h"
#include "manager/demo_installation.h"
#include "manager/device_registry.h"
#include "manager/display_control.h"
#include "manager/route_keeper.h"
#include "manager/routing.h"
#include "manager/video_walls.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/tx_device.h"
#include "platform/platform.h"
#include "video/mini_video_source.h"

#include <QCoreApplication>
#include <QDebug>
#include <QJsonObject>
#include <QSortFilterProxyModel>

const char *const DeviceManager::CONFIG_PATH = "~/.zentrova/config.json";

namespace {

QSortFilterProxyModel *categoryProxy(DeviceListModel *source, const QString &category, QObject *parent)
{
    auto *proxy = new QSortFilterProxyModel(parent);
    proxy->setSourceModel(source);
    proxy->setFilterRole(DeviceListModel::CategoryRole);
    proxy->setFilterWildcard(category);
    return proxy;
}

} // namespace

DeviceManager::DeviceManager(OemSetting *oem, QObject *parent)
    : QObject(parent)
    , config(std::make_unique<JsonConfig>(QString::fromLatin1(CONFIG_PATH), false))
    , rx(new DeviceListModel(config.get(), this))
    , pending(new DeviceListModel(config.get(), this))
    , tx(new DeviceListModel(config.get(), this))
    , wallProxy(categoryProxy(rx, QStringLiteral("vw"), this))
    , decoderProxy(categoryProxy(rx, QStringLiteral("rx"), this))
    , lock(new AccessLock(this))
    , display(new DisplayControl(rx, this))
    , walls(new VideoWalls(rx, config.get(), this))
    , registry(new DeviceRegistry({rx, pending, tx}, config.get(), walls, this))
    , routing(new Routing({rx, pending, tx}, registry->socket(), this))
    , keeper(new RouteKeeper(rx, config.get(), this))
    , configFile(new ConfigurationFile(config.get(), {rx, pending, tx}, lock, display, this))
    , demoParts(new DemoInstallation({rx, pending, tx}, walls, this))
    , oem(oem)
{
    decoderProxy->setSortRole(DeviceListModel::SeqRole);
    const int thumbnailFps = config->value(configkeys::THUMBNAIL_FPS, configkeys::DEFAULT_THUMBNAIL_FPS);
    thumbnailInterval = thumbnailFps > 0 ? 1000 / thumbnailFps : 0;
    loadConfiguration();
    connectParts();
}

// What the stored settings hold that cannot be used is told to the user, once the
// interface, made after the manager, listens.
void DeviceManager::loadConfiguration()
{
    QStringList problems;
    const QMetaObject::Connection collecting
        = connect(display, &DisplayControl::errorOccured, this, [&problems](const QString &text) { problems << text; });
    configFile->load();
    disconnect(collecting);
    for (const QString &text : qAsConst(problems))
        QMetaObject::invokeMethod(
            this, [this, text] { emit errorOccured(text); }, Qt::QueuedConnection);
}

DeviceManager::~DeviceManager()
{
    // A save still waiting needs the store, which goes before the child objects do.
    delete configFile;
}

void DeviceManager::connectParts()
{
    connect(tx, &QAbstractItemModel::rowsInserted, this, &DeviceManager::applyThumbnailRate);
    connect(registry, &DeviceRegistry::onlineStatesChanged, routing, &Routing::updateVwOnlineStatus);
    connect(walls, &VideoWalls::changed, configFile, &ConfigurationFile::requestSave);
    connect(routing, &Routing::routed, configFile, &ConfigurationFile::requestSave);
    connect(routing, &Routing::currentMixedChanged, this, &DeviceManager::currentMixedChanged);
    connect(routing, &Routing::currentSourceChanged, this, &DeviceManager::currentSourceChanged);
    connect(registry, &DeviceRegistry::decoderStateRead, keeper, &RouteKeeper::onDecoderStateRead);
    // The made-up installation's routes are not the site's.
    connect(routing, &Routing::routed, keeper, [this] {
        if (!demo)
            keeper->onRouted();
    });
    keeper->setWallAnnouncer([this](const QString &wall) { routing->reannounceWall(wall); });
    connect(keeper, &RouteKeeper::rerouteOnReconnectChanged, this, &DeviceManager::rerouteOnReconnectChanged);
    connect(keeper, &RouteKeeper::restoreRoutesAtStartChanged, this, &DeviceManager::restoreRoutesAtStartChanged);
    connect(registry, &DeviceRegistry::deviceLimitReached, this, [this](int limit) {
        emit errorOccured(tr("More than %1 devices of one kind answered. Only the first %1 are listed.").arg(limit));
    });
    connect(lock, &AccessLock::lockStateChanged, this, &DeviceManager::lockStateChanged);
    connect(display, &DisplayControl::powerOnCommandChanged, this, &DeviceManager::powerOnCommandChanged);
    connect(display, &DisplayControl::powerOffCommandChanged, this, &DeviceManager::powerOffCommandChanged);
    connect(routing, &Routing::currentVwSizeChanged, this, &DeviceManager::currentVwSizeChanged);
    connect(routing, &Routing::vwOnlineStatusChanged, this, &DeviceManager::vwOnlineStatusChanged);
    connect(routing, &Routing::errorOccured, this, &DeviceManager::errorOccured);
    connect(display, &DisplayControl::errorOccured, this, &DeviceManager::errorOccured);
    connect(configFile, &ConfigurationFile::errorOccured, this, &DeviceManager::errorOccured);
    connect(walls, &VideoWalls::changed, this, &DeviceManager::videoWallsChanged);
    connect(display, &DisplayControl::powerSwitched, this, &DeviceManager::displayPowerSwitched);
    connect(display, &DisplayControl::numbersShown, this, &DeviceManager::osdNumbersShown);
}

void DeviceManager::applyThumbnailRate(const QModelIndex &, int first, int last)
{
    for (int row = first; row <= last; ++row) {
        if (const QSharedPointer<TxDevice> encoder = tx->at(row).objectCast<TxDevice>())
            encoder->videoSource()->setFrameInterval(thumbnailInterval);
    }
}

MiniVideoSource *DeviceManager::rxsource() const
{
    return routing->videoSource();
}

bool DeviceManager::locked() const
{
    return lock->locked();
}

void DeviceManager::setLocked(bool locked)
{
    lock->setLocked(locked);
}

void DeviceManager::setInOptions(bool inOptions)
{
    configFile->setHeld(inOptions);
    if (inOptions == options)
        return;
    options = inOptions;
    emit inOptionsChanged(inOptions);
}

QSize DeviceManager::currentVwSize() const
{
    return routing->currentVwSize();
}

void DeviceManager::setCurrentVwSize(const QSize &size)
{
    routing->setCurrentVwSize(size);
}

QString DeviceManager::defaultPowerOnCommand() const
{
    return DisplayControl::DEFAULT_POWER_ON;
}

QString DeviceManager::defaultPowerOffCommand() const
{
    return DisplayControl::DEFAULT_POWER_OFF;
}

QString DeviceManager::savedPowerOnCommand() const
{
    return display->powerOnCommand();
}

void DeviceManager::setSavedPowerOnCommand(const QString &command)
{
    display->setPowerOnCommand(command);
}

QString DeviceManager::savedPowerOffCommand() const
{
    return display->powerOffCommand();
}

void DeviceManager::setSavedPowerOffCommand(const QString &command)
{
    display->setPowerOffCommand(command);
}

bool DeviceManager::isTabletMode() const
{
    return platform::isTabletMode();
}

int DeviceManager::vwMaxRows() const
{
    return VideoWalls::MAX_ROWS;
}

int DeviceManager::vwMaxColumns() const
{
    return VideoWalls::MAX_COLUMNS;
}

QList<bool> DeviceManager::vwOnlineStatus() const
{
    return routing->vwOnlineStatus();
}

void DeviceManager::setVwOnlineStatus(const QList<bool> &status)
{
    routing->setVwOnlineStatus(status);
}

bool DeviceManager::currentMixed() const
{
    return routing->currentMixed();
}

QString DeviceManager::currentSourceAlias() const
{
    return routing->currentSourceAlias();
}

bool DeviceManager::rerouteOnReconnect() const
{
    return keeper->rerouteOnReconnect();
}

void DeviceManager::setRerouteOnReconnect(bool on)
{
    keeper->setRerouteOnReconnect(on);
}

bool DeviceManager::restoreRoutesAtStart() const
{
    return keeper->restoreRoutesAtStart();
}

void DeviceManager::setRestoreRoutesAtStart(bool on)
{
    keeper->setRestoreRoutesAtStart(on);
}

void DeviceManager::reportRestartFailure()
{
    emit errorOccured(tr("The program could not be restarted. Please close it and start it again."));
}

void DeviceManager::startDiscovery(bool oneShot)
{
    if (registry->startDiscovery(oneShot))
        return;
    if (registry->socket()->interfaceSockets().isEmpty())
        emit errorOccured(tr("No network connection was found. Connect this computer to the network of the "
                             "devices and search again."));
    else
        emit errorOccured(tr("Socket error while search device: %1").arg(registry->errorString()));
}

void DeviceManager::startDiscovery()
{
    startDiscovery(false);
}

void DeviceManager::sendDiscoveryMessage()
{
    registry->sendDiscoveryMessage();
}

void DeviceManager::receiveDiscoveryResponse(QUdpSocket *sock)
{
    registry->receiveDiscoveryResponse(sock);
}

int DeviceManager::deviceFound()
{
    return registry->deviceFound();
}

void DeviceManager::enterDemoMode()
{
    qInfo() << "enter demo mode";
    demo = true;
    emit demoModeChanged(true);
    config->setReadOnly(true);
    registry->setDemoMode(true);
    routing->setDemoMode(true);
    demoParts->fill(QCoreApplication::applicationDirPath() + QLatin1Char('/') + oem->demoVideo());
}

void DeviceManager::changeRxDeviceSource(QString tx, bool toAllDevice)
{
    routeFromWindow(tx, routing->currentRx(), toAllDevice);
}

void DeviceManager::dropSourceOn(QString tx, QString rx)
{
    routeFromWindow(tx, rx, false);
}

// `tx` is "TX:" and the encoder's name; anything else is ignored.
void DeviceManager::routeFromWindow(const QString &tx, const QString &target, bool toAll)
{
    QString sourceName;
    if (!Routing::sourceFromReference(tx, &sourceName))
        return;
    qDebug().noquote() << "current tx: " << (sourceName.isEmpty() ? QStringLiteral("N/A") : sourceName) << ", to all is"
                       << toAll;
    const auto screen = toAll ? nullptr : rx->findDevice(target, false).objectCast<RxDeviceBase>();
    AuditOperation record(sourceName.isEmpty() ? QStringLiteral("clear") : QStringLiteral("route"),
        toAll ? QStringLiteral("all") : target,
        screen && !screen->currentSource().isEmpty() ? QJsonValue(screen->currentSource()) : QJsonValue());
    const RouteResult result = toAll ? routing->routeToAll(sourceName) : routing->route(sourceName, target);
    if (result == RouteResult::RefusedSource)
        record.fail(QStringLiteral("refused"), QStringLiteral("the encoder's name cannot be sent to a decoder"));
    else if (result == RouteResult::UnknownTarget)
        record.fail(QStringLiteral("not_found"), QStringLiteral("no decoder or wall is selected"));
    else
        record.setAfter(sourceName.isEmpty() ? QJsonValue() : QJsonValue(sourceName));
}

DeviceManager::RouteResult DeviceManager::routeSource(const QString &sourceName, const QString &target)
{
    return routing->route(sourceName, target);
}

DeviceManager::RouteResult DeviceManager::routeSourceToAll(const QString &sourceName)
{
    return routing->routeToAll(sourceName);
}

void DeviceManager::switchMonitors(bool turnOn, const QList<QSharedPointer<RxDeviceBase>> &targets)
{
    display->switchMonitors(turnOn, targets);
}

void DeviceManager::setCurrentRxDevice(QString rx)
{
    routing->setCurrentRxDevice(rx);
}

void DeviceManager::dropCurrentRxSource()
{
    routeFromWindow(QStringLiteral("TX:"), routing->currentRx(), false);
}

void DeviceManager::switchMonitor(bool turnOn)
{
    AuditOperation record(QStringLiteral("power"), QStringLiteral("all"));
    record.setAfter(turnOn);
    display->switchMonitor(turnOn);
}

bool DeviceManager::createVideoWall(QString name, int rows, int columns, QString cells)
{
    AuditOperation record(QStringLiteral("wall.create"), name);
    const int row = addVideoWall(name, rows, columns, cells);
    if (row < 0) {
        record.fail(QStringLiteral("refused"));
        return false;
    }
    record.setAfter(QJsonObject {{QStringLiteral("name"), rx->at(row)->name()}, {QStringLiteral("columns"), columns},
        {QStringLiteral("rows"), rows}, {QStringLiteral("cells"), cells}});
    emit videoWallCreated(row);
    return true;
}

int DeviceManager::addVideoWall(const QString &name, int rows, int columns, const QString &cells)
{
    return walls->createVideoWall(name, rows, columns, cells);
}

void DeviceManager::deleteVideoWall(QString guid)
{
    const DeviceBasePtr wall = rx->findDeviceByGuid(guid);
    AuditOperation record(QStringLiteral("wall.delete"), wall ? wall->nameAlias() : guid);
    if (!wall)
        record.fail(QStringLiteral("not_found"));
    walls->deleteVideoWall(guid);
}

void DeviceManager::osdShowSeq()
{
    AuditOperation record(QStringLiteral("numbers"), QStringLiteral("all"));
    record.setAfter(true);
    display->osdShowSeq();
}

void DeviceManager::osdHideSeq()
{
    AuditOperation record(QStringLiteral("numbers"), QStringLiteral("all"));
    record.setAfter(false);
    display->osdHideSeq();
}

bool DeviceManager::login(QString password)
{
    AuditOperation record(QStringLiteral("sign-in"), QStringLiteral("settings"));
    if (!lock->login(password)) {
        record.fail(QStringLiteral("not_authenticated"), QStringLiteral("wrong settings password"));
        return false;
    }
    return true;
}

bool DeviceManager::changePassword(QString oldPassword, QString newPassword)
{
    AuditOperation record(QStringLiteral("settings.password"), QStringLiteral("settings"));
    if (!lock->changePassword(oldPassword, newPassword)) {
        record.fail(QStringLiteral("refused"));
        return false;
    }
    if (!configFile->saveNow()) {
        record.fail(QStringLiteral("internal"), QStringLiteral("the settings could not be saved"));
        return false;
    }
    return true;
}

bool DeviceManager::changePowerCommand(QString onCmd, QString offCmd)
{
    const auto commands = [this] {
        return QJsonObject {
            {QStringLiteral("on"), display->powerOnCommand()}, {QStringLiteral("off"), display->powerOffCommand()}};
    };
    AuditOperation record(QStringLiteral("settings.power_commands"), QStringLiteral("settings"), commands());
    const bool done = display->changePowerCommand(onCmd, offCmd) && configFile->saveNow();
    record.setAfter(commands());
    if (!done)
        record.fail(QStringLiteral("refused"));
    return done;
}

void DeviceManager::doFactoryDefault()
{
    AuditOperation record(QStringLiteral("factory_default"), QStringLiteral("settings"));
    // The made-up installation never touched the file; the real settings stay.
    if (demo) {
        qInfo() << "Factory default in demo mode restarts without touching" << config->path();
        emit systemReset();
        return;
    }
    if (!configFile->erase()) {
        record.fail(QStringLiteral("internal"), QStringLiteral("the settings file can be neither deleted nor emptied"));
        emit errorOccured(
            tr("The settings could not be reset: %1 can be neither deleted nor emptied.").arg(config->path()));
        return;
    }
    emit systemReset();
}

bool DeviceManager::wallExists(QString wallName)
{
    return rx->containsName(wallName.trimmed());
}

bool DeviceManager::deviceAliasExists(QString alias)
{
    return registry->deviceAliasExists(alias);
}

bool DeviceManager::validDisplayName(const QString &name) const
{
    return NameRules::displayName(name);
}

void DeviceManager::sortRxBySeq()
{
    decoderProxy->sort(0, Qt::AscendingOrder);
}
