#include "manager/device_registry.h"

#include "base/json_config.h"
#include "base/name_rules.h"
#include "discovery/broadcast_socket.h"
#include "manager/config_keys.h"
#include "manager/video_walls.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/tx_device.h"
#include "platform/datagram_reader.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>

namespace {

// How long a burst of replies gathers between reads: a pass of a thousand replies is read
// in a few rounds, and a new device waits a few milliseconds more to be listed. A receive
// buffer smaller than asked would overflow meanwhile: it is read again at the next turn.
constexpr int BURST_GATHER_MS = 4;

// Decoders are numbered for the on-screen numbering across the whole process.
int nextSequenceNumber = 1;

QString kindText(ResponseKind kind)
{
    switch (kind) {
    case ResponseKind::Decoder:
        return QStringLiteral("RX");
    case ResponseKind::Encoder:
        return QStringLiteral("TX");
    default:
        return QStringLiteral("Unknown");
    }
}

void logReceived(const DeviceDiscoveryResponse &reply)
{
    qDebug().noquote() << "Received" << kindText(reply.deviceKind()) << " device with name" << reply.name() << "and ip"
                       << reply.address.toString() << ".";
}

} // namespace

DeviceRegistry::DeviceRegistry(const DeviceLists &lists, JsonConfig *config, VideoWalls *walls, QObject *parent)
    : QObject(parent)
    , lists(lists)
    , config(config)
    , walls(walls)
    , sockets(new BroadcastSocket(this))
    , timer(new QTimer(this))
{
    timer->setObjectName(QStringLiteral("discoveryTimer"));
    connect(timer, &QTimer::timeout, this, &DeviceRegistry::sendDiscoveryMessage);
    connect(sockets, &BroadcastSocket::repliesRead, this, &DeviceRegistry::onRepliesRead);
}

bool DeviceRegistry::startDiscovery(bool oneShot)
{
    if (!sockets->bind(DISCOVERY_REPLY_PORT))
        return false;
    if (oneShot) {
        timer->stop();
        sendDiscoveryMessage();
    } else {
        timer->start(DISCOVERY_INTERVAL_MS);
    }
    return true;
}

QString DeviceRegistry::errorString() const
{
    return sockets->errorString();
}

int DeviceRegistry::deviceFound() const
{
    return lists.tx->rowCount() + lists.pending->rowCount() + lists.rx->deviceCount();
}

bool DeviceRegistry::deviceAliasExists(const QString &alias) const
{
    return lists.rx->containsAlias(alias) || lists.pending->containsAlias(alias) || lists.tx->containsAlias(alias);
}

void DeviceRegistry::sendDiscoveryMessage()
{
    for (DeviceListModel *list : {lists.rx, lists.pending, lists.tx})
        list->increaseOfflineCounters();
    emit onlineStatesChanged();
    sockets->writeDatagram(DISCOVERY_REQUEST, DISCOVERY_REQUEST_PORT);
}

// Every datagram is read here, at once: a socket left with unread datagrams after its
// signal may not signal again. Known devices are cheap to refresh; making new ones is
// not, so they are made a batch at a time between turns of the event loop.
void DeviceRegistry::receiveDiscoveryResponse(QUdpSocket *sock)
{
    bool knownAnswered = false;
    // Nothing past the record is read, so its size need not be asked first.
    const bool burst = platform::readPendingDatagrams(*sock, DISCOVERY_RECORD_SIZE,
        [this, &knownAnswered](const QByteArray &data, const QHostAddress &sender, quint16 port) {
            if (takeReply(DeviceDiscoveryResponse::nameOf(data), data, sender, port))
                knownAnswered = true;
        });
    if (burst) {
        // Either may go first: the socket is the caller's.
        QTimer::singleShot(
            sockets->holdsBursts() ? BURST_GATHER_MS : 0, this, [this, socket = QPointer<QUdpSocket>(sock)] {
                if (socket)
                    receiveDiscoveryResponse(socket);
            });
    }
    if (knownAnswered)
        emit onlineStatesChanged();
    addWaitingDevices();
}

void DeviceRegistry::onRepliesRead(const DiscoveryReplies &replies)
{
    bool knownAnswered = false;
    for (const DiscoveryReply &reply : replies)
        if (takeReply(reply.name, reply.data, reply.sender, reply.port))
            knownAnswered = true;
    if (knownAnswered)
        emit onlineStatesChanged();
    addWaitingDevices();
}

bool DeviceRegistry::takeReply(const QString &name, const QByteArray &data, const QHostAddress &sender, quint16 port)
{
    if (demoMode)
        return false;
    // Nearly every reply of a pass comes from a listed device: its name alone finds it,
    // before the checks that only a new name needs.
    if (refreshKnownDevice(name, sender))
        return true;
    const DeviceDiscoveryResponsePtr reply = DeviceDiscoveryResponse::parse(data, sender, port);
    if (!reply)
        return false;
    // Only encoders and decoders answer discovery; anything else is only logged.
    if (reply->deviceKind() == ResponseKind::Unknown) {
        logReceived(*reply);
        return false;
    }
    // What does not fit now answers again at the next pass.
    if (int(newReplies.size()) < 2 * limit)
        newReplies.push_back(reply);
    return false;
}

void DeviceRegistry::addWaitingDevices()
{
    // The display names and counters of new devices wait in memory for the save that
    // listing them asks for: a flood of names is written once, after it.
    config->beginBatch();
    QElapsedTimer batch;
    batch.start();
    for (int made = 0;
         made < REPLIES_PER_BATCH && batch.elapsed() < BATCH_BUDGET_MS && !newReplies.empty() && !demoMode; ++made) {
        const DeviceDiscoveryResponsePtr reply = newReplies.front();
        newReplies.pop_front();
        // A device may have answered twice before it was made.
        if (!refreshKnownDevice(reply->name(), reply->address) && acceptsName(reply->name())
            && roomFor(reply->deviceKind()))
            addNewDevice(reply);
    }
    config->endBatchInMemory();
    if (demoMode)
        newReplies.clear();
    if (newReplies.empty() || batchScheduled)
        return;
    batchScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            batchScheduled = false;
            addWaitingDevices();
        },
        Qt::QueuedConnection);
}

// A name becomes a key path of the settings file and a shell word on the decoders: one
// holding the path separator would share its entries with another device's.
bool DeviceRegistry::acceptsName(const QString &name)
{
    const bool usable = NameRules::deviceName(name);
    if (!usable && !refusedNames.contains(name)) {
        refusedNames.insert(name);
        qWarning().noquote() << "Ignoring the device" << name.left(NameRules::DEVICE_NAME_LIMIT)
                             << ": its name holds \"/\", a control character or is too long";
    }
    return usable;
}

bool DeviceRegistry::roomFor(ResponseKind kind)
{
    int &made = madeDevices[int(kind)];
    if (made < limit) {
        ++made;
        return true;
    }
    if (made++ == limit) {
        qWarning().noquote() << "More than" << limit << kindText(kind)
                             << "devices answered; further new ones are not listed";
        emit deviceLimitReached(limit);
    }
    return false;
}

bool DeviceRegistry::refreshKnownDevice(const QString &name, const QHostAddress &address)
{
    const DeviceBasePtr device = knownDevices.value(name.toLower()).toStrongRef();
    if (!device)
        return false;
    const bool wasOffline = !device->online();
    device->updateAddress(address);
    device->offlineCounterReset();
    // A decoder back from a silence, or one whose first reading was given up, is read
    // again: a listed decoder may have been switched off and on meanwhile, and a
    // decoder that answers must not stay out of the list.
    if (auto *decoder = qobject_cast<RxDevice *>(device.data())) {
        if (wasOffline || lists.pending->findDevice(decoder->name(), false))
            decoder->readState();
    }
    return true;
}

DeviceBasePtr DeviceRegistry::createDevice(const DeviceDiscoveryResponsePtr &record)
{
    switch (record->deviceKind()) {
    case ResponseKind::Encoder:
        return DeviceBasePtr(new TxDevice(record));
    case ResponseKind::Decoder: {
        DeviceBasePtr decoder(new RxDevice(record));
        decoder->setSeq(nextSequenceNumber++);
        return decoder;
    }
    default:
        return nullptr;
    }
}

void DeviceRegistry::addNewDevice(const DeviceDiscoveryResponsePtr &reply)
{
    const ResponseKind kind = reply->deviceKind();
    const DeviceBasePtr device = createDevice(reply);
    if (!device)
        return;
    assignAlias(*device, kind);
    knownDevices.insert(device->name().toLower(), device);
    if (const QSharedPointer<RxDevice> decoder = device.objectCast<RxDevice>()) {
        connect(decoder.data(), &RxDevice::deviceInfoFetched, this, &DeviceRegistry::onRxDeviceInfoFetched);
        lists.pending->addDevice(decoder, -1);
    } else if (const QSharedPointer<TxDevice> encoder = device.objectCast<TxDevice>()) {
        lists.tx->addDevice(encoder, config->value(configkeys::ORDER.arg(encoder->name()), -1));
        encoder->startFetchVideoStream();
    }
    logReceived(*reply);
}

void DeviceRegistry::assignAlias(DeviceBase &device, ResponseKind kind)
{
    const QString aliasKey = configkeys::ALIAS.arg(device.name());
    QString alias = config->value(aliasKey, QString());
    // A name edited into the file by hand that breaks the rule would not come back from an export.
    if (!NameRules::displayName(alias) || deviceAliasExists(alias)) {
        const bool decoder = kind == ResponseKind::Decoder;
        const QString counterKey = decoder ? configkeys::RX_NAME_NEXT : configkeys::TX_NAME_NEXT;
        const QString prefix = decoder ? QStringLiteral("RX") : QStringLiteral("TX");
        int n = qMax(1, config->value(counterKey, 1));
        while (deviceAliasExists(QStringLiteral("%1 - %2").arg(prefix).arg(n)))
            ++n;
        alias = QStringLiteral("%1 - %2").arg(prefix).arg(n);
        config->setValue(counterKey, n + 1);
    }
    device.setNameAlias(alias);
    config->setValue(aliasKey, alias);
}

void DeviceRegistry::onRxDeviceInfoFetched(RxDevice *device)
{
    qDebug().noquote() << device->name() << "read success";
    // A real decoder must not join the made-up installation and receive its commands.
    if (demoMode)
        return;
    if (lists.pending->containsName(device->name())) {
        const QSharedPointer<RxDevice> decoder = lists.pending->removeDevice(device->name()).objectCast<RxDevice>();
        if (decoder)
            walls->placeFetchedDecoder(decoder);
    }
    emit decoderStateRead(device);
}
