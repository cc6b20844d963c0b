#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

// An installer with several network cards names the ones that face the AV LAN here:
// interface names and/or IPv4 subnets in CIDR form, separated by commas.
constexpr char INTERFACES_VARIABLE[] = "ZENTROVA_INTERFACES";

// One IPv4 address of a usable interface, a candidate for a discovery socket.
struct InterfaceAddress
{
    QString interfaceName;
    QString humanReadableName;
    QHostAddress ip;
    QHostAddress broadcast;
};

// The candidates that `selection` names, in their own order: an address is kept when an
// entry equals its interface's name or human-readable name, or is a subnet holding it.
// An empty selection keeps every candidate. Entries that keep no candidate go to
// `unmatched`, so that a mistyped name is not silently ignored.
QList<InterfaceAddress> selectInterfaceAddresses(
    const QList<InterfaceAddress> &candidates, const QString &selection, QStringList *unmatched);
