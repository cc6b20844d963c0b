#include "test_records.h"

#include <QtGlobal>

DeviceDiscoveryResponsePtr makeDiscoveryRecord(const QString &name, const QString &alias, const QHostAddress &sender)
{
    QByteArray datagram(DISCOVERY_RECORD_SIZE, '\0');
    const QByteArray nameBytes = name.toUtf8().left(DISCOVERY_NAME_SIZE);
    const QByteArray aliasBytes = alias.toUtf8().left(DISCOVERY_ALIAS_SIZE);
    datagram.replace(DISCOVERY_NAME_OFFSET, nameBytes.size(), nameBytes);
    datagram.replace(DISCOVERY_ALIAS_OFFSET, aliasBytes.size(), aliasBytes);
    const DeviceDiscoveryResponsePtr record = DeviceDiscoveryResponse::parse(datagram, sender, 3336);
    Q_ASSERT_X(record, "makeDiscoveryRecord", "the test gave a name that discovery would drop");
    return record;
}
