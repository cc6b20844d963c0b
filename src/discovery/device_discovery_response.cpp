#include "discovery/device_discovery_response.h"

#include <QRegularExpression>

namespace {

QString nulTerminatedText(const QByteArray &raw, int offset, int size)
{
    if (raw.size() < offset + size)
        return QString();
    const char *field = raw.constData() + offset;
    return QString::fromUtf8(field, int(qstrnlen(field, uint(size))));
}

QString idFromName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("(IP[DE][^-]+-([\\dA-F]{12})|VW)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return QString();
    const QString hexId = match.captured(2);
    return hexId.isEmpty() ? match.captured(1) : hexId;
}

} // namespace

QSharedPointer<DeviceDiscoveryResponse> DeviceDiscoveryResponse::parse(const QByteArray &datagram,
                                                                       const QHostAddress &sender, int senderPort)
{
    const QString id = idFromName(nameOf(datagram));
    if (id.isEmpty())
        return nullptr;
    auto record = QSharedPointer<DeviceDiscoveryResponse>::create();
    record->address = sender;
    record->port = senderPort;
    record->raw = datagram.left(DISCOVERY_RECORD_SIZE);
    record->id = id;
    return record;
}

QString DeviceDiscoveryResponse::name() const
{
    return nameOf(raw);
}

QString DeviceDiscoveryResponse::nameOf(const QByteArray &datagram)
{
    if (datagram.size() < DISCOVERY_RECORD_SIZE)
        return QString();
    return nulTerminatedText(datagram, DISCOVERY_NAME_OFFSET, DISCOVERY_NAME_SIZE);
}

QString DeviceDiscoveryResponse::alias() const
{
    return nulTerminatedText(raw, DISCOVERY_ALIAS_OFFSET, DISCOVERY_ALIAS_SIZE);
}

ResponseKind DeviceDiscoveryResponse::deviceKind() const
{
    return kindOfName(name());
}

ResponseKind DeviceDiscoveryResponse::kindOfName(const QString &name)
{
    const QString prefix = name.left(3);
    if (prefix.compare(QLatin1String("IPD"), Qt::CaseInsensitive) == 0)
        return ResponseKind::Decoder;
    if (prefix.compare(QLatin1String("IPE"), Qt::CaseInsensitive) == 0)
        return ResponseKind::Encoder;
    return ResponseKind::Unknown;
}
