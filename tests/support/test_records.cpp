#include "test_records.h"

#include "discovery_record.h"

DeviceDiscoveryResponsePtr parsedDiscoveryRecord(const QString &name, const QString &alias, const QHostAddress &sender)
{
    const DeviceDiscoveryResponsePtr record
        = DeviceDiscoveryResponse::parse(makeDiscoveryRecord(name, alias), sender, DISCOVERY_REPLY_PORT);
    Q_ASSERT_X(record, "parsedDiscoveryRecord", "the test gave a name that discovery would drop");
    return record;
}
