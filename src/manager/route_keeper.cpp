#include "manager/route_keeper.h"

#include "base/json_config.h"
#include "manager/config_keys.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/vw_device.h"

#include <QDebug>
#include <QJsonObject>
#include <QTimer>
#include <algorithm>

const QString RouteKeeper::SAVED_ROUTES_KEY = QStringLiteral("saved_routes");
const QString RouteKeeper::RESTORE_AT_START_KEY = QStringLiteral("restore_routes_at_start");

RouteKeeper::RouteKeeper(DeviceListModel *rxlist, JsonConfig *config, QObject *parent)
    : QObject(parent)
    , rxlist(rxlist)
    , config(config)
    , reroute(config->value(configkeys::REROUTE_ON_RECONNECT, true))
    , restoreAtStart(config->value(RESTORE_AT_START_KEY, false))
    , storeDelay(new QTimer(this))
{
    clock.start();
    // One recall routes hundreds of screens; the file is written once after them.
    storeDelay->setSingleShot(true);
    storeDelay->setInterval(0);
    connect(storeDelay, &QTimer::timeout, this, &RouteKeeper::storeRoutes);
    if (!restoreAtStart)
        return;
    const QJsonObject saved = config->jsonValue(SAVED_ROUTES_KEY).toObject();
    for (auto it = saved.constBegin(); it != saved.constEnd(); ++it) {
        if (it.value().isString())
            savedRoutes.insert(it.key(), it.value().toString());
    }
}

void RouteKeeper::setRerouteOnReconnect(bool on)
{
    if (on == reroute)
        return;
    reroute = on;
    config->setValue(configkeys::REROUTE_ON_RECONNECT, on);
    emit rerouteOnReconnectChanged(on);
}

void RouteKeeper::setRestoreRoutesAtStart(bool on)
{
    if (on == restoreAtStart)
        return;
    restoreAtStart = on;
    config->setValue(RESTORE_AT_START_KEY, on);
    emit restoreRoutesAtStartChanged(on);
}

QSharedPointer<VWDevice> RouteKeeper::wallOf(const RxDevice &decoder) const
{
    for (int row = 0; row < rxlist->rowCount(); ++row) {
        const QSharedPointer<VWDevice> wall = rxlist->at(row).objectCast<VWDevice>();
        if (wall && wall->findMember(decoder.name()).data() == &decoder)
            return wall;
    }
    return nullptr;
}

void RouteKeeper::onRouted()
{
    storeDelay->start();
}

// Decoders that are not listed now keep what was saved for them.
void RouteKeeper::storeRoutes()
{
    const QJsonObject stored = config->jsonValue(SAVED_ROUTES_KEY).toObject();
    QJsonObject routes = stored;
    for (int row = 0; row < rxlist->rowCount(); ++row) {
        const QSharedPointer<RxDevice> decoder = rxlist->at(row).objectCast<RxDevice>();
        if (decoder && !decoder->intendedSource().isNull())
            routes.insert(decoder->name(), decoder->intendedSource());
    }
    if (routes != stored)
        config->setValue(SAVED_ROUTES_KEY, routes);
}

bool RouteKeeper::mayRouteAgain(const QString &name)
{
    QVector<qint64> &times = reroutedAt[name];
    const qint64 now = clock.elapsed();
    times.erase(std::remove_if(times.begin(), times.end(),
                    [now](qint64 time) { return now - time >= qint64(REROUTE_WINDOW_S) * 1000; }),
        times.end());
    if (times.size() >= REROUTE_LIMIT)
        return false;
    times.append(now);
    return true;
}

void RouteKeeper::onDecoderStateRead(RxDevice *decoder)
{
    const QSharedPointer<VWDevice> wall = wallOf(*decoder);
    if (!wall && rxlist->findDevice(decoder->name(), false).data() != decoder)
        return;
    const QString name = decoder->name();
    const int connection = decoder->connectionNumber();
    bool restoring = restoreAtStart && connection <= 1;
    if (restoring && !wall && decoder->intendedSource().isNull() && !savedRoutes.value(name).isEmpty())
        decoder->setIntendedSource(savedRoutes.take(name));
    const QString intended = wall ? wall->intendedSource() : decoder->intendedSource();
    if (intended.isNull()) {
        // Nothing routed here yet: what the decoder shows is its route.
        decoder->setIntendedSource(decoder->currentSource());
        return;
    }
    // A screen saved without a source is left as found: clearing screens at start would
    // darken a room the power has just come back to.
    restoring = restoring && !intended.isEmpty();
    // The encoders lost the wall with the power too, whether or not the decoder kept it.
    if (restoring && wall && announceWall)
        announceWall(wall->name());
    // A decoder whose place could not be read is judged by its source alone.
    const VwInfo reported = decoder->vwInfo();
    const VwInfo place = wall ? wall->placeOf(*decoder) : VwInfo::standAlone();
    const bool placed = reported.columns == 0 || reported == place;
    if (decoder->currentSource() == intended && placed) {
        decoder->setDrifted(false);
        givenUp.remove(name);
        return;
    }
    if (!restoring && (!reroute || connection <= 1))
        return;
    if (reroutedOn.value(name) == connection) {
        qWarning().noquote() << "Decoder" << name << "still shows" << decoder->currentSource() << "instead of"
                             << intended << "after being routed again";
        decoder->setDrifted(true);
        return;
    }
    if (!mayRouteAgain(name)) {
        if (!givenUp.contains(name)) {
            givenUp.insert(name);
            qWarning().noquote() << "Decoder" << name << "keeps coming back showing" << decoder->currentSource()
                                 << "instead of" << intended << "; routed again" << REROUTE_LIMIT
                                 << "times within the hour, it is left as it is and marked as drifted";
        }
        decoder->setDrifted(true);
        return;
    }
    reroutedOn.insert(name, connection);
    qInfo().noquote() << "Decoder" << name << "came back showing" << decoder->currentSource() << "instead of"
                      << intended << ", routing it again";
    if (!placed) {
        if (wall)
            decoder->configVw(place.rows, place.columns, place.row, place.column);
        else
            decoder->resetVw();
    }
    decoder->setSource(intended);
    decoder->readState();
}
