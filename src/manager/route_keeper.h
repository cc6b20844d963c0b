#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QSharedPointer>
#include <QString>
#include <QVector>
#include <functional>

class DeviceListModel;
class JsonConfig;
class QTimer;
class RxDevice;
class VWDevice;

// Keeps the decoders on the routes the controller sent them. A decoder that comes back
// (after a power cut, or replaced) showing another source, or standing at another place
// than its wall gives it (a stand-alone one: in no wall), is routed and placed again once
// per connection; one that still disagrees afterwards is marked as drifted. A decoder that
// keeps reverting is routed again at most REROUTE_LIMIT times within REROUTE_WINDOW_S, then
// marked as drifted with one warning, until it shows its route again.
// On its first connection a decoder's own report is taken as it is, unless the site asks
// for the saved routes to be put back at start (for sites where a power cut takes the
// controller down with the screens): then the routes the controller last sent, kept in
// the settings file, are sent again, and each wall's encoders are told about the wall.
// A screen saved without a source is left as found then.
class RouteKeeper : public QObject
{
    Q_OBJECT

public:
    static constexpr int REROUTE_LIMIT = 3;
    static constexpr int REROUTE_WINDOW_S = 3600;
    // The stand-alone decoders' routes, by device name.
    static const QString SAVED_ROUTES_KEY;
    static const QString RESTORE_AT_START_KEY;

    // Both must outlive this object.
    RouteKeeper(DeviceListModel *rxlist, JsonConfig *config, QObject *parent = nullptr);

    bool rerouteOnReconnect() const { return reroute; }
    // Kept in the settings file at once.
    void setRerouteOnReconnect(bool on);
    bool restoreRoutesAtStart() const { return restoreAtStart; }
    // Kept in the settings file at once; takes effect at the next start.
    void setRestoreRoutesAtStart(bool on);
    // Tells a wall's encoders which decoders show the wall's route (device name of the wall).
    void setWallAnnouncer(std::function<void(const QString &)> announce) { announceWall = std::move(announce); }

public slots:
    // The decoder has just answered what it shows and where it stands.
    void onDecoderStateRead(RxDevice *decoder);
    // A route was sent: the stand-alone decoders' routes are kept for the next start.
    void onRouted();

signals:
    void rerouteOnReconnectChanged(bool on);
    void restoreRoutesAtStartChanged(bool on);

private:
    QSharedPointer<VWDevice> wallOf(const RxDevice &decoder) const;
    void storeRoutes();
    // False when the decoder has been routed again too often lately.
    bool mayRouteAgain(const QString &name);

    DeviceListModel *rxlist;
    JsonConfig *config;
    bool reroute;
    bool restoreAtStart;
    std::function<void(const QString &)> announceWall;
    QTimer *storeDelay;
    QElapsedTimer clock;
    // The connection on which each decoder was last routed again, by name.
    QHash<QString, int> reroutedOn;
    // When each decoder was routed again lately, in clock milliseconds.
    QHash<QString, QVector<qint64>> reroutedAt;
    // Decoders warned about as reverting, until they show their route again.
    QSet<QString> givenUp;
    // Routes read from the settings file at start, for the first connection of each decoder.
    QHash<QString, QString> savedRoutes;
};
