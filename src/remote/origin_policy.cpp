#include "remote/origin_policy.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QUrl>

void OriginPolicy::setOwn(bool tls, quint16 ownPort, const QStringList &ownHosts)
{
    scheme = tls ? QStringLiteral("https") : QStringLiteral("http");
    port = ownPort;
    hosts.clear();
    for (const QString &host : ownHosts)
        hosts.insert(host.toLower());
}

bool OriginPolicy::allows(const QByteArray &origin) const
{
    // An origin is scheme://host[:port] and nothing more; "null" and paths are no page of ours.
    const QUrl url(QString::fromLatin1(origin), QUrl::StrictMode);
    if (!url.isValid() || !url.path().isEmpty() || url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty())
        return false;
    const int defaultPort = scheme == QLatin1String("https") ? 443 : 80;
    return url.scheme() == scheme && url.port(defaultPort) == port && hosts.contains(url.host().toLower());
}

QStringList OriginPolicy::ownHosts(const QString &listenAddress)
{
    QStringList result;
    const QHostAddress listen(listenAddress);
    QList<QHostAddress> addresses;
    if (listen == QHostAddress::AnyIPv4 || listen == QHostAddress::Any)
        addresses = QNetworkInterface::allAddresses();
    else
        addresses << listen;
    for (const QHostAddress &address : qAsConst(addresses)) {
        if (address.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        result << address.toString();
        if (address.isLoopback())
            result << QStringLiteral("localhost");
    }
    if (listen == QHostAddress::AnyIPv4 || listen == QHostAddress::Any) {
        const QString name = QHostInfo::localHostName();
        if (!name.isEmpty())
            result << name << name + QStringLiteral(".local");
    }
    result.removeDuplicates();
    return result;
}
