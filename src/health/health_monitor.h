#pragma once

#include "health/device_health.h"
#include "models/device_base.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>

#include <array>
#include <ctime>
#include <functional>

class DeviceListModel;
class DeviceManager;
class SceneService;

// Figures of the controller that other parts own; the composition hands over how to read them.
struct ControllerProbes
{
    std::function<int()> lineClients;
    std::function<int()> webClients;
    std::function<bool()> mqttEnabled;
    std::function<bool()> mqttConnected;
};

// The health of every encoder and decoder and of the controller itself, as the window's
// Health page, the API's "health" and the metrics read it. It follows the manager's devices
// for the life of the program and keeps each one's record after the device is gone, so that
// a device that vanished can still be looked up. GUI thread only.
class HealthMonitor : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVariantMap controller READ controllerFigures NOTIFY updated)

public:
    // Controller figures and encoder frame rates are taken this often.
    static constexpr int SAMPLE_MS = 10000;
    // The event loop is asked to run a timer this often; the lateness is its lag.
    static constexpr int LAG_PROBE_MS = 250;
    // Records of devices that are gone are dropped, oldest change first, past this many.
    static constexpr int MAX_RECORDS = 4096;
    // Upper bounds of the recall duration histogram, in seconds.
    static constexpr std::array<int, 8> RECALL_BOUNDS_S {1, 2, 5, 10, 30, 60, 120, 300};

    using Clock = std::function<qint64()>;

    // Both outlive the monitor; the clock gives milliseconds since the epoch (the system's
    // clock when none is given).
    HealthMonitor(DeviceManager *manager, SceneService *scenes, Clock clock = Clock(), QObject *parent = nullptr);

    void setProbes(const ControllerProbes &probes) { this->probes = probes; }
    void start();

    struct Entry
    {
        QString name;
        QString alias;
        DeviceHealth health;
        QPointer<DeviceBase> device;
        // Encoders: frames decoded and cut at the last sample.
        quint64 decoded = 0;
        quint64 decodedBefore = 0;
        quint64 cutBefore = 0;
        qint64 sampledAt = 0;
    };
    // Records by device name, worst first: offline ones, then by availability, failures and
    // round-trip time.
    QVector<Entry *> ranked();
    QHash<QString, Entry> &records() { return entries; }
    // By device name or alias, without regard to case; null when none.
    Entry *find(const QString &nameOrAlias);
    qint64 now() const { return clock(); }

    QJsonObject deviceJson(Entry &entry);
    QJsonObject controllerJson() const;

    struct RecallFigures
    {
        QMap<QString, quint64> outcomes;
        std::array<quint64, RECALL_BOUNDS_S.size() + 1> buckets {};
        double sumSeconds = 0;
    };
    const RecallFigures &recalls() const { return recallFigures; }
    double cpuSeconds() const { return double(std::clock()) / CLOCKS_PER_SEC; }
    double cpuShare() const { return cpuPercent; }
    int eventLoopLagMs() const { return lagMs; }
    // Resident memory of the process, in bytes; -1 where the system cannot tell.
    qint64 residentMemoryBytes() const;
    // Times saving the settings started to fail; a save that keeps failing counts once.
    quint64 settingsSaveFailures() const { return saveFailures; }
    bool settingsSaved() const { return saved; }
    int lineClients() const { return probes.lineClients ? probes.lineClients() : 0; }
    int webClients() const { return probes.webClients ? probes.webClients() : 0; }
    bool mqttEnabled() const { return probes.mqttEnabled && probes.mqttEnabled(); }
    bool mqttConnected() const { return probes.mqttConnected && probes.mqttConnected(); }
    // Bytes one record takes at most, for the memory a whole installation's history costs.
    static qint64 recordBytes();

    // For the Health page: every device worst first, each {name, alias, kind, online,
    // availability, rttMedian, rttP95, failed, reconnections, drifts, outages, timeline,
    // rttTimeline}.
    Q_INVOKABLE QVariantList devices();
    QVariantMap controllerFigures() const;

public slots:
    // What the sample timer runs: controller figures and encoder frame rates.
    void sample();
    // What the lag probe runs; elapsedMs is the time since the probe before.
    void onLagProbe(qint64 elapsedMs);

signals:
    void updated();

private:
    void watchList(DeviceListModel *list);
    void watch(DeviceBase *device);
    Entry &entryFor(DeviceBase *device, const QString &kind);
    void prune();
    void onRecallStateChanged();
    void onRecallFinished();

    DeviceManager *manager;
    SceneService *scenes;
    Clock clock;
    ControllerProbes probes;
    QHash<QString, Entry> entries;
    QSet<DeviceBase *> watched;
    QTimer sampleTimer;
    QTimer lagTimer;
    QElapsedTimer lagClock;
    int lagMax = 0;
    int lagMs = 0;
    double cpuBefore = 0;
    qint64 cpuSampledAt = 0;
    double cpuPercent = 0;
    quint64 saveFailures = 0;
    bool saved = true;
    QElapsedTimer recallClock;
    RecallFigures recallFigures;
};
