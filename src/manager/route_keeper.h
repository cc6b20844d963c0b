#pragma once

#include <QHash>
#include <QObject>
#include <QSharedPointer>
#include <QString>

class DeviceListModel;
class JsonConfig;
class RxDevice;
class VWDevice;

// Keeps the decoders on the routes the controller sent them. A decoder that comes back
// (after a power cut, or replaced) showing another source, or standing at another place in
// its wall, is routed again once per connection; one that still disagrees afterwards is
// marked as drifted. On its first connection a decoder's own report is taken as it is.
class RouteKeeper : public QObject
{
    Q_OBJECT

public:
    // Both must outlive this object.
    RouteKeeper(DeviceListModel *rxlist, JsonConfig *config, QObject *parent = nullptr);

    bool rerouteOnReconnect() const { return reroute; }
    // Kept in the settings file at once.
    void setRerouteOnReconnect(bool on);

public slots:
    // The decoder has just answered what it shows and where it stands.
    void onDecoderStateRead(RxDevice *decoder);

signals:
    void rerouteOnReconnectChanged(bool on);

private:
    QSharedPointer<VWDevice> wallOf(const RxDevice &decoder) const;

    DeviceListModel *rxlist;
    JsonConfig *config;
    bool reroute;
    // The connection on which each decoder was last routed again, by name.
    QHash<QString, int> reroutedOn;
};
