#pragma once

#include "discovery/device_discovery_response.h"
#include "discovery/discovery_reader.h"
#include "manager/device_lists.h"
#include "models/device_base.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QWeakPointer>
#include <deque>

class BroadcastSocket;
class JsonConfig;
class QTimer;
class QUdpSocket;
class RxDevice;
class VideoWalls;

// Finds the devices: the periodic discovery request, the replies turned into listed
// encoders and decoders with their display names, and their online state.
class DeviceRegistry : public QObject
{
    Q_OBJECT

public:
    static constexpr int DISCOVERY_INTERVAL_MS = 10000;
    // New devices made before the event loop gets its turn again, so that a flood of
    // replies never freezes the window.
    static constexpr int REPLIES_PER_BATCH = 100;
    static constexpr int BATCH_BUDGET_MS = 20;
    // Far above the largest installation; past it a flood of made-up names cannot make
    // the lists grow without end.
    static constexpr int MAX_DEVICES_PER_KIND = 1000;

    // Lists, store and walls must outlive the registry.
    DeviceRegistry(const DeviceLists &lists, JsonConfig *config, VideoWalls *walls, QObject *parent = nullptr);

    BroadcastSocket *socket() const { return sockets; }
    QTimer *discoveryTimer() const { return timer; }

    // Binds the sockets, then sends one request now (oneShot) or starts the periodic
    // cycle. False, with errorString(), when no socket could be bound.
    bool startDiscovery(bool oneShot);
    QString errorString() const;
    // In demo mode replies are read and dropped, and decoders still waiting for their
    // information stay where they are.
    void setDemoMode(bool demo) { demoMode = demo; }

    int deviceLimit() const { return limit; }
    // New devices of one kind listed at most; MAX_DEVICES_PER_KIND unless a test needs fewer.
    void setDeviceLimit(int devices) { limit = devices; }

    // Replies of new devices not made yet: a flood is made a batch at a time.
    bool hasRepliesWaiting() const { return !newReplies.empty(); }

    // Encoders, decoders (a wall counting as its decoders that answered), pending decoders.
    int deviceFound() const;
    bool deviceAliasExists(const QString &alias) const;

    // The object for a reply: an encoder, or a decoder with the next sequence number.
    static DeviceBasePtr createDevice(const DeviceDiscoveryResponsePtr &record);

public slots:
    void sendDiscoveryMessage();
    // Reads what waits on a socket of the caller's own, on this thread.
    void receiveDiscoveryResponse(QUdpSocket *sock);
    // Replies the discovery sockets' reader has handed over.
    void onRepliesRead(const DiscoveryReplies &replies);

signals:
    // Once per pass, and once per batch of replies in which a known device answered.
    void onlineStatesChanged();
    // A listed decoder has answered what it shows and where it stands in a wall.
    void decoderStateRead(RxDevice *decoder);
    // Once per kind: replies of new devices of that kind are dropped from now on.
    void deviceLimitReached(int limit);

private slots:
    void onRxDeviceInfoFetched(RxDevice *device);

private:
    // True when a listed device answered.
    bool takeReply(const QString &name, const QByteArray &data, const QHostAddress &sender, quint16 port);
    bool refreshKnownDevice(const QString &name, const QHostAddress &address);
    void addWaitingDevices();
    bool acceptsName(const QString &name);
    bool roomFor(ResponseKind kind);
    void addNewDevice(const DeviceDiscoveryResponsePtr &reply);
    void assignAlias(DeviceBase &device, ResponseKind kind);

    DeviceLists lists;
    JsonConfig *config;
    VideoWalls *walls;
    BroadcastSocket *sockets;
    QTimer *timer;
    bool demoMode = false;
    // Every device made from a reply, by lower-cased name, for as long as a list or a
    // wall holds it: a few hundred replies a pass must not each search every list.
    QHash<QString, QWeakPointer<DeviceBase>> knownDevices;
    // Names refused once are not logged again at every pass.
    QSet<QString> refusedNames;
    // Devices made from replies, by kind (encoders, decoders).
    int madeDevices[2] = {0, 0};
    int limit = MAX_DEVICES_PER_KIND;
    // Replies of devices not made yet, oldest first.
    std::deque<DeviceDiscoveryResponsePtr> newReplies;
    bool batchScheduled = false;
};
