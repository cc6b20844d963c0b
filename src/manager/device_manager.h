#pragma once

#include "manager/routing.h"

#include <QList>
#include <QObject>
#include <QSharedPointer>
#include <QSize>
#include <QString>
#include <QStringList>
#include <memory>

class AccessLock;
class ConfigurationFile;
class DemoInstallation;
class DeviceListModel;
class DeviceRegistry;
class DisplayControl;
class JsonConfig;
class MiniVideoSource;
class OemSetting;
class QSortFilterProxyModel;
class QUdpSocket;
class RouteKeeper;
class RxDeviceBase;
class VideoWalls;

// What the interface reaches as `manager`: the device lists and every operation on them.
// The work is done by the parts behind it; this class only joins them up.
class DeviceManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(DeviceListModel *rxlist READ rxlist CONSTANT)
    Q_PROPERTY(DeviceListModel *txlist READ txlist CONSTANT)
    Q_PROPERTY(MiniVideoSource *rxsource READ rxsource CONSTANT)
    Q_PROPERTY(QSortFilterProxyModel *vwlist READ vwlist CONSTANT)
    Q_PROPERTY(QSortFilterProxyModel *purerxlist READ purerxlist CONSTANT)
    Q_PROPERTY(bool locked READ locked WRITE setLocked NOTIFY lockStateChanged)
    Q_PROPERTY(bool inOptions READ inOptions WRITE setInOptions NOTIFY inOptionsChanged)
    Q_PROPERTY(QSize currentVwSize READ currentVwSize WRITE setCurrentVwSize NOTIFY currentVwSizeChanged)
    Q_PROPERTY(QString defaultPowerOnCommand READ defaultPowerOnCommand CONSTANT)
    Q_PROPERTY(QString defaultPowerOffCommand READ defaultPowerOffCommand CONSTANT)
    Q_PROPERTY(
        QString savedPowerOnCommand READ savedPowerOnCommand WRITE setSavedPowerOnCommand NOTIFY powerOnCommandChanged)
    Q_PROPERTY(QString savedPowerOffCommand READ savedPowerOffCommand WRITE setSavedPowerOffCommand NOTIFY
            powerOffCommandChanged)
    Q_PROPERTY(bool demoMode READ demoMode NOTIFY demoModeChanged)
    Q_PROPERTY(bool isTabletMode READ isTabletMode CONSTANT)
    Q_PROPERTY(int vwMaxRows READ vwMaxRows CONSTANT)
    Q_PROPERTY(int vwMaxColumns READ vwMaxColumns CONSTANT)
    Q_PROPERTY(QList<bool> vwOnlineStatus READ vwOnlineStatus WRITE setVwOnlineStatus NOTIFY vwOnlineStatusChanged)
    // The selected wall's members show different sources.
    Q_PROPERTY(bool currentMixed READ currentMixed NOTIFY currentMixedChanged)
    // The encoder whose picture the video area shows, by the name people know it by.
    Q_PROPERTY(QString currentSourceAlias READ currentSourceAlias NOTIFY currentSourceChanged)
    // Decoders that come back showing another source than routed to them are routed again.
    Q_PROPERTY(
        bool rerouteOnReconnect READ rerouteOnReconnect WRITE setRerouteOnReconnect NOTIFY rerouteOnReconnectChanged)
    // At the next start, every screen is sent its saved route again.
    Q_PROPERTY(bool restoreRoutesAtStart READ restoreRoutesAtStart WRITE setRestoreRoutesAtStart NOTIFY
            restoreRoutesAtStartChanged)

public:
    static const char *const CONFIG_PATH;

    // The branding settings name the demo video; they must outlive the manager.
    explicit DeviceManager(OemSetting *oem, QObject *parent = nullptr);
    ~DeviceManager() override;

    DeviceListModel *rxlist() const { return rx; }
    DeviceListModel *txlist() const { return tx; }
    MiniVideoSource *rxsource() const;
    QSortFilterProxyModel *vwlist() const { return wallProxy; }
    QSortFilterProxyModel *purerxlist() const { return decoderProxy; }
    bool locked() const;
    void setLocked(bool locked);
    bool inOptions() const { return options; }
    void setInOptions(bool inOptions);
    QSize currentVwSize() const;
    void setCurrentVwSize(const QSize &size);
    QString defaultPowerOnCommand() const;
    QString defaultPowerOffCommand() const;
    QString savedPowerOnCommand() const;
    void setSavedPowerOnCommand(const QString &command);
    QString savedPowerOffCommand() const;
    void setSavedPowerOffCommand(const QString &command);
    bool demoMode() const { return demo; }
    bool isTabletMode() const;
    int vwMaxRows() const;
    int vwMaxColumns() const;
    QList<bool> vwOnlineStatus() const;
    void setVwOnlineStatus(const QList<bool> &status);
    bool currentMixed() const;
    QString currentSourceAlias() const;
    bool rerouteOnReconnect() const;
    void setRerouteOnReconnect(bool on);
    bool restoreRoutesAtStart() const;
    void setRestoreRoutesAtStart(bool on);

    // Start-up calls this when the new copy after a factory default could not be started.
    void reportRestartFailure();

    // The parts behind the facade, for tests and tools.
    DeviceListModel *pendingRxList() const { return pending; }
    DeviceRegistry *deviceRegistry() const { return registry; }
    ConfigurationFile *configurationFile() const { return configFile; }
    AccessLock *accessLock() const { return lock; }
    DemoInstallation *demoInstallation() const { return demoParts; }
    RouteKeeper *routeKeeper() const { return keeper; }
    // The settings file, for the parts that keep their own keys in it (the control API).
    JsonConfig *settingsStore() const { return config.get(); }

    // The operations the control API shares with the window, naming what they act on.
    using RouteResult = Routing::Result;
    // `target` is the device name of a listed decoder or wall; an empty source clears it.
    RouteResult routeSource(const QString &sourceName, const QString &target);
    RouteResult routeSourceToAll(const QString &sourceName);
    void switchMonitors(bool turnOn, const QList<QSharedPointer<RxDeviceBase>> &targets);
    // The row of the new wall, or -1; unlike createVideoWall the window's selection stays.
    int addVideoWall(const QString &name, int rows, int columns, const QString &cells);

signals:
    void errorOccured(QString errorText);
    // Declared for the interface; the controller itself never emits it.
    void discoveryTimeout();
    void currentVwSizeChanged(QSize size);
    void lockStateChanged(bool locked);
    void inOptionsChanged(bool inOptions);
    void powerOnCommandChanged(QString command);
    void powerOffCommandChanged(QString command);
    void demoModeChanged(bool demoMode);
    void systemReset();
    void vwOnlineStatusChanged();
    void videoWallCreated(int row);
    // The set of walls or their members changed.
    void videoWallsChanged();
    // Device names of the entries told; empty for every listed one.
    void displayPowerSwitched(bool on, const QStringList &names);
    void osdNumbersShown(bool shown);
    void currentMixedChanged(bool mixed);
    void currentSourceChanged(const QString &alias);
    void rerouteOnReconnectChanged(bool on);
    void restoreRoutesAtStartChanged(bool on);

public slots:
    void startDiscovery(bool oneShot);
    void startDiscovery();
    void sendDiscoveryMessage();
    void receiveDiscoveryResponse(QUdpSocket *sock);
    int deviceFound();
    void enterDemoMode();
    void changeRxDeviceSource(QString tx, bool toAllDevice);
    // A drop of an encoder reference ("TX:" and its name) on the decoder or wall named rx.
    void dropSourceOn(QString tx, QString rx);
    void setCurrentRxDevice(QString rx);
    void dropCurrentRxSource();
    void switchMonitor(bool turnOn);
    // Each false when nothing was done or the settings could not be saved (errorOccured says why).
    bool createVideoWall(QString name, int rows, int columns, QString cells);
    void deleteVideoWall(QString guid);
    void osdShowSeq();
    void osdHideSeq();
    bool login(QString password);
    // False for a wrong old password (no errorOccured: the caller explains it) and when the
    // new one could not be saved (with errorOccured).
    bool changePassword(QString oldPassword, QString newPassword);
    bool changePowerCommand(QString onCmd, QString offCmd);
    void doFactoryDefault();
    bool wallExists(QString wallName);
    bool deviceAliasExists(QString alias);
    // The rule every way in applies to a display name, for the window to say so at once.
    bool validDisplayName(const QString &name) const;
    void sortRxBySeq();

private:
    void connectParts();
    void routeFromWindow(const QString &tx, const QString &target, bool toAll);
    // Thumbnails are drawn at the rate the configuration sets; the large view draws every frame.
    void applyThumbnailRate(const QModelIndex &parent, int first, int last);
    void loadConfiguration();

    std::unique_ptr<JsonConfig> config;
    DeviceListModel *rx;
    DeviceListModel *pending;
    DeviceListModel *tx;
    QSortFilterProxyModel *wallProxy;
    QSortFilterProxyModel *decoderProxy;
    AccessLock *lock;
    DisplayControl *display;
    VideoWalls *walls;
    DeviceRegistry *registry;
    Routing *routing;
    RouteKeeper *keeper;
    ConfigurationFile *configFile;
    int thumbnailInterval = 0;
    DemoInstallation *demoParts;
    OemSetting *oem;
    bool options = false;
    bool demo = false;
};
