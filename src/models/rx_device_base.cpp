#include "models/rx_device_base.h"

#include "models/network_commands.h"

#include <QDebug>

void RxDeviceBase::setCurrentSource(const QString &sourceName)
{
    source = sourceName == QLatin1String("NULL") ? QString() : sourceName;
}

bool RxDeviceBase::acceptsSource(const QString &sourceName) const
{
    if (isSafeDeviceName(sourceName))
        return true;
    qWarning().noquote() << "Device" << name() << "refuses the unsafe source name" << sourceName;
    return false;
}
