#pragma once

#include "device_discovery_response.h"

#include <QHostAddress>
#include <QString>

// A discovery reply as a device on the LAN would send it, already parsed.
DeviceDiscoveryResponsePtr parsedDiscoveryRecord(
    const QString &name, const QString &alias = QString(), const QHostAddress &sender = QHostAddress());
