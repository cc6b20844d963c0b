#include "discovery/interface_selection.h"

#include <QVector>

namespace {

bool entryMatches(const QString &entry, const InterfaceAddress &candidate)
{
    if (entry.contains(QLatin1Char('/'))) {
        const QPair<QHostAddress, int> subnet = QHostAddress::parseSubnet(entry);
        return subnet.first.protocol() == QAbstractSocket::IPv4Protocol && candidate.ip.isInSubnet(subnet);
    }
    return entry == candidate.interfaceName || entry == candidate.humanReadableName;
}

} // namespace

QList<InterfaceAddress> selectInterfaceAddresses(
    const QList<InterfaceAddress> &candidates, const QString &selection, QStringList *unmatched)
{
    QStringList entries;
    for (const QString &part : selection.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString entry = part.trimmed();
        if (!entry.isEmpty())
            entries << entry;
    }
    if (entries.isEmpty())
        return candidates;

    QList<InterfaceAddress> selected;
    QVector<bool> used(entries.size(), false);
    for (const InterfaceAddress &candidate : candidates) {
        bool keep = false;
        for (int i = 0; i < entries.size(); ++i) {
            if (entryMatches(entries.at(i), candidate)) {
                used[i] = true;
                keep = true;
            }
        }
        if (keep)
            selected << candidate;
    }
    for (int i = 0; i < entries.size(); ++i) {
        if (!used.at(i) && unmatched)
            *unmatched << entries.at(i);
    }
    return selected;
}
