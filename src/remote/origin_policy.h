#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

// Which browser pages may talk to the controller: only its own, that is the scheme, a name
// or address of this machine, and the port the server listens on. Matching the page's host
// against this machine's own names (rather than against the request's Host header) also
// refuses pages on foreign names that resolve to this machine.
// Set up before the server starts; read-only after.
class OriginPolicy
{
public:
    void setOwn(bool tls, quint16 port, const QStringList &hosts);
    // For an Origin header's value; clients that send none are not asked.
    bool allows(const QByteArray &origin) const;

    // The names and addresses a page of this machine may carry, for a server listening on
    // listenAddress ("0.0.0.0" = every interface).
    static QStringList ownHosts(const QString &listenAddress);

private:
    QString scheme;
    int port = -1;
    QSet<QString> hosts;
};
