#include "models/rx_device_base.h"

#include "models/network_commands.h"

#include <QDebug>

void RxDeviceBase::setCurrentSource(const QString &sourceName)
{
    source = sourceName == QLatin1String("NULL") ? QString() : sourceName;
}

bool RxDeviceBase::acceptsSource(const QString &sourceName) const
{
    if (TelnetSwitchSourceCommand(sourceName).isValid())
        return true;
    qWarning().noquote() << "Device" << name() << "refuses the source name" << sourceName;
    return false;
}
