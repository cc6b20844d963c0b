#include "discovery/discovery_record.h"

#include "discovery/device_discovery_response.h"

namespace {

void putText(QByteArray &record, int offset, int size, const QString &text)
{
    QByteArray utf8 = text.toUtf8();
    if (utf8.size() > size) {
        // A character that does not fit whole is left out, continuation bytes (10xxxxxx) and all.
        int end = size;
        while (end > 0 && (uchar(utf8.at(end)) & 0xc0) == 0x80)
            --end;
        utf8.truncate(end);
    }
    record.replace(offset, utf8.size(), utf8);
}

} // namespace

QByteArray makeDiscoveryRecord(const QString &name, const QString &alias)
{
    QByteArray record(DISCOVERY_RECORD_SIZE, '\0');
    putText(record, DISCOVERY_NAME_OFFSET, DISCOVERY_NAME_SIZE, name);
    putText(record, DISCOVERY_ALIAS_OFFSET, DISCOVERY_ALIAS_SIZE, alias);
    return record;
}
