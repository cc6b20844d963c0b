#pragma once

#include "discovery/device_discovery_response.h"
#include "discovery/discovery_record.h"

#include <QHostAddress>
#include <QString>

// A discovery reply as a device on the LAN would send it, already parsed.
inline DeviceDiscoveryResponsePtr parsedDiscoveryRecord(
    const QString &name, const QString &alias = QString(), const QHostAddress &sender = QHostAddress())
{
    const DeviceDiscoveryResponsePtr record
        = DeviceDiscoveryResponse::parse(makeDiscoveryRecord(name, alias), sender, DISCOVERY_REPLY_PORT);
    Q_ASSERT_X(record, "parsedDiscoveryRecord", "the test gave a name that discovery would drop");
    return record;
}
