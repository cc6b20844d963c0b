#pragma once

#include "models/device_list_model.h"

#include <QList>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

class RxDeviceBase;

// The displays behind the decoders: power on and off by HDMI-CEC, with the built-in
// commands or the user's own, and the sequence numbers shown on screen.
class DisplayControl : public QObject
{
    Q_OBJECT

public:
    static const QString DEFAULT_POWER_ON;
    static const QString DEFAULT_POWER_OFF;

    explicit DisplayControl(DeviceListModel *rxlist, QObject *parent = nullptr);

    QString powerOnCommand() const { return powerOn; }
    QString powerOffCommand() const { return powerOff; }
    // A command a decoder would refuse is not stored; errorOccured says so.
    void setPowerOnCommand(const QString &command);
    void setPowerOffCommand(const QString &command);
    // Both or neither: false, with errorOccured, when either would be refused.
    bool changePowerCommand(const QString &onCmd, const QString &offCmd);

    void switchMonitor(bool turnOn);
    // Only these decoders and walls, which need not be listed themselves (wall members).
    void switchMonitors(bool turnOn, const QList<QSharedPointer<RxDeviceBase>> &targets);
    void osdShowSeq();
    void osdHideSeq();

signals:
    void powerOnCommandChanged(const QString &command);
    void powerOffCommandChanged(const QString &command);
    void errorOccured(const QString &errorText);
    // Device names of the entries told; empty for every listed one.
    void powerSwitched(bool on, const QStringList &names);
    void numbersShown(bool shown);

private:
    bool acceptable(const QString &command);
    // Decoders still waiting for their information are not listed and take no part.
    template <typename Device, typename Action> void forEachListed(Action action) const
    {
        for (int row = 0; row < rxlist->rowCount(); ++row) {
            if (const auto device = rxlist->at(row).template objectCast<Device>())
                action(*device);
        }
    }

    DeviceListModel *rxlist;
    QString powerOn;
    QString powerOff;
};
