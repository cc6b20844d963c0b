#include "models/rx_device_base.h"

#include "models/network_commands.h"

#include <QDebug>

namespace {

// Never null: a null text stands for "nothing routed yet" in the intended source.
QString withoutNull(const QString &sourceName)
{
    return sourceName.isNull() || sourceName == QLatin1String("NULL") ? QStringLiteral("") : sourceName;
}

} // namespace

void RxDeviceBase::setCurrentSource(const QString &sourceName)
{
    const QString shown = withoutNull(sourceName);
    if (shown == source)
        return;
    source = shown;
    emit currentSourceChanged(source);
    emit routeStateChanged();
}

void RxDeviceBase::setIntendedSource(const QString &sourceName)
{
    intended = withoutNull(sourceName);
}

void RxDeviceBase::setDrifted(bool drifted)
{
    if (drifted == isDrifted)
        return;
    isDrifted = drifted;
    emit routeStateChanged();
}

bool RxDeviceBase::acceptsSource(const QString &sourceName) const
{
    if (TelnetSwitchSourceCommand(sourceName).isValid())
        return true;
    qWarning().noquote() << "Device" << name() << "refuses the source name" << sourceName;
    return false;
}
