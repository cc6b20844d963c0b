#include "models/device_base.h"

#include <QDebug>
#include <QUuid>

DeviceBase::DeviceBase(const DeviceDiscoveryResponsePtr &record, QObject *parent)
    : DeviceBase(record, record->name(), record->id, record->alias(), parent)
{
}

DeviceBase::DeviceBase(const DeviceDiscoveryResponsePtr &record, const QString &name, const QString &id,
    const QString &nameAlias, QObject *parent)
    : QObject(parent)
    , record(record)
    , deviceName(name)
    , deviceId(id)
    , deviceGuid(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper())
    , alias(nameAlias)
{
}

void DeviceBase::setNameAlias(const QString &nameAlias)
{
    // Announced even when unchanged: the settings list relies on every edit being seen.
    alias = nameAlias;
    emit nameAliasChanged(alias);
}

void DeviceBase::setOnline(bool online)
{
    if (online == isOnline)
        return;
    isOnline = online;
    emit onlineStatusChanged();
}

bool DeviceBase::containsName(const QString &) const
{
    return false;
}

bool DeviceBase::containsAlias(const QString &) const
{
    return false;
}

void DeviceBase::collectNames(QStringList &out) const
{
    out.append(deviceName);
}

DeviceBasePtr DeviceBase::findMember(const QString &) const
{
    return nullptr;
}

void DeviceBase::offlineCounterIncrease()
{
    ++missedPasses;
    if (missedPasses == OFFLINE_THRESHOLD && isOnline) {
        setOnline(false);
        qInfo().noquote().nospace() << deviceName << " Offline!";
    }
}

void DeviceBase::offlineCounterReset()
{
    missedPasses = 0;
    emit answered();
    if (!isOnline) {
        setOnline(true);
        qInfo().noquote().nospace() << deviceName << " Online!";
    }
}

void DeviceBase::updateAddress(const QHostAddress &address)
{
    if (address == record->address)
        return;
    const QHostAddress oldAddress = record->address;
    record->address = address;
    addressUpdated(oldAddress, address);
}

void DeviceBase::addressUpdated(const QHostAddress &, const QHostAddress &)
{
}

void DeviceBase::logAddressChange(const QHostAddress &oldAddress, const QHostAddress &newAddress) const
{
    qInfo().noquote().nospace() << "Device '" << deviceName << "' address changed from " << oldAddress.toString()
                                << " to " << newAddress.toString();
}
