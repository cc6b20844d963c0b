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
    QDebug warning = qWarning().noquote();
    warning << "Device" << name() << "refuses the source name";
    // Quoted, so that its control characters show escaped instead of forging log lines.
    warning.quote() << sourceName;
    return false;
}
