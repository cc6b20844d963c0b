// mqtt_bridge_bench: the made-up installation grown to 250 decoders, bridged to a mosquitto
// broker that this program starts on loopback, and watched through a second client:
//  - a route made through the manager (as the window makes it) until the retained source
//    arrives at the watcher;
//  - a route to all 250 decoders until the last of the 250 sources arrives;
//  - the broker killed and started again until the bridge has published its state anew.
// Run it through run.sh (a namespace of its own: the manager looks for devices).
#include "../bench_support.h"
#include "base/oem_setting.h"
#include "bridge/mqtt_bridge.h"
#include "bridge/mqtt_client.h"
#include "control/command_set.h"
#include "discovery/device_discovery_response.h"
#include "discovery/discovery_record.h"
#include "manager/device_manager.h"
#include "manager/device_registry.h"
#include "models/device_list_model.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

namespace {

constexpr quint16 PORT = 18839;
constexpr int DECODERS = 250;
constexpr int ROUNDS = 20;

// Runs the event loop until `done` holds or `ms` pass; the time taken, or -1.
double waitUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return -1;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return double(clock.nsecsElapsed()) / 1e6;
}

bool startBroker(QProcess *broker, const QString &config)
{
    broker->start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), config});
    return broker->waitForStarted(5000)
        && waitUntil(
               [] {
                   return QProcess::execute(QStringLiteral("mosquitto_pub"),
                              {QStringLiteral("-p"), QString::number(PORT), QStringLiteral("-t"),
                                  QStringLiteral("probe"), QStringLiteral("-n")})
                       == 0;
               },
               5000)
        >= 0;
}

// The made-up installation's encoder "TX - n".
QString encoderName(int n)
{
    return QStringLiteral("IPE9DEMO-7C2E0DFF%1").arg(n, 4, 10, QLatin1Char('0'));
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    const QString config = home.filePath(QStringLiteral("mosquitto.conf"));
    QFile file(config);
    file.open(QIODevice::WriteOnly);
    file.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\nuser root\n")
                   .arg(PORT)
                   .toUtf8());
    file.close();
    QProcess broker;
    if (!startBroker(&broker, config)) {
        out() << "the broker did not start\n";
        return 1;
    }

    OemSetting oem;
    DeviceManager manager(&oem);
    manager.enterDemoMode();
    for (int i = manager.rxlist()->rowCount(); i < DECODERS + 3; ++i) {
        const QString name = QStringLiteral("IPD9DEMO-7C2E0DFD%1").arg(i, 4, 16, QLatin1Char('0')).toUpper();
        const auto record = DeviceDiscoveryResponse::parse(makeDiscoveryRecord(name, name), QHostAddress(), -1);
        if (!record) {
            out() << "no record for " << name << "\n";
            return 1;
        }
        manager.rxlist()->addDevice(DeviceRegistry::createDevice(record), -1);
    }
    CommandSet core(&manager);
    int decoders = core.state().value(QStringLiteral("decoders")).toArray().size();

    MqttSettings settings;
    settings.enabled = true;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = PORT;
    settings.site = QStringLiteral("bench");
    MqttBridge bridge(&core, manager.settingsStore());
    bridge.start(settings);
    MqttSettings watching = settings;
    watching.clientId = QStringLiteral("bench-watcher");
    MqttClient watcher;
    QHash<QString, QByteArray> seen;
    QObject::connect(&watcher, &MqttClient::messageReceived, &watcher,
        [&seen](const QString &topic, const QByteArray &payload) { seen.insert(topic, payload); });
    watcher.start(
        watching, QStringLiteral("bench/watcher"), "gone", {QStringLiteral("zentrova/bench/decoder/+/source")});
    const QString root = settings.topicRoot();
    if (waitUntil([&] { return watcher.isConnected() && bridge.isConnected() && seen.size() >= decoders; }, 10000)
        < 0) {
        out() << "the bridge's state did not arrive: " << seen.size() << " of " << decoders << " sources\n";
        return 1;
    }
    out() << "decoders: " << decoders << ", retained topics: " << bridge.published().size() << "\n";

    // One decoder, as the window routes it.
    const QString target = QStringLiteral("IPD9DEMO-7C2E0DFE0001");
    const QString topic = root + QStringLiteral("/decoder/") + target + QStringLiteral("/source");
    QList<double> single;
    for (int round = 0; round < ROUNDS; ++round) {
        const QString encoder = QStringLiteral("TX - %1").arg(round % 2 + 1);
        QElapsedTimer clock;
        clock.start();
        manager.routeSource(encoderName(round % 2 + 1), target);
        if (waitUntil([&] { return seen.value(topic) == encoder.toUtf8(); }, 5000) < 0) {
            out() << "route " << round << " never arrived\n";
            return 1;
        }
        single << double(clock.nsecsElapsed()) / 1e6;
    }
    std::sort(single.begin(), single.end());
    out() << "route in the window -> retained source at a subscriber: median " << single.at(ROUNDS / 2) << " ms, worst "
          << single.last() << " ms (goal 50 ms)\n";

    // Every decoder at once.
    const QString encoder = QStringLiteral("TX - 3");
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = cpuSeconds();
    manager.routeSourceToAll(encoderName(3));
    const auto allArrived = [&] {
        int count = 0;
        for (const QByteArray &payload : qAsConst(seen))
            count += payload == encoder.toUtf8();
        return count >= decoders;
    };
    if (waitUntil(allArrived, 10000) < 0) {
        out() << "the route to all never arrived in full\n";
        return 1;
    }
    out() << "route to all " << decoders
          << " decoders -> last source at a subscriber: " << double(clock.nsecsElapsed()) / 1e6
          << " ms (goal 1000 ms), CPU " << (cpuSeconds() - cpuBefore) * 1000 << " ms\n";

    // The broker dies and comes back empty (no persistence): the bridge must fill it again.
    broker.kill();
    broker.waitForFinished(5000);
    waitUntil([&] { return !bridge.isConnected(); }, 5000);
    int republished = 0;
    QObject::connect(&bridge, &MqttBridge::publishedChanges, &bridge, [&republished](int count) {
        if (republished == 0)
            republished = count;
    });
    clock.restart();
    if (!startBroker(&broker, config)) {
        out() << "the broker did not start again\n";
        return 1;
    }
    const double brokerUp = double(clock.nsecsElapsed()) / 1e6;
    if (waitUntil([&] { return republished > 0; }, 60000) < 0) {
        out() << "the bridge did not publish again within 60 s\n";
        return 1;
    }
    out() << "broker restart -> state republished: " << double(clock.nsecsElapsed()) / 1e6
          << " ms after the restart (broker listening after " << brokerUp << " ms; goal 5000 ms), " << republished
          << " messages\n";
    bridge.stop();
    watcher.stop("gone");
    broker.terminate();
    broker.waitForFinished(5000);
    out().flush();
    return 0;
}
