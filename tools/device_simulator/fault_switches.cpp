#include "fault_switches.h"

#include <QFileInfo>

FaultSwitches::FaultSwitches(const QString &folder)
    : folder(folder)
{
}

bool FaultSwitches::isOn(const char *fault) const
{
    return !folder.isEmpty() && QFileInfo::exists(folder + QLatin1Char('/') + QLatin1String(fault));
}
