#pragma once

#include "models/device_base.h"

#include <QAbstractListModel>
#include <QList>
#include <functional>

class JsonConfig;

// The ordered device list the interface binds to. New devices go where the user's
// saved order puts them; the interface reorders rows by dragging.
class DeviceListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Roles {
        NameRole = Qt::UserRole + 10,
        IdRole,
        GuidRole,
        AliasRole,
        SurfaceRole,
        VideoAvaiableRole,
        AddressRole,
        CategoryRole,
        SeqRole,
        OnlineRole,
        WallOnlineRole,
        MixedRole,
        DriftedRole
    };
    Q_ENUM(Roles)

    // The store is read for saved orders only and must outlive the model.
    explicit DeviceListModel(JsonConfig *config, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // Only the alias can be edited.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Moves n rows starting at `from` so that the first of them ends at row `to`.
    // A request reaching outside the list is refused without change.
    Q_INVOKABLE void move(int from, int to, int n);

    // The device in that row; null outside the list.
    DeviceBasePtr at(int row) const;
    int addDevice(const DeviceBasePtr &device, int order);
    // The row in front of the first device whose saved order is not below `order`;
    // the end for a device without a saved order (-1).
    int calcNewItemIndex(const DeviceBasePtr &device, int order) const;
    DeviceBasePtr removeDevice(const QString &name);
    // With searchMembers, a wall answers with its decoder of that name first.
    DeviceBasePtr findDevice(const QString &name, bool searchMembers) const;
    DeviceBasePtr findDeviceByGuid(const QString &guid) const;
    DeviceBasePtr findDeviceBySeq(int seq) const;
    bool containsName(const QString &name) const;
    bool containsAlias(const QString &alias) const;
    // Devices that have answered: a wall counts as its bound decoders, every other device
    // as one.
    int deviceCount() const;
    void increaseOfflineCounters();
    void clear();

signals:
    void orderChanged();

private:
    DeviceBase *deviceAt(const QModelIndex &index) const;
    int firstRow(const std::function<bool(const DeviceBase &)> &matches) const;
    DeviceBasePtr firstDevice(const std::function<bool(const DeviceBase &)> &matches) const;
    int savedOrder(const DeviceBase &device) const;
    void watch(const DeviceBasePtr &device);
    void onRouteStateChanged();
    static QString wallOnlineText(const DeviceBase &device);

    QList<DeviceBasePtr> devices;
    JsonConfig *config;
};
