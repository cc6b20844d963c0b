#include "models/rx_device_base.h"

#include "models/network_commands.h"

#include <QDebug>

void RxDeviceBase::setCurrentSource(const QString &sourceName)
{
    const QString stored = sourceName == QLatin1String("NULL") ? QString() : sourceName;
    if (stored == source)
        return;
    source = stored;
    emit currentSourceChanged(source);
}

bool RxDeviceBase::acceptsSource(const QString &sourceName) const
{
    if (TelnetSwitchSourceCommand(sourceName).isValid())
        return true;
    qWarning().noquote() << "Device" << name() << "refuses the source name" << sourceName;
    return false;
}
