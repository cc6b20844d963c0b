#include "reply_record.h"

QByteArray replyRecord(bool encoder, const QByteArray &name, const QByteArray &displayName, int size)
{
    QByteArray record(292, '\0');
    record[0] = encoder ? '\x01' : '\x02';
    record[4] = '\x02';
    record.replace(40, qMin(name.size(), 64), name.left(64));
    record.replace(112, qMin(displayName.size(), 32), displayName.left(32));
    // Whatever a longer datagram carries past the record, no receiver may read it.
    return size <= record.size() ? record.left(qMax(size, 0)) : record.leftJustified(size, '\xee');
}
