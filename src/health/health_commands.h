#pragma once

#include "control/command_extension.h"

class HealthMonitor;

// The control API's "health" method on the monitor:
//  "health" {device?: name or alias, or "all"} -> {controller, devices: [record, worst first]}
//  or, for one device, its record alone.
// Its part of the state is how many devices are online and offline.
class HealthCommands : public CommandExtension
{
    Q_OBJECT

public:
    // The monitor must outlive the commands.
    explicit HealthCommands(HealthMonitor *monitor, QObject *parent = nullptr);

    QVector<CommandEntry> methods() const override;
    RemoteAnswer execute(const QString &method, const QJsonObject &params) override;
    QJsonObject state() const override;

private:
    HealthMonitor *monitor;
};
