#include "manager/display_control.h"

#include "models/network_commands.h"
#include "models/rx_device.h"

const QString DisplayControl::DEFAULT_POWER_ON = QStringLiteral("40 04");
const QString DisplayControl::DEFAULT_POWER_OFF = QStringLiteral("FF 36");

DisplayControl::DisplayControl(DeviceListModel *rxlist, QObject *parent)
    : QObject(parent)
    , rxlist(rxlist)
{
}

bool DisplayControl::acceptable(const QString &command)
{
    if (command.isEmpty() || TelnetCecCustomCommand(command).isValid())
        return true;
    qWarning().noquote() << "Refused the display command" << command;
    emit errorOccured(tr("The display command \"%1\" cannot be sent to the decoders: it holds control characters.")
                          .arg(command.simplified()));
    return false;
}

void DisplayControl::setPowerOnCommand(const QString &command)
{
    if (command == powerOn || !acceptable(command))
        return;
    powerOn = command;
    emit powerOnCommandChanged(command);
}

void DisplayControl::setPowerOffCommand(const QString &command)
{
    if (command == powerOff || !acceptable(command))
        return;
    powerOff = command;
    emit powerOffCommandChanged(command);
}

bool DisplayControl::changePowerCommand(const QString &onCmd, const QString &offCmd)
{
    if (!acceptable(onCmd) || !acceptable(offCmd))
        return false;
    setPowerOnCommand(onCmd);
    setPowerOffCommand(offCmd);
    return true;
}

void DisplayControl::switchMonitor(bool turnOn)
{
    const QString command = turnOn ? powerOn : powerOff;
    forEachListed<RxDeviceBase>([&](RxDeviceBase &entry) { entry.setDisplayPower(turnOn, command); });
    emit powerSwitched(turnOn, {});
}

void DisplayControl::switchMonitors(bool turnOn, const QList<QSharedPointer<RxDeviceBase>> &targets)
{
    const QString command = turnOn ? powerOn : powerOff;
    QStringList names;
    for (const QSharedPointer<RxDeviceBase> &entry : targets) {
        entry->setDisplayPower(turnOn, command);
        names << entry->name();
    }
    emit powerSwitched(turnOn, names);
}

void DisplayControl::osdShowSeq()
{
    // Wall members are left out: their numbers only matter while placing plain decoders.
    forEachListed<RxDevice>([](RxDevice &decoder) { decoder.showOsdSeq(); });
    emit numbersShown(true);
}

void DisplayControl::osdHideSeq()
{
    forEachListed<RxDeviceBase>([](RxDeviceBase &entry) { entry.hideOsd(); });
    emit numbersShown(false);
}
