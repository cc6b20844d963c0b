#include "base/oem_setting.h"
#include "control/command_set.h"
#include "health/device_health.h"
#include "health/diagnostics.h"
#include "health/health_commands.h"
#include "health/health_monitor.h"
#include "health/metrics_page.h"
#include "health/metrics_text.h"
#include "manager/configuration_file.h"
#include "manager/device_manager.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/tx_device.h"
#include "null_surface.h"
#include "qttelnet/qt_telnet.h"
#include "remote/remote_service.h"
#include "scenes/scene_service.h"
#include "scripted_shell_peer.h"
#include "test_files.h"
#include "test_home.h"
#include "test_mjpeg.h"
#include "test_records.h"
#include "video/mini_video_source.h"
#include "video/qimage_grabber_mjpeg.h"


#include <QtTest>

namespace {

// (minutes after T0, online) changes.
using Changes = QVector<QPair<int, bool>>;
constexpr qint64 MINUTE = 60 * 1000;
constexpr qint64 HOUR = 60 * MINUTE;
// A slot boundary, so that the slot arithmetic below is exact.
constexpr qint64 T0 = 1700000000000 / DeviceHealth::SLOT_MS * DeviceHealth::SLOT_MS;

// What Prometheus itself finds wrong with the metrics text (its parser and its lint), or
// empty.
QString promtoolProblem(const QByteArray &text)
{
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty())
        return QStringLiteral("promtool is not installed (scripts/install-deps)");
    QProcess process;
    process.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
    process.write(text);
    process.closeWriteChannel();
    if (process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return QString();
    return "promtool: " + QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

bool idle(const RxDevice &device)
{
    return device.state() == RxDevice::Ready && device.pendingCommandCount() == 0;
}

} // namespace

class TestHealth : public QObject
{
    Q_OBJECT

private slots:
    // Outages and availability over a played-through day, one scenario per row: each row is
    // a list of (minutes after T0, online) changes, then the time it is read at.
    void outagesAndAvailability_data()
    {
        QTest::addColumn<Changes>("changes");
        QTest::addColumn<int>("readAt");
        QTest::addColumn<QVector<int>>("outageSeconds");
        QTest::addColumn<double>("availability");

        QTest::newRow("one outage of half an hour") << Changes {{60, false}, {90, true}} << 120 << QVector<int> {1800} << 0.75;
        // An outage that lasts is counted up to now.
        QTest::newRow("still out") << Changes {{30, false}} << 120 << QVector<int> {5400} << 0.25;
        QTest::newRow("a repeated state is no change") << Changes {{10, true}, {20, false}, {25, false}, {40, true},
            {45, true}} << 60 << QVector<int> {1200} << 40.0 / 60.0;
        // A day and more later, only the last day counts: the old outage is gone from both.
        QTest::newRow("older than a day") << Changes {{60, false}, {120, true}} << (26 * 60) << QVector<int> {} << 1.0;
        QTest::newRow("across a slot boundary") << Changes {{14, false}, {16, true}} << 30 << QVector<int> {120} << 28.0 / 30.0;
    }
    void outagesAndAvailability()
    {
        QFETCH(Changes, changes);
        QFETCH(int, readAt);
        QFETCH(QVector<int>, outageSeconds);
        QFETCH(double, availability);

        DeviceHealth health(QStringLiteral("decoder"), true, T0);
        for (const auto &change : changes)
            health.setOnline(change.second, T0 + change.first * MINUTE);
        const qint64 now = T0 + readAt * MINUTE;
        QVector<int> seconds;
        for (const QJsonValue &outage : health.toJson(now).value(QStringLiteral("outages")).toArray())
            seconds.append(outage.toObject().value(QStringLiteral("seconds")).toInt());
        QCOMPARE(seconds, outageSeconds);
        QVERIFY2(qAbs(health.availability(now) - availability) < 1e-6, qPrintable(QString::number(health.availability(now))));
    }

    // The timeline has a mark per slot of the day, oldest first; the newest slot is now's.
    void timeline()
    {
        DeviceHealth health(QStringLiteral("decoder"), true, T0);
        health.setOnline(false, T0 + 15 * MINUTE);
        health.setOnline(true, T0 + 30 * MINUTE);
        health.commandAnswered(40, T0 + 31 * MINUTE);
        health.commandAnswered(60, T0 + 32 * MINUTE);
        const qint64 now = T0 + 50 * MINUTE;
        const QVector<double> shares = health.availabilityTimeline(now);
        QCOMPARE(shares.size(), DeviceHealth::SLOTS);
        // Slots: [T0, +15) online, [+15, +30) offline, [+30, +45) online, [+45, +50) online.
        QCOMPARE(shares.mid(DeviceHealth::SLOTS - 4), (QVector<double> {1.0, 0.0, 1.0, 1.0}));
        QCOMPARE(shares.at(DeviceHealth::SLOTS - 5), -1.0);
        const QVector<int> rtts = health.rttTimeline(now);
        QCOMPARE(rtts.mid(DeviceHealth::SLOTS - 4), (QVector<int> {-1, -1, 50, -1}));
    }

    // Median and 95th percentile by nearest rank over the newest round trips only; the
    // histogram counts every one, cumulatively.
    void roundTrips()
    {
        DeviceHealth health(QStringLiteral("decoder"), true, T0);
        QCOMPARE(health.rttPercentile(50), -1);
        for (int i = 0; i < 1000; ++i)
            health.commandAnswered(1, T0);
        for (int ms = 1; ms <= 100; ++ms)
            health.commandAnswered(ms * 10, T0 + ms);
        // 28 ones are still among the newest 128: ranks 1..28 are 1 ms, then 10, 20, ...
        QCOMPARE(health.rttPercentile(50), (64 - 28) * 10);
        QCOMPARE(health.rttPercentile(95), (int(std::ceil(0.95 * 128)) - 28) * 10);
        QCOMPARE(health.rttPercentile(100), 1000);
        const auto &buckets = health.rttHistogram();
        QCOMPARE(buckets.front(), quint64(1001)); // le 10 ms: the ones and the first 10
        QCOMPARE(buckets.back(), quint64(1100));
        QCOMPARE(health.rttSumMs(), quint64(1000 + 50500));
        for (const bool refused : {true, false, false})
            health.commandFailed(refused, T0);
        QCOMPARE(health.refusedCommands(), quint64(1));
        QCOMPARE(health.failedCommands(), quint64(2));
    }

    // An encoder's preview rate and the share of its frames decoded, from a real stream: the
    // stream address has no port, so the encoder serves on port 80 of a loopback address of
    // this process's own.
    void encoderPreview()
    {
        const quint32 pid = quint32(QCoreApplication::applicationPid());
        const QHostAddress address((127u << 24) | ((pid & 0xffffu) << 8) | 30u);
        const auto stream = [](QTcpSocket *connection, const QByteArray &) {
            connection->write(LoopbackHttpServer::streamHead() + "--b\r\n");
            for (int i = 0; i < 6; ++i)
                connection->write(TestMjpeg::multipartPart(TestMjpeg::plain(Qt::darkCyan), "b"));
        };
        LoopbackHttpServer server(stream, address, 80);
        QVERIFY2(server.isListening(), "port 80 on loopback is needed: run the test under scripts/netless");
        TestHome home;
        OemSetting oem;
        DeviceManager manager(&oem);
        qint64 now = T0;
        HealthMonitor monitor(&manager, nullptr, [&now] { return now; });
        auto encoder = QSharedPointer<TxDevice>::create(parsedDiscoveryRecord("IPE3x-7c2e0d00aa30", QString(), address));
        manager.txlist()->addDevice(encoder, -1);
        QSignalSpy decoded(encoder->grabber(), &QImageGrabber::newImageGrabbed);
        monitor.sample();
        NullSurface surface;
        encoder->videoSource()->setVideoSurface(&surface);
        encoder->videoSource()->setSize(QSize(16, 16));
        quint64 cut = 0;
        QTRY_VERIFY_WITH_TIMEOUT((encoder->grabber()->newestJpeg(&cut), cut >= 5), 10000);
        QTRY_VERIFY(decoded.count() > 0);
        // Read again: no frame comes between here and the sample, as nothing runs the loop.
        encoder->grabber()->newestJpeg(&cut);
        now += 2000;
        monitor.sample();
        const DeviceHealth &health = monitor.find(encoder->name())->health;
        QCOMPARE(health.previewFps(), double(cut) / 2.0);
        QCOMPARE(health.previewDecodedShare(), double(decoded.count()) / double(cut));
    }

    // The whole installation's day (1,250 devices) fits in a few MiB.
    void memoryBound() { QVERIFY(HealthMonitor::recordBytes() * 1250 < 4 * 1024 * 1024); }

    // A decoder on a scripted shell, listed like a discovered one: its answers, a command it
    // never finishes and a burst past its queue reach the record, its JSON and the metrics.
    void decoderCommandsReachTheRecord()
    {
        TestHome home;
        OemSetting oem;
        DeviceManager manager(&oem);
        qint64 now = T0;
        HealthMonitor monitor(&manager, nullptr, [&now] { return now; });

        const QString name = QStringLiteral("IPD9DEMO-7C2E0DFE0001");
        auto device = QSharedPointer<RxDevice>::create(parsedDiscoveryRecord(name, QString(), QHostAddress::LocalHost));
        ScriptedShellPeer shell(device->findChild<QtTelnet *>());
        manager.rxlist()->addDevice(device, -1);
        shell.accept();
        shell.send("decoder login: ");
        shell.answerLines();
        QTRY_VERIFY(idle(*device));
        device->hideOsd();
        shell.answerLines();
        QTRY_VERIFY(idle(*device));
        HealthMonitor::Entry *entry = monitor.find(name);
        QVERIFY(entry);
        // The two reads of the login and the command.
        QCOMPARE(entry->health.rttHistogram().back(), quint64(3));
        QVERIFY(entry->health.rttPercentile(50) >= 0);

        shell.silentPrefix = "osd_show";
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("gives up on command osd_show")));
        device->showOsdSeq();
        for (int attempt = 1; attempt <= RxDevice::COMMAND_ATTEMPTS; ++attempt) {
            shell.answerLines();
            QVERIFY(QMetaObject::invokeMethod(device.data(), "onResponseTimeout"));
            QVERIFY(QMetaObject::invokeMethod(device.data(), "doReconnect"));
            shell.accept();
            shell.send("decoder login: ");
        }
        shell.answerLines();
        QTRY_VERIFY(idle(*device));
        QCOMPARE(entry->health.failedCommands(), quint64(1));
        QCOMPARE(entry->health.reconnections(), RxDevice::COMMAND_ATTEMPTS);
        // A command that cannot be put on a shell line safely never leaves.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("refuses a command")));
        device->setDisplayPower(true, QStringLiteral("on\nreboot"));
        QCOMPARE(entry->health.refusedCommands(), quint64(1));

        now += 10 * MINUTE;
        device->setOnline(false);
        now += 5 * MINUTE;
        device->setOnline(true);
        now += 5 * MINUTE;
        const QJsonObject one = monitor.deviceJson(*entry);
        QCOMPARE(one["availability"].toDouble(), 0.75);
        QCOMPARE(one["commands"]["failed"].toDouble(), 1.0);
        QCOMPARE(one["commands"]["refused"].toDouble(), 1.0);

        const QByteArray metrics = metricstext::render(monitor);
        QCOMPARE(promtoolProblem(metrics), QString());
        const QByteArray labels = "{device=\"" + name.toUtf8() + "\",alias=\"\",kind=\"decoder\"";
        QVERIFY(metrics.contains("zentrova_device_offline_transitions_total" + labels + "} 1\n"));
        QVERIFY(metrics.contains("zentrova_device_command_failures_total" + labels + ",reason=\"failed\"} 1\n"));
        QVERIFY(metrics.contains("zentrova_device_availability_ratio" + labels + "} 0.75\n"));
    }

    // The made-up installation through the API and the metrics: every device, worst first,
    // names that would break a label escaped, and wrong requests answered as such.
    void installation()
    {
        TestHome home;
        OemSetting oem;
        DeviceManager manager(&oem);
        manager.enterDemoMode();
        SceneService scenes(&manager, manager.settingsStore());
        qint64 now = T0;
        HealthMonitor monitor(&manager, &scenes, [&now] { return now; });
        CommandSet commands(&manager);
        commands.extend(QStringLiteral("health"), new HealthCommands(&monitor));
        const int listed = manager.rxlist()->deviceCount() + manager.txlist()->deviceCount();
        QVERIFY(listed > 4);

        const DeviceBasePtr flaky = manager.txlist()->at(1);
        flaky->setNameAlias(QStringLiteral("Stage \"left\" \\ cam\n2"));
        now += HOUR;
        flaky->setOnline(false);
        now += HOUR;

        const auto health = [&commands](const QJsonObject &params) {
            return commands.execute(Actor::window(), QStringLiteral("health"), params);
        };
        const RemoteAnswer all = health({});
        const QJsonArray devices = all.result["devices"].toArray();
        QCOMPARE(devices.size(), listed);
        QCOMPARE(devices.at(0)["name"].toString(), flaky->name());
        QVERIFY(all.result["controller"].toObject().contains(QStringLiteral("cpu_percent")));
        // The controller's memory moves between two calls; the devices do not.
        QCOMPARE(health({{"device", "all"}}).result["devices"].toArray(), devices);
        // By alias, whatever its case.
        QCOMPARE(health({{"device", flaky->nameAlias().toUpper()}}).result["name"].toString(), flaky->name());
        QCOMPARE(health({{"device", "nowhere"}}).code, int(NotFound));
        QCOMPARE(health({{"device", 7}}).code, int(BadArguments));
        QCOMPARE(commands.state().value("health")["offline"].toInt(), 1);

        // A drift is one event however often it is reported, until it has ended.
        const auto decoder = manager.rxlist()->findDevice(QStringLiteral("IPD9DEMO-7C2E0DFE0001"), false).objectCast<RxDevice>();
        QVERIFY(decoder);
        int reading = 0;
        for (bool drifted : {true, true, false, false, true, true}) {
            decoder->setDrifted(drifted);
            // Each read-back announces the route state again, drifted or not.
            decoder->setCurrentSource(QStringLiteral("read %1").arg(++reading));
        }
        QCOMPARE(monitor.find(decoder->name())->health.drifts(), 2);

        // The lag is the longest lateness of the probe over a sample period, then starts anew.
        for (const int late : {120, 40, -10})
            monitor.onLagProbe(HealthMonitor::LAG_PROBE_MS + late);
        monitor.sample();
        QCOMPARE(monitor.controllerJson().value(QStringLiteral("event_loop_lag_ms")).toInt(), 120);

        // Saving that fails, works again and fails anew is two failures however often each
        // attempt failed: the store tells once per episode.
        for (const bool saved : {false, true, false})
            emit manager.configurationFile()->saveStateChanged(saved, saved ? QString() : QStringLiteral("disk full"));
        const QJsonObject controller = monitor.controllerJson();
        QCOMPARE(controller.value(QStringLiteral("settings_save_failures")).toInt(), 2);
        QCOMPARE(controller.value(QStringLiteral("settings_saved")), QJsonValue(false));

        const QByteArray metrics = metricstext::render(monitor);
        QCOMPARE(promtoolProblem(metrics), QString());
        QVERIFY(metrics.contains("zentrova_event_loop_lag_seconds 0.12\n"));
        QVERIFY(metrics.contains("zentrova_settings_save_failures_total 2\n"));
        QVERIFY(QString::fromUtf8(metrics).contains(QRegularExpression("\nzentrova_resident_memory_bytes [1-9][0-9]{6,}\n")));
        QVERIFY(metrics.contains("zentrova_devices_online{kind=\"encoder\"} "
            + QByteArray::number(manager.txlist()->deviceCount() - 1) + '\n'));
        QVERIFY(metrics.contains("zentrova_device_availability_ratio{device=\"" + flaky->name().toUtf8()
            + "\",alias=\"Stage \\\"left\\\" \\\\ cam\\n2\",kind=\"encoder\"} 0.5\n"));

        // Without the token nobody reads the installation; a wrong one counts against the address.
        RemoteService service(&manager, &commands);
        MetricsPage page(&monitor, service.token(), service.throttle());
        const QHostAddress peer(QStringLiteral("192.0.2.50"));
        // No token made yet: an empty bearer must not match an empty secret.
        QCOMPARE(page.take("Bearer ", peer).status, 401);
        const QString token = service.newToken();
        QCOMPARE(page.take(QByteArray(), peer).status, 401);
        QCOMPARE(page.take("Basic " + token.toUtf8(), peer).status, 401);
        const MetricsPage::Reply good = page.take("Bearer " + token.toUtf8(), peer);
        QCOMPARE(good.status, 200);
        QVERIFY(good.body.startsWith("# HELP zentrova_devices "));
        // Guesses count against their address like every other sign-in, and never keep the
        // right token out from there.
        for (int attempt = 0; attempt < 10; ++attempt)
            QCOMPARE(page.take("Bearer guess" + QByteArray::number(attempt), peer).status, 401);
        QVERIFY(service.throttle()->failures(peer) >= 10);
        QCOMPARE(page.take("Bearer " + token.toUtf8(), peer).status, 200);
    }

    // The file for support holds what it should, and none of the secrets planted in the
    // settings, whether the window writes it (with the health record) or the command line.
    void diagnosticsArchive()
    {
        TestHome home;
        OemSetting oem;
        DeviceManager manager(&oem);
        manager.enterDemoMode();
        HealthMonitor monitor(&manager, nullptr);
        const QStringList secrets {"mqtt-pass-5a17", "lock-pass-9c2e", "salt-77b1", "hash-41d0", "nested-token-e3f8"};
        QDir(home.path()).mkpath(QStringLiteral(".zentrova"));
        const QString settings = home.path() + QStringLiteral("/.zentrova/config.json");
        QVERIFY(writeFile(settings, QStringLiteral(R"({"alias_map": {"IPD9DEMO-7C2E0DFE0001": "Foyer"},
            "mqtt": {"host": "broker.example", "password": "%1"}, "security": {"password": "%2", "salt": "%3"},
            "api": {"token_hash": "%4", "clients": [{"Token": "%5"}]}})")
                .arg(secrets.at(0), secrets.at(1), secrets.at(2), secrets.at(3), secrets.at(4)).toUtf8()));
        const QString log = home.path() + QStringLiteral("/.zentrova/zentrova.log");
        for (const QString &path : QStringList {log, log + QStringLiteral(".1")})
            QVERIFY(writeFile(path, "a line of " + path.toUtf8() + '\n'));

        // The archive's folder as tar itself unpacks it: what it refuses is not there to read.
        const auto unpack = [](const QString &archive) -> QString {
            QDir().mkpath(archive + QStringLiteral(".d"));
            QProcess::execute(QStringLiteral("tar"), {"-xf", archive, "-C", archive + QStringLiteral(".d")});
            return archive + QStringLiteral(".d/zentrova-diagnostics/");
        };

        const Diagnostics window(&monitor, QStringLiteral("~/.zentrova/config.json"),
            QStringLiteral("~/.zentrova/zentrova.log"), QStringLiteral("zentrova 1.0"));
        const QString windowArchive = home.path() + QStringLiteral("/window.tar");
        QString error;
        QVERIFY2(window.write(windowArchive, &error), qPrintable(error));
        const QString lineArchive = home.path() + QStringLiteral("/line.tar");
        QProcess copy;
        copy.start(QStringLiteral(ZENTROVA_PROGRAM), {QStringLiteral("--diagnostics"), lineArchive});
        QVERIFY(copy.waitForFinished(60000));
        QCOMPARE(copy.exitCode(), 0);

        const QStringList expected {QStringLiteral("log/zentrova.log"), QStringLiteral("log/zentrova.log.1"),
            QStringLiteral("settings.json"), QStringLiteral("versions.txt"), QStringLiteral("network.txt")};
        for (const QString &archive : {windowArchive, lineArchive}) {
            const QString folder = unpack(archive);
            for (const QString &name : expected)
                QVERIFY2(QFile::exists(folder + name), qPrintable(folder + name));
            const QByteArray bytes = readFile(archive);
            for (const QString &secret : secrets)
                QVERIFY2(!bytes.contains(secret.toUtf8()), qPrintable(secret));
            // What is not secret stays, so that support sees the installation's settings.
            const QJsonObject kept
                = QJsonDocument::fromJson(readFile(folder + QStringLiteral("settings.json"))).object();
            QCOMPARE(kept["alias_map"]["IPD9DEMO-7C2E0DFE0001"].toString(), QStringLiteral("Foyer"));
            QCOMPARE(kept["mqtt"]["host"].toString(), QStringLiteral("broker.example"));
            QVERIFY(readFile(folder + QStringLiteral("log/zentrova.log.1")).startsWith("a line of "));
            QVERIFY(readFile(folder + QStringLiteral("versions.txt")).contains("qt: " QT_VERSION_STR));
            QVERIFY(readFile(folder + QStringLiteral("network.txt")).contains("127.0.0.1/8"));
        }
        const QJsonDocument record = QJsonDocument::fromJson(readFile(unpack(windowArchive) + "health.json"));
        QCOMPARE(record["devices"].toArray().size(), monitor.records().size());
        QVERIFY(QFile::exists(unpack(lineArchive) + "health.txt"));

        // Settings that cannot be parsed cannot be told apart from their secrets: left out.
        QVERIFY(writeFile(settings, "{\"mqtt\": {\"password\": \"" + secrets.at(0).toUtf8() + "\""));
        QVERIFY(window.write(windowArchive, &error));
        QVERIFY(!readFile(windowArchive).contains(secrets.at(0).toUtf8()));
        QVERIFY(QFile::exists(unpack(windowArchive) + "settings.txt"));
    }
};

QTEST_GUILESS_MAIN(TestHealth)
#include "tst_health.moc"
