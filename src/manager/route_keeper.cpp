#include "manager/route_keeper.h"

#include "base/json_config.h"
#include "manager/config_keys.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/vw_device.h"

#include <QDebug>

RouteKeeper::RouteKeeper(DeviceListModel *rxlist, JsonConfig *config, QObject *parent)
    : QObject(parent)
    , rxlist(rxlist)
    , config(config)
    , reroute(config->value(configkeys::REROUTE_ON_RECONNECT, true))
{
}

void RouteKeeper::setRerouteOnReconnect(bool on)
{
    if (on == reroute)
        return;
    reroute = on;
    config->setValue(configkeys::REROUTE_ON_RECONNECT, on);
    emit rerouteOnReconnectChanged(on);
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

void RouteKeeper::onDecoderStateRead(RxDevice *decoder)
{
    const QSharedPointer<VWDevice> wall = wallOf(*decoder);
    if (!wall && rxlist->findDevice(decoder->name(), false).data() != decoder)
        return;
    const QString intended = wall ? wall->intendedSource() : decoder->intendedSource();
    if (intended.isNull()) {
        // Nothing routed here yet: what the decoder shows is its route.
        decoder->setIntendedSource(decoder->currentSource());
        return;
    }
    const VwInfo place = wall ? wall->placeOf(*decoder) : decoder->vwInfo();
    if (decoder->currentSource() == intended && decoder->vwInfo() == place) {
        decoder->setDrifted(false);
        return;
    }
    const int connection = decoder->connectionNumber();
    if (!reroute || connection <= 1)
        return;
    if (reroutedOn.value(decoder->name()) == connection) {
        qWarning().noquote() << "Decoder" << decoder->name() << "still shows" << decoder->currentSource()
                             << "instead of" << intended << "after being routed again";
        decoder->setDrifted(true);
        return;
    }
    reroutedOn.insert(decoder->name(), connection);
    qInfo().noquote() << "Decoder" << decoder->name() << "came back showing" << decoder->currentSource() << "instead of"
                      << intended << ", routing it again";
    if (!(decoder->vwInfo() == place))
        decoder->configVw(place.rows, place.columns, place.row, place.column);
    decoder->setSource(intended);
    decoder->readState();
}
