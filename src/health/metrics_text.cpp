#include "health/metrics_text.h"

#include "health/health_monitor.h"

#include <QMap>

#include <algorithm>
#include <cmath>

namespace metricstext {

namespace {

QByteArray number(double value)
{
    if (std::isnan(value))
        return QByteArrayLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QByteArrayLiteral("+Inf") : QByteArrayLiteral("-Inf");
    return QByteArray::number(value, 'g', 15);
}

// Collects one family's samples so that its HELP and TYPE come once, right before them.
class Family
{
public:
    Family(QByteArray &out, const char *name, const char *type, const char *help)
        : out(out)
        , name(name)
    {
        out += "# HELP " + this->name + ' ' + help + "\n# TYPE " + this->name + ' ' + type + '\n';
    }
    void sample(const QByteArray &labels, double value, const char *suffix = "")
    {
        out += name + suffix;
        if (!labels.isEmpty())
            out += '{' + labels + '}';
        out += ' ' + number(value) + '\n';
    }
    // Cumulative counts per upper bound (the last one +Inf), then the sum and count.
    template <typename Bounds, typename Counts>
    void histogram(const QByteArray &labels, const Bounds &bounds, double scale, const Counts &counts, double sum)
    {
        const QByteArray prefix = labels.isEmpty() ? QByteArray() : labels + ',';
        for (size_t i = 0; i < counts.size(); ++i) {
            const QByteArray le = i < bounds.size() ? number(bounds[i] * scale) : QByteArrayLiteral("+Inf");
            sample(prefix + "le=\"" + le + '"', double(counts[i]), "_bucket");
        }
        sample(labels, sum, "_sum");
        sample(labels, double(counts.back()), "_count");
    }

private:
    QByteArray &out;
    QByteArray name;
};

QByteArray deviceLabels(const HealthMonitor::Entry &entry)
{
    return "device=\"" + labelValue(entry.name) + "\",alias=\"" + labelValue(entry.alias) + "\",kind=\""
        + labelValue(entry.health.kind()) + '"';
}

} // namespace

QByteArray labelValue(const QString &value)
{
    QByteArray escaped;
    const QByteArray utf8 = value.toUtf8();
    escaped.reserve(utf8.size());
    for (const char c : utf8) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '"')
            escaped += "\\\"";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

QByteArray render(HealthMonitor &monitor)
{
    QByteArray out;
    const qint64 now = monitor.now();
    // Listed devices only: a record kept for a device that is gone is history, not state.
    QVector<HealthMonitor::Entry *> listed;
    QMap<QString, QPair<int, int>> byKind {{QStringLiteral("decoder"), {0, 0}}, {QStringLiteral("encoder"), {0, 0}}};
    for (HealthMonitor::Entry &entry : monitor.records()) {
        if (!entry.device)
            continue;
        listed.append(&entry);
        auto &count = byKind[entry.health.kind()];
        ++count.first;
        if (entry.health.online())
            ++count.second;
    }
    std::sort(listed.begin(), listed.end(),
        [](const HealthMonitor::Entry *a, const HealthMonitor::Entry *b) { return a->name < b->name; });
    out.reserve(600 + listed.size() * 2400);

    Family devices(out, "zentrova_devices", "gauge", "Encoders and decoders listed, by kind.");
    for (auto it = byKind.cbegin(); it != byKind.cend(); ++it)
        devices.sample("kind=\"" + labelValue(it.key()) + '"', it->first);
    Family online(out, "zentrova_devices_online", "gauge", "Encoders and decoders online, by kind.");
    for (auto it = byKind.cbegin(); it != byKind.cend(); ++it)
        online.sample("kind=\"" + labelValue(it.key()) + '"', it->second);

    Family up(out, "zentrova_device_up", "gauge", "1 while the device answers discovery, 0 while it is offline.");
    for (const auto *entry : listed)
        up.sample(deviceLabels(*entry), entry->health.online() ? 1 : 0);
    Family availability(
        out, "zentrova_device_availability_ratio", "gauge", "Share of the last 24 hours the device was online.");
    for (auto *entry : listed)
        availability.sample(deviceLabels(*entry), entry->health.availability(now));
    Family offline(out, "zentrova_device_offline_transitions_total", "counter", "Times the device went offline.");
    for (const auto *entry : listed)
        offline.sample(deviceLabels(*entry), entry->health.offlineTransitions());

    QVector<HealthMonitor::Entry *> decoders;
    QVector<HealthMonitor::Entry *> encoders;
    for (auto *entry : listed)
        (entry->health.kind() == QLatin1String("decoder") ? decoders : encoders).append(entry);

    Family rtt(out, "zentrova_device_command_duration_seconds", "histogram",
        "Time from sending a shell command to a decoder to its complete answer.");
    for (const auto *entry : decoders)
        rtt.histogram(deviceLabels(*entry), DeviceHealth::RTT_BOUNDS_MS, 0.001, entry->health.rttHistogram(),
            double(entry->health.rttSumMs()) / 1000.0);
    Family failures(out, "zentrova_device_command_failures_total", "counter",
        "Decoder commands refused before sending (refused) or given up without an answer (failed).");
    for (const auto *entry : decoders) {
        failures.sample(deviceLabels(*entry) + ",reason=\"failed\"", double(entry->health.failedCommands()));
        failures.sample(deviceLabels(*entry) + ",reason=\"refused\"", double(entry->health.refusedCommands()));
    }
    Family reconnections(
        out, "zentrova_device_reconnections_total", "counter", "Times the telnet link to a decoder was made again.");
    for (const auto *entry : decoders)
        reconnections.sample(deviceLabels(*entry), entry->health.reconnections());
    Family drift(out, "zentrova_device_drift_events_total", "counter",
        "Times a decoder kept showing another source than the one routed to it.");
    for (const auto *entry : decoders)
        drift.sample(deviceLabels(*entry), entry->health.drifts());
    Family fps(out, "zentrova_encoder_preview_fps", "gauge", "Frames per second of the encoder's preview stream.");
    for (const auto *entry : encoders) {
        if (entry->health.previewFps() >= 0)
            fps.sample(deviceLabels(*entry), entry->health.previewFps());
    }
    Family decoded(out, "zentrova_encoder_preview_decoded_ratio", "gauge",
        "Share of the preview's frames that were decoded for a view.");
    for (const auto *entry : encoders) {
        if (entry->health.previewDecodedShare() >= 0)
            decoded.sample(deviceLabels(*entry), entry->health.previewDecodedShare());
    }

    const HealthMonitor::RecallFigures &recalls = monitor.recalls();
    Family recallCount(out, "zentrova_scene_recalls_total", "counter", "Scene recalls finished, by outcome.");
    for (const char *outcome : {"confirmed", "partial", "failed"})
        recallCount.sample(
            QByteArray("outcome=\"") + outcome + '"', double(recalls.outcomes.value(QString::fromLatin1(outcome))));
    Family recallTime(out, "zentrova_scene_recall_duration_seconds", "histogram",
        "Time from a scene recall's start to its last decoder's answer.");
    recallTime.histogram(QByteArray(), HealthMonitor::RECALL_BOUNDS_S, 1.0, recalls.buckets, recalls.sumSeconds);

    Family clients(out, "zentrova_clients", "gauge", "Clients connected to the controller, by way in.");
    clients.sample("way=\"line\"", monitor.lineClients());
    clients.sample("way=\"websocket\"", monitor.webClients());
    Family mqtt(out, "zentrova_mqtt_connected", "gauge", "1 while the MQTT bridge is connected to its broker.");
    mqtt.sample(QByteArray(), monitor.mqttConnected() ? 1 : 0);
    Family lag(out, "zentrova_event_loop_lag_seconds", "gauge",
        "Longest delay of the window thread's event loop over the last sample period.");
    lag.sample(QByteArray(), monitor.eventLoopLagMs() / 1000.0);
    Family cpu(out, "zentrova_process_cpu_seconds_total", "counter", "Processor time the controller has used.");
    cpu.sample(QByteArray(), monitor.cpuSeconds());
    const qint64 resident = monitor.residentMemoryBytes();
    if (resident >= 0) {
        Family memory(out, "zentrova_resident_memory_bytes", "gauge", "Memory of the controller held in RAM.");
        memory.sample(QByteArray(), double(resident));
    }
    Family saves(out, "zentrova_settings_save_failures_total", "counter",
        "Times saving the settings started to fail; a save that keeps failing counts once.");
    saves.sample(QByteArray(), double(monitor.settingsSaveFailures()));
    return out;
}

} // namespace metricstext
