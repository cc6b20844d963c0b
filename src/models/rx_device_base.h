#pragma once

#include "models/device_base.h"

// What routing, walls and display power ask of a decoder, whether it is one decoder
// or a wall that passes each request on to its members.
class RxDeviceBase : public DeviceBase
{
    Q_OBJECT

public:
    using DeviceBase::DeviceBase;

    // The encoder the decoder shows; empty for none.
    QString currentSource() const { return source; }
    // Decoders report "no source" as "NULL".
    void setCurrentSource(const QString &sourceName);
    // The encoder the controller last routed here; null while it has routed nothing.
    QString intendedSource() const { return intended; }
    void setIntendedSource(const QString &sourceName);
    // The decoder kept showing another source than routed to it, even after being told again.
    bool drifted() const { return isDrifted; }
    void setDrifted(bool drifted);

    // Source names come from encoders' discovery replies and end up on decoder shell
    // command lines; a name that cannot be put there safely is refused.
    bool acceptsSource(const QString &sourceName) const;

    virtual void setSource(const QString &sourceName) = 0;
    virtual void setDisplayPower(bool on, const QString &customCommand) = 0;
    virtual void showOsdSeq() = 0;
    virtual void hideOsd() = 0;

signals:
    // The stored source changed, whether routed here or read back from the device.
    void currentSourceChanged(const QString &sourceName);
    // What the screens show, or whether the controller can vouch for it, changed.
    void routeStateChanged();

private:
    QString source;
    QString intended;
    bool isDrifted = false;
};
