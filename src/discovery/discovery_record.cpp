#include "discovery/discovery_record.h"

#include "discovery/device_discovery_response.h"

#include <QtEndian>

namespace {

// The two leading words, which receivers do not read; devices send them like this.
constexpr int KIND_WORD_OFFSET = 0;
constexpr quint32 ENCODER_KIND_WORD = 1;
constexpr quint32 DECODER_KIND_WORD = 2;
constexpr int SECOND_WORD_OFFSET = 4;
constexpr quint32 SECOND_WORD = 2;

void putWord(QByteArray &record, int offset, quint32 word)
{
    qToLittleEndian(word, record.data() + offset);
}

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
    switch (DeviceDiscoveryResponse::kindOfName(name)) {
    case ResponseKind::Encoder:
        putWord(record, KIND_WORD_OFFSET, ENCODER_KIND_WORD);
        break;
    case ResponseKind::Decoder:
        putWord(record, KIND_WORD_OFFSET, DECODER_KIND_WORD);
        break;
    case ResponseKind::Unknown:
        break;
    }
    putWord(record, SECOND_WORD_OFFSET, SECOND_WORD);
    putText(record, DISCOVERY_NAME_OFFSET, DISCOVERY_NAME_SIZE, name);
    putText(record, DISCOVERY_ALIAS_OFFSET, DISCOVERY_ALIAS_SIZE, alias);
    return record;
}
