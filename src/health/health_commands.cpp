#include "health/health_commands.h"

#include "health/health_monitor.h"

#include <QJsonArray>

HealthCommands::HealthCommands(HealthMonitor *monitor, QObject *parent)
    : CommandExtension(parent)
    , monitor(monitor)
{
}

QVector<CommandEntry> HealthCommands::methods() const
{
    return {{QStringLiteral("health"), Right::View}};
}

RemoteAnswer HealthCommands::execute(const QString &, const QJsonObject &params)
{
    const QJsonValue device = params.value(QStringLiteral("device"));
    if (!device.isUndefined() && !device.isNull() && !device.isString())
        return RemoteAnswer::failure(BadArguments, QStringLiteral("device is a name, or \"all\""));
    const QString name = device.toString();
    if (!name.isEmpty() && name != QLatin1String("all")) {
        HealthMonitor::Entry *entry = monitor->find(name);
        if (!entry)
            return RemoteAnswer::failure(NotFound, QStringLiteral("no encoder or decoder is named \"%1\"").arg(name));
        return RemoteAnswer::success(monitor->deviceJson(*entry));
    }
    QJsonArray devices;
    for (HealthMonitor::Entry *entry : monitor->ranked())
        devices.append(monitor->deviceJson(*entry));
    return RemoteAnswer::success(
        QJsonObject {{QStringLiteral("controller"), monitor->controllerJson()}, {QStringLiteral("devices"), devices}});
}

QJsonObject HealthCommands::state() const
{
    int online = 0;
    int offline = 0;
    for (const HealthMonitor::Entry &entry : qAsConst(monitor->records())) {
        if (!entry.device)
            continue;
        if (entry.health.online())
            ++online;
        else
            ++offline;
    }
    return {{QStringLiteral("online"), online}, {QStringLiteral("offline"), offline}};
}
