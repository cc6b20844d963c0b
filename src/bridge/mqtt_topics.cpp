#include "bridge/mqtt_topics.h"

#include <QCryptographicHash>

namespace mqtttopics {

namespace {

QString keep(const QString &name, bool (*allowed)(QChar), bool lower)
{
    QString out;
    const QString source = name.trimmed().left(MAX_LEVEL);
    out.reserve(source.size());
    for (const QChar c : source) {
        const QChar kept = lower ? c.toLower() : c;
        out += kept.unicode() < 128 && allowed(kept) ? kept : QLatin1Char('_');
    }
    return out;
}

} // namespace

QString level(const QString &name)
{
    return keep(
        name,
        [](QChar c) {
            return c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('_') || c == QLatin1Char('-')
                || c == QLatin1Char(':');
        },
        false);
}

QString objectId(const QString &name)
{
    return keep(
        name, [](QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }, true);
}

QString shortHash(const QString &name)
{
    // 32 bits: two names a site could have in common are apart but for one chance in four billion.
    return QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex().left(8));
}

} // namespace mqtttopics
