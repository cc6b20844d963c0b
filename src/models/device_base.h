#pragma once

#include "discovery/device_discovery_response.h"

#include <QHostAddress>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

class DeviceBase;
using DeviceBasePtr = QSharedPointer<DeviceBase>;

// One encoder, decoder or wall as the controller lists it: identity, the user's display
// name and the online state that the discovery passes drive.
class DeviceBase : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString name READ name CONSTANT)
    Q_PROPERTY(QString id READ id CONSTANT)
    Q_PROPERTY(QString guid READ guid CONSTANT)
    Q_PROPERTY(QString nameAlias READ nameAlias WRITE setNameAlias NOTIFY nameAliasChanged)
    Q_PROPERTY(bool online READ online WRITE setOnline NOTIFY onlineStatusChanged)
    Q_PROPERTY(DeviceModel deviceModel READ deviceModel)
    Q_PROPERTY(DeviceDiscoveryResponse *meta READ meta)

public:
    // Consecutive discovery passes without a reply after which a device counts as offline.
    static constexpr int OFFLINE_THRESHOLD = 4;

    explicit DeviceBase(const DeviceDiscoveryResponsePtr &record, QObject *parent = nullptr);

    QString name() const { return deviceName; }
    QString id() const { return deviceId; }
    QString guid() const { return deviceGuid; }
    QString nameAlias() const { return alias; }
    void setNameAlias(const QString &nameAlias);
    bool online() const { return isOnline; }
    void setOnline(bool online);
    DeviceDiscoveryResponse *meta() const { return record.data(); }
    int seq() const { return sequenceNumber; }
    void setSeq(int seq) { sequenceNumber = seq; }
    int offlineCounter() const { return missedPasses; }

    virtual DeviceModel deviceModel() const = 0;
    virtual QString category() const = 0;
    virtual bool containsName(const QString &name) const;
    virtual bool containsAlias(const QString &alias) const;
    virtual void collectNames(QStringList &out) const;
    virtual DeviceBasePtr findMember(const QString &name) const;
    virtual void offlineCounterIncrease();
    virtual void offlineCounterReset();

    // A later reply of this device came from the given address.
    void updateAddress(const QHostAddress &address);

signals:
    void nameAliasChanged(const QString &alias);
    void onlineStatusChanged();
    // A discovery pass heard from this device.
    void answered();

protected:
    // For objects whose identity is not the record's, such as walls.
    DeviceBase(const DeviceDiscoveryResponsePtr &record, const QString &name, const QString &id,
        const QString &nameAlias, QObject *parent);

    virtual void addressUpdated(const QHostAddress &oldAddress, const QHostAddress &newAddress);
    void logAddressChange(const QHostAddress &oldAddress, const QHostAddress &newAddress) const;

private:
    DeviceDiscoveryResponsePtr record;
    QString deviceName;
    QString deviceId;
    QString deviceGuid;
    QString alias;
    bool isOnline = true;
    int sequenceNumber = 0;
    int missedPasses = 0;
};

Q_DECLARE_METATYPE(DeviceDiscoveryResponse *)
