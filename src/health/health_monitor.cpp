#include "health/health_monitor.h"

#include "manager/configuration_file.h"
#include "manager/device_manager.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/tx_device.h"
#include "models/vw_device.h"
#include "platform/platform.h"
#include "scenes/scene_recall.h"
#include "scenes/scene_service.h"
#include "video/qimage_grabber_mjpeg.h"

#include <QDateTime>
#include <QMetaEnum>

#include <algorithm>
#include <cmath>

namespace {
const QString DECODER = QStringLiteral("decoder");
const QString ENCODER = QStringLiteral("encoder");

bool linkUp(RxDevice::TS state)
{
    return state == RxDevice::Ready || state == RxDevice::CmdRunning || state == RxDevice::CmdHaveResponse;
}

QString linkName(RxDevice::TS state)
{
    return QString::fromLatin1(QMetaEnum::fromType<RxDevice::TS>().valueToKey(state));
}
} // namespace

HealthMonitor::HealthMonitor(DeviceManager *manager, SceneService *scenes, Clock clock, QObject *parent)
    : QObject(parent)
    , manager(manager)
    , scenes(scenes)
    , clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentMSecsSinceEpoch(); }))
{
    sampleTimer.setInterval(SAMPLE_MS);
    connect(&sampleTimer, &QTimer::timeout, this, &HealthMonitor::sample);
    lagTimer.setInterval(LAG_PROBE_MS);
    lagTimer.setTimerType(Qt::PreciseTimer);
    connect(&lagTimer, &QTimer::timeout, this, [this] { onLagProbe(lagClock.restart()); });
    for (DeviceListModel *list : {manager->rxlist(), manager->txlist()}) {
        connect(list, &QAbstractItemModel::rowsInserted, this, [this, list] { watchList(list); });
        watchList(list);
    }
    if (scenes) {
        connect(scenes, &SceneService::recallStateChanged, this, &HealthMonitor::onRecallStateChanged);
        connect(scenes, &SceneService::recallFinished, this, &HealthMonitor::onRecallFinished);
    }
    // The store tells once when saving starts to fail and once when it works again.
    connect(manager->configurationFile(), &ConfigurationFile::saveStateChanged, this, [this](bool nowSaved) {
        if (!nowSaved)
            ++saveFailures;
        saved = nowSaved;
    });
    cpuBefore = cpuSeconds();
    cpuSampledAt = this->clock();
}

void HealthMonitor::start()
{
    sampleTimer.start();
    lagClock.start();
    lagTimer.start();
}

void HealthMonitor::watchList(DeviceListModel *list)
{
    for (int row = 0; row < list->rowCount(); ++row)
        watch(list->at(row).data());
}

// Each device is connected once, for as long as it exists; walls bring their members.
void HealthMonitor::watch(DeviceBase *device)
{
    if (!device)
        return;
    if (const auto *wall = qobject_cast<const VWDevice *>(device)) {
        for (const RxDevicePtr &member : wall->members())
            watch(member.data());
        return;
    }
    if (watched.contains(device))
        return;
    auto *decoder = qobject_cast<RxDevice *>(device);
    auto *encoder = qobject_cast<TxDevice *>(device);
    if (!decoder && !encoder)
        return;
    watched.insert(device);
    const QString name = device->name();
    Entry &entry = entryFor(device, decoder ? DECODER : ENCODER);
    entry.health.setOnline(device->online(), clock());
    connect(device, &QObject::destroyed, this, [this, device] { watched.remove(device); });
    connect(device, &DeviceBase::onlineStatusChanged, this,
        [this, device, name] { entries[name].health.setOnline(device->online(), clock()); });
    connect(device, &DeviceBase::answered, this, [this, name] { entries[name].health.answered(clock()); });
    connect(device, &DeviceBase::nameAliasChanged, this,
        [this, name](const QString &alias) { entries[name].alias = alias; });
    if (decoder) {
        const auto link = [this, decoder, name] {
            entries[name].health.setLink(
                linkName(decoder->state()), linkUp(decoder->state()), std::max(0, decoder->connectionNumber() - 1));
        };
        link();
        connect(decoder, &RxDevice::stateChanged, this, link);
        connect(decoder, &RxDevice::commandAnswered, this,
            [this, name](int roundTripMs) { entries[name].health.commandAnswered(roundTripMs, clock()); });
        connect(decoder, &RxDevice::commandFailed, this,
            [this, name](bool refused) { entries[name].health.commandFailed(refused, clock()); });
        // Counted as it begins: a drift that lasts is one event, not one per report.
        connect(decoder, &RxDeviceBase::routeStateChanged, this,
            [this, decoder, name, drifted = decoder->drifted()]() mutable {
                if (decoder->drifted() && !drifted)
                    entries[name].health.drifted();
                drifted = decoder->drifted();
            });
    } else if (QImageGrabberMjpeg *grabber = encoder->grabber()) {
        connect(grabber, &QImageGrabber::newImageGrabbed, this, [this, name] { ++entries[name].decoded; });
    }
}

HealthMonitor::Entry &HealthMonitor::entryFor(DeviceBase *device, const QString &kind)
{
    auto it = entries.find(device->name());
    if (it == entries.end()) {
        prune();
        it = entries.insert(device->name(), Entry());
        it->name = device->name();
        it->health = DeviceHealth(kind, device->online(), clock());
    }
    it->alias = device->nameAlias();
    it->device = device;
    it->decodedBefore = it->decoded;
    it->cutBefore = 0;
    it->sampledAt = 0;
    return *it;
}

void HealthMonitor::prune()
{
    if (entries.size() < MAX_RECORDS)
        return;
    QVector<QPair<qint64, QString>> gone;
    for (const Entry &entry : qAsConst(entries)) {
        if (!entry.device)
            gone.append({entry.health.since(), entry.name});
    }
    std::sort(gone.begin(), gone.end());
    for (int i = 0; i < gone.size() && entries.size() >= MAX_RECORDS; ++i)
        entries.remove(gone.at(i).second);
}

void HealthMonitor::sample()
{
    const qint64 time = clock();
    // Members bound to a wall since the last sample are not announced by the lists.
    watchList(manager->rxlist());
    const double cpu = cpuSeconds();
    if (time > cpuSampledAt)
        cpuPercent = 100.0 * (cpu - cpuBefore) * 1000.0 / double(time - cpuSampledAt);
    cpuBefore = cpu;
    cpuSampledAt = time;
    lagMs = lagMax;
    lagMax = 0;
    for (Entry &entry : entries) {
        entry.health.advance(time);
        const auto *encoder = qobject_cast<const TxDevice *>(entry.device.data());
        if (!encoder || !encoder->grabber() || encoder->demo())
            continue;
        quint64 cut = 0;
        encoder->grabber()->newestJpeg(&cut);
        if (entry.sampledAt > 0 && time > entry.sampledAt) {
            const quint64 frames = cut >= entry.cutBefore ? cut - entry.cutBefore : cut;
            const quint64 decoded = entry.decoded - entry.decodedBefore;
            entry.health.setPreview(double(frames) * 1000.0 / double(time - entry.sampledAt),
                frames ? std::min(1.0, double(decoded) / double(frames)) : -1.0);
        }
        entry.cutBefore = cut;
        entry.decodedBefore = entry.decoded;
        entry.sampledAt = time;
    }
    emit updated();
}

void HealthMonitor::onLagProbe(qint64 elapsedMs)
{
    lagMax = std::max(lagMax, int(std::clamp<qint64>(elapsedMs - LAG_PROBE_MS, 0, 3600 * 1000)));
}

void HealthMonitor::onRecallStateChanged()
{
    if (scenes->recalling() && !recallClock.isValid())
        recallClock.start();
}

void HealthMonitor::onRecallFinished()
{
    const double seconds = recallClock.isValid() ? double(recallClock.elapsed()) / 1000.0 : 0.0;
    recallClock.invalidate();
    const SceneRecall *recall = scenes->recaller();
    const int total = recall->report().size();
    const int confirmed = recall->confirmedCount();
    const QString outcome = confirmed == total
        ? QStringLiteral("confirmed")
        : (confirmed == 0 ? QStringLiteral("failed") : QStringLiteral("partial"));
    ++recallFigures.outcomes[outcome];
    size_t bucket = 0;
    while (bucket < RECALL_BOUNDS_S.size() && seconds > RECALL_BOUNDS_S[bucket])
        ++bucket;
    for (size_t i = bucket; i < recallFigures.buckets.size(); ++i)
        ++recallFigures.buckets[i];
    recallFigures.sumSeconds += seconds;
}

QVector<HealthMonitor::Entry *> HealthMonitor::ranked()
{
    const qint64 time = clock();
    struct Ranked
    {
        Entry *entry;
        double availability;
        int rttP95;
    };
    QVector<Ranked> list;
    list.reserve(entries.size());
    for (Entry &entry : entries)
        list.append({&entry, entry.health.availability(time), entry.health.rttPercentile(95)});
    std::sort(list.begin(), list.end(), [](const Ranked &a, const Ranked &b) {
        const DeviceHealth &x = a.entry->health;
        const DeviceHealth &y = b.entry->health;
        if (x.online() != y.online())
            return !x.online();
        if (a.availability != b.availability)
            return a.availability < b.availability;
        if (x.failedCommands() != y.failedCommands())
            return x.failedCommands() > y.failedCommands();
        if (a.rttP95 != b.rttP95)
            return a.rttP95 > b.rttP95;
        return a.entry->name < b.entry->name;
    });
    QVector<Entry *> result;
    result.reserve(list.size());
    for (const Ranked &ranked : list)
        result.append(ranked.entry);
    return result;
}

HealthMonitor::Entry *HealthMonitor::find(const QString &nameOrAlias)
{
    const auto it = entries.find(nameOrAlias);
    if (it != entries.end())
        return &*it;
    for (Entry &entry : entries) {
        if (entry.name.compare(nameOrAlias, Qt::CaseInsensitive) == 0
            || entry.alias.compare(nameOrAlias, Qt::CaseInsensitive) == 0)
            return &entry;
    }
    return nullptr;
}

QJsonObject HealthMonitor::deviceJson(Entry &entry)
{
    QJsonObject json = entry.health.toJson(clock());
    json.insert(QStringLiteral("name"), entry.name);
    json.insert(QStringLiteral("alias"), entry.alias);
    json.insert(QStringLiteral("listed"), !entry.device.isNull());
    return json;
}

QJsonObject HealthMonitor::controllerJson() const
{
    return QJsonObject::fromVariantMap(controllerFigures());
}

QVariantMap HealthMonitor::controllerFigures() const
{
    const auto round = [](double value) { return std::round(value * 10.0) / 10.0; };
    return {{QStringLiteral("cpu_percent"), round(cpuPercent)}, {QStringLiteral("cpu_seconds"), round(cpuSeconds())},
        {QStringLiteral("event_loop_lag_ms"), lagMs},
        {QStringLiteral("clients"),
            QVariantMap {{QStringLiteral("line"), lineClients()}, {QStringLiteral("websocket"), webClients()},
                {QStringLiteral("mqtt"), mqttConnected() ? 1 : 0}}},
        {QStringLiteral("mqtt"),
            !mqttEnabled() ? QStringLiteral("off")
                           : (mqttConnected() ? QStringLiteral("connected") : QStringLiteral("disconnected"))},
        {QStringLiteral("records"), entries.size()}, {QStringLiteral("record_bytes"), recordBytes() * entries.size()},
        {QStringLiteral("resident_memory_bytes"), residentMemoryBytes()},
        {QStringLiteral("settings_saved"), saved}, {QStringLiteral("settings_save_failures"), saveFailures}};
}

qint64 HealthMonitor::residentMemoryBytes() const
{
    return platform::residentMemoryBytes();
}

qint64 HealthMonitor::recordBytes()
{
    // The entry with its hash node, and the names it holds (aliases are short).
    return qint64(sizeof(Entry)) + 64 + 2 * 64;
}

QVariantList HealthMonitor::devices()
{
    const qint64 time = clock();
    QVariantList list;
    for (Entry *entry : ranked()) {
        DeviceHealth &health = entry->health;
        QVariantList timeline;
        for (double share : health.availabilityTimeline(time))
            timeline.append(share);
        QVariantList rtts;
        for (int rtt : health.rttTimeline(time))
            rtts.append(rtt);
        list.append(QVariantMap {{QStringLiteral("name"), entry->name}, {QStringLiteral("alias"), entry->alias},
            {QStringLiteral("kind"), health.kind()}, {QStringLiteral("online"), health.online()},
            {QStringLiteral("availability"), health.availability(time)},
            {QStringLiteral("rttMedian"), health.rttPercentile(50)},
            {QStringLiteral("rttP95"), health.rttPercentile(95)},
            {QStringLiteral("failed"), double(health.failedCommands() + health.refusedCommands())},
            {QStringLiteral("reconnections"), health.reconnections()}, {QStringLiteral("drifts"), health.drifts()},
            {QStringLiteral("outages"), health.outages(time).size()}, {QStringLiteral("fps"), health.previewFps()},
            {QStringLiteral("timeline"), timeline}, {QStringLiteral("rttTimeline"), rtts}});
    }
    return list;
}
