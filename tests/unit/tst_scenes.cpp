#include "base/audit_trail.h"
#include "base/json_config.h"
#include "base/name_rules.h"
#include "base/oem_setting.h"
#include "control/command_set.h"
#include "control/scene_commands.h"
#include "datagram_delivery.h"
#include "discovery/discovery_record.h"
#include "fake_clock.h"
#include "log_capture.h"
#include "manager/device_manager.h"
#include "manager/device_registry.h"
#include "manager/route_keeper.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/rx_device_base.h"
#include "models/vw_device.h"
#include "remote/api_settings.h"
#include "scenes/active_scene.h"
#include "scenes/configuration_transfer.h"
#include "scenes/scene_recall.h"
#include "scenes/scene_service.h"
#include "scenes/scene_store.h"
#include "scenes/schedule_store.h"
#include "scenes/scheduler.h"
#include "scripted_shell_peer.h"
#include "test_files.h"
#include "test_home.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>
#include <functional>
#include <memory>

namespace {

const QString TX1 = QStringLiteral("IPE9DEMO-7C2E0DFF0001");
const QString TX2 = QStringLiteral("IPE9DEMO-7C2E0DFF0002");
const QString RX1 = QStringLiteral("IPD9DEMO-7C2E0DFE0001");
const QByteArray &SWITCH = ScriptedDecoder::SWITCH;

// The token's keys, as start-up hands them to the transfer.
QStringList apiSecretKeys()
{
    return {ApiSettings::KEY_TOKEN_SALT, ApiSettings::KEY_TOKEN_HASH};
}

struct DemoSite
{
    DemoSite() { manager.enterDemoMode(); }

    QString sourceOf(const QString &name) const
    {
        const auto entry = manager.rxlist()->findDevice(name, false).objectCast<RxDeviceBase>();
        return entry ? entry->currentSource() : QStringLiteral("(none)");
    }

    TestHome home;
    OemSetting oem;
    DeviceManager manager {&oem};
    SceneService sceneService {&manager, manager.settingsStore()};
    SceneService *scenes = &sceneService;
};

// The demo installation as the control API reaches it.
struct ApiSite : DemoSite
{
    ApiSite() { core.extend(QStringLiteral("scene"), new SceneCommands(&manager, scenes)); }
    RemoteAnswer run(const QString &method, const QJsonObject &params)
    {
        return core.execute(Actor::window(), method, params);
    }

    CommandSet core {&manager};
};

const QString ENC1 = QStringLiteral("IPE3-7C2E0D00AA01");
const QString ENC2 = QStringLiteral("IPE3-7C2E0D00AA02");
const QString WALL = QStringLiteral("VW:0001:1");
using Routes = QMap<QString, QString>;

QString decoderName(int n)
{
    return QStringLiteral("IPD9-7C2E0D00000%1").arg(n);
}

// Two encoders, decoder 1 on its own and decoders 2 and 3 in a 2 x 1 wall that shows ENC1,
// each decoder's shell played by script; discovery replies come through a socket on
// loopback. The settings file is written before the controller starts.
struct LiveSite
{
    explicit LiveSite(const QByteArray &single, const QByteArray &left = ENC1.toUtf8(),
        const QByteArray &right = ENC1.toUtf8(), QJsonObject settings = QJsonObject())
    {
        QDir().mkpath(home.path() + QStringLiteral("/.zentrova"));
        settings.insert(QStringLiteral("vw"),
            QJsonArray {QJsonObject {{"name", WALL}, {"width", 2}, {"height", 1}, {"bind", ENC1},
                {"devices", QJsonArray {decoderName(2), decoderName(3)}}}});
        writeFile(configPath, QJsonDocument(settings).toJson());
        manager = std::make_unique<DeviceManager>(&oem);
        scenes = std::make_unique<SceneService>(manager.get(), manager->settingsStore(), &clock);
        receiver.bind(QHostAddress::LocalHost, 0);
        // Read as the socket signals, the encoders' replies after the decoders' were read: a
        // burst read leaves the signal to be re-armed by the read after it.
        QObject::connect(&receiver, &QUdpSocket::readyRead, manager.get(),
            [this] { manager->receiveDiscoveryResponse(&receiver); });
        for (const QStringList &pass : {QStringList {decoderName(1), decoderName(2), decoderName(3)}, {ENC1, ENC2}}) {
            QByteArrayList replies;
            for (const QString &name : pass)
                replies << makeDiscoveryRecord(name, QString());
            QVERIFY(deliverTogether(replies, receiver.localPort()));
            QTRY_VERIFY(manager->pendingRxList()->findDevice(pass.last(), false)
                || manager->txlist()->findDevice(pass.last(), false));
        }
        QTRY_VERIFY(!manager->deviceRegistry()->hasRepliesWaiting());
        const QByteArray sources[] = {single, left, right};
        const QByteArray places[] = {"0:0:0:0", "0:1:0:0", "0:1:0:1"};
        for (int n = 1; n <= 3; ++n) {
            const auto decoder = manager->pendingRxList()->findDevice(decoderName(n), false).objectCast<RxDevice>();
            QVERIFY(decoder);
            shells.push_back(std::make_unique<ScriptedDecoder>(decoder, sources[n - 1], places[n - 1]));
        }
        for (const auto &shell : shells)
            shell->connect();
        QTRY_VERIFY(manager->rxlist()->findDevice(decoderName(1), false));
        QVERIFY(manager->txlist()->findDevice(ENC2, false));
    }

    ScriptedDecoder &shell(int n) { return *shells.at(n - 1); }
    // Every shell answers what it was sent, until the controller has nothing more to say.
    void answer()
    {
        for (int round = 0; round < 3; ++round) {
            for (const auto &shell : shells)
                shell->peer.answerLines();
            QCoreApplication::processEvents();
        }
    }

    TestHome home;
    const QString configPath = home.path() + QStringLiteral("/.zentrova/config.json");
    OemSetting oem;
    FakeClock clock;
    std::unique_ptr<DeviceManager> manager;
    std::unique_ptr<SceneService> scenes;
    QUdpSocket receiver;
    std::vector<std::unique_ptr<ScriptedDecoder>> shells;
};

QVariantMap outcomes(const SceneRecall &recall)
{
    QVariantMap found;
    for (const SceneRecall::Check &check : recall.report())
        found.insert(check.decoder, SceneRecall::outcomeName(check.outcome));
    return found;
}

// A one-cell wall as an import file lists it.
QByteArray wall(const char *name, const char *cell, const char *bind)
{
    return QJsonDocument(
        QJsonObject {{"name", name}, {"width", 1}, {"height", 1}, {"bind", bind}, {"devices", QJsonArray {cell}}})
        .toJson(QJsonDocument::Compact);
}

// Outside the test class: moc takes the unbalanced brace in a raw string below for code.
void importRefusalRows()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    const QByteArray head = R"({"format":"zentrova-configuration","version":1,)";
    const auto row = [](const char *title, const QByteArray &content, const char *reason) {
        QTest::newRow(title) << content << QString(reason);
    };
    const char *notOurs = "not a configuration file of this program";
    row("broken", "{\"format\": ", notOurs);
    row("not ours", R"({"version":1})", notOurs);
    row("newer", R"({"format":"zentrova-configuration","version":2})", "newer version");
    row("unknown key", head + R"("api":{"enabled":true}})", "unknown entry \"api\"");
    row("control character in a name", head + R"("alias_map":{"IPD1":"a\u001b[2Jb"}})", "not a printable name");
    row("wall too large", head + R"("vw":[{"name":"VW:1","width":99,"height":1,"devices":[]}]})", "not a valid wall");
    row("shell in a power command", head + R"("display_power_cmd":{"on":"x\nreboot"}})", "display_power_cmd");
    row("schedule of a missing scene",
        head + R"("scenes":[],"schedules":[{"name":"s","action":"scene","scene":"Gone","time":"08:00",)"
            + R"("weekdays":[1]}]})",
        "unknown scene");
    row("a schedule on an eighth weekday",
        head + R"("scenes":[],"schedules":[{"name":"s","action":"power_on","time":"08:00","weekdays":[1,8]}]})",
        "weekdays must list days 1");
    row("a wall listed twice", head + R"("vw":[)" + wall("VW:1", "IPD1", "") + "," + wall("vw:1", "IPD2", "") + "]}",
        "\"vw:1\" is listed twice");
    row("a key path in a wall cell", head + R"("vw":[)" + wall("VW:1", "IPD1/../x", "") + "]}",
        "not a valid device name");
    row("a shell command as a wall's source", head + R"("vw":[)" + wall("VW:1", "IPD1", "TX\nreboot") + "]}",
        "cannot be sent to a decoder");
    row("secret the program does not keep", head + R"("secrets":{"security":{"password":"x","shell":"y"}}})",
        "security may hold only");
}

} // namespace

class TstScenes : public QObject
{
    Q_OBJECT

private slots:
    void activeSceneRecallAndApi()
    {
        ApiSite site;
        QVERIFY(site.manager.rxlist()->rowCount() > 2);
        site.manager.routeSourceToAll(TX1);
        QVERIFY(site.scenes->saveScene(QStringLiteral("Morning"), {}, 0));
        QTRY_COMPARE(site.scenes->activeScene(), QStringLiteral("Morning"));
        // Judged once per change, not over and over.
        QTRY_VERIFY(!site.scenes->active()->findChild<QTimer *>()->isActive());

        // A scene covering only one screen is active whatever the others show.
        site.manager.routeSource(TX2, RX1);
        QTRY_COMPARE(site.scenes->activeScene(), QString());
        QVERIFY(site.scenes->saveScene(QStringLiteral("Single"), {RX1}, 0));
        QTRY_COMPARE(site.scenes->activeScene(), QStringLiteral("Single"));

        site.manager.routeSource(TX1, RX1);
        QTRY_COMPARE(site.scenes->activeScene(), QStringLiteral("Morning"));
        QVERIFY(site.scenes->deleteScene(QStringLiteral("morning")) && site.scenes->deleteScene("Single"));
        QTRY_COMPARE(site.scenes->activeScene(), QString());

        QSignalSpy events(&site.core, &CommandSet::event);
        const auto ok = [&](const QString &method, const QJsonObject &params) {
            const RemoteAnswer answer = site.run(method, params);
            QVERIFY2(answer.ok, qPrintable(method + ": " + answer.message));
        };
        site.manager.routeSourceToAll(TX2);
        ok("scene.save", {{"name", "Blue"}, {"power", true}});
        site.manager.routeSourceToAll(TX1);
        QTRY_COMPARE(site.scenes->activeScene(), QString());

        // Handed out a few screens per event-loop turn: still under way when the call returns,
        // then finished once, with every screen routed.
        site.scenes->recaller()->setDecodersPerTurn(2);
        QSignalSpy finished(site.scenes, &SceneService::recallFinished);
        ok("scene.recall", {{"name", "blue"}});
        QVERIFY(site.scenes->recalling());
        // A second tap while the recall runs is refused, not started over.
        QCOMPARE(site.run("scene.recall", {{"name", "blue"}}).code, int(Busy));
        QVERIFY(finished.wait());
        // Once the last screen is routed, a recall that told its end too early has told it twice.
        for (int row = 0; row < site.manager.rxlist()->rowCount(); ++row)
            QTRY_COMPARE(site.sourceOf(site.manager.rxlist()->at(row)->name()), TX2);
        QCOMPARE(finished.count(), 1);
        QVERIFY(!site.scenes->recalling());
        QVERIFY(site.scenes->recaller()->confirmedCount() > 0);
        QCOMPARE(site.scenes->recaller()->confirmedCount(), site.scenes->recallTotal());
        QTRY_COMPARE(site.core.state().value("scene").toObject().value("active").toString(), QStringLiteral("Blue"));
        QStringList names;
        for (const QList<QVariant> &event : qAsConst(events))
            names << event.at(0).toString();
        QVERIFY(names.contains("scene.recall.finished") && names.contains("scene.active"));
        QCOMPARE(names.count("power"), 1);

        // A scene saved without a display-power setting leaves the displays as they are.
        site.manager.routeSourceToAll(TX1);
        ok("scene.save", {{"name", "Plain"}});
        site.manager.routeSourceToAll(TX2);
        events.clear();
        ok("scene.recall", {{"name", "plain"}});
        QVERIFY(finished.wait());
        for (int row = 0; row < site.manager.rxlist()->rowCount(); ++row)
            QCOMPARE(site.sourceOf(site.manager.rxlist()->at(row)->name()), TX1);
        for (const QList<QVariant> &event : qAsConst(events))
            QVERIFY2(event.at(0).toString() != QLatin1String("power"), "the displays were switched");

        const QList<std::pair<QString, QJsonObject>> refused {{"scene.recall", {{"name", "Green"}}},
            {"scene.save", {{"name", " "}}}, {"scene.save", {{"name", "X"}, {"targets", QJsonArray {"nobody"}}}},
            {"scene.rename", {{"name", "Blue"}}}, {"scene.retry", {}}};
        for (const auto &command : refused)
            QVERIFY2(!site.run(command.first, command.second).ok, qPrintable(command.first));
        // A wall is named by the rule of every name the window shows.
        const RemoteAnswer wall = site.run("wall.create",
            {{"name", "a\x1b[2Jb"}, {"columns", 2}, {"rows", 1},
                {"members", QJsonArray {RX1, "IPD9DEMO-7C2E0DFE0002"}}});
        QVERIFY2(wall.code == BadArguments && wall.message.startsWith("name must"), qPrintable(wall.message));
        ok("scene.rename", {{"name", "Blue"}, {"new_name", "Sky"}});
        QCOMPARE(site.run("scene.list", {}).result.toArray().first().toObject().value("name").toString(),
            QStringLiteral("Sky"));
        // Kept to some sources only, an operator shows them on any screen, and no other source.
        const Actor desk {QStringLiteral("Desk"), Actor::Role::Operator, {}, {TX1}, {}};
        QVERIFY(site.core.execute(desk, "route", {{"source", TX1}, {"target", RX1}}).ok);
        QCOMPARE(site.core.execute(desk, "route", {{"source", TX2}, {"target", RX1}}).code, int(Forbidden));
    }

    // Changed from the list, a schedule keeps its place and whether it is on; neither a new nor
    // a renamed one may take the name of another. A renamed scene is still recalled by its
    // schedules; a deleted one switches them off, and the API names them. The file keeps it all.
    void schedulesEditedInPlace()
    {
        ApiSite site;
        SceneService *scenes = site.scenes;
        // Power on at 06:00 on Mondays, as a new schedule or in the place of `replacing`.
        const auto mondays = [&](const QString &name, const QString &replacing = QString()) {
            return scenes->saveSchedule(name, 1, QString(), QStringLiteral("06:00"), 1, QString(), replacing);
        };
        QVERIFY(scenes->saveSchedule("Wake", 1, QString(), QStringLiteral("07:30"), 0x1f, QString()));
        QVERIFY(scenes->saveSchedule("Night", 2, QString(), QString(), 0, QStringLiteral("2099-01-01T22:00")));
        QVERIFY(!mondays("night") && scenes->setScheduleEnabled(QStringLiteral("wake"), false));
        QVERIFY(!mondays("NIGHT", "Wake") && mondays("Rise", "Wake") && !mondays("Again", "Wake"));
        const QVector<Schedule> list = scenes->scheduleStore()->records();
        QCOMPARE(list.size(), 2);
        QCOMPARE(std::make_tuple(list.at(0).name, list.at(0).time, list.at(0).enabled, list.at(1).name),
            std::make_tuple(QStringLiteral("Rise"), QTime(6, 0), false, QStringLiteral("Night")));

        QVERIFY(scenes->saveScene("Day", {}, 0) && scenes->saveScene("Dark", {}, int(Scene::Power::Off)));
        QVERIFY(scenes->saveSchedule("Dawn", 0, "day", "07:00", 1, {}));
        QVERIFY(scenes->renameScene("DAY", "Tag 🌅"));
        QCOMPARE(scenes->scheduleStore()->find("Dawn")->scene, QStringLiteral("Tag 🌅"));
        QCOMPARE(scenes->schedulesRecalling("tag 🌅"), QStringList {"Dawn"});
        const RemoteAnswer deleted = site.run("scene.delete", {{"name", "Tag 🌅"}});
        QVERIFY2(deleted.ok, qPrintable(deleted.message));
        QCOMPARE(deleted.result.toObject().value("schedules_off").toArray(), QJsonArray {"Dawn"});
        const ScheduleStore stored(site.manager.settingsStore());
        QVERIFY(!stored.find("Dawn")->enabled && stored.find("Night")->enabled && stored.find("Rise"));
        QCOMPARE(SceneStore(site.manager.settingsStore()).find("Dark")->power, Scene::Power::Off);
    }

    void importRoundTrip()
    {
        TestHome home;
        const QString exported = home.path() + QStringLiteral("/site.json");
        QJsonObject original;
        {
            // The second schedule switches the displays off: display power needs no scene.
            QVERIFY(writeFile(home.path() + QStringLiteral("/a.json"),
                R"({"alias_map":{"IPD1-01":"Lobby"},"orders":{"IPD1-01":3},"display_power_cmd":{"on":"10:04"},
                "security":{"password":"hash"},"scenes":[{"name":"Day","sources":{"IPD1-01":"IPE1-01"}}],
                "vw":[{"name":"VW:1:2","width":2,"height":1,"bind":"","devices":["IPD1-01","IPD1-02"]}],
                "schedules":[{"name":"d","action":"scene","scene":"Day","time":"08:00","weekdays":[1]},
                    {"name":"night","action":"power_off","time":"22:00","weekdays":[1,2,3,4,5]}]})"));
            JsonConfig config(home.path() + QStringLiteral("/a.json"), false);
            ConfigurationTransfer transfer(&config, apiSecretKeys());
            QVERIFY(transfer.exportTo(QUrl::fromLocalFile(exported).toString(), false));
            original = transfer.exportDocument(false);
            QVERIFY(!readFile(exported).contains("hash"));
        }
        JsonConfig target(home.path() + QStringLiteral("/b.json"), false);
        target.setValue(QStringLiteral("security/password"), QStringLiteral("kept"));
        target.setValue(Scheduler::LAST_CHECK_KEY, QStringLiteral("2020-01-01T00:00:00Z"));
        ConfigurationTransfer transfer(&target, apiSecretKeys());
        QSignalSpy imported(&transfer, &ConfigurationTransfer::imported);
        // Checking changes nothing; only the import itself does.
        QVERIFY2(transfer.check(QUrl::fromLocalFile(exported).toString()), qPrintable(transfer.lastMessage()));
        QVERIFY(transfer.lastSucceeded() && imported.isEmpty() && !target.isReadOnly());
        const QDateTime importedAt = QDateTime::currentDateTimeUtc().addSecs(-1);
        QVERIFY2(transfer.importFrom(exported), qPrintable(transfer.lastMessage()));
        QCOMPARE(imported.count(), 1);
        // The imported schedules count nothing before the import as missed.
        QVERIFY(QDateTime::fromString(target.value(Scheduler::LAST_CHECK_KEY, QString()), Qt::ISODate) >= importedAt);
        QCOMPARE(transfer.exportDocument(false), original);
        QCOMPARE(target.value(QStringLiteral("security/password"), QString()), QStringLiteral("kept"));
        QCOMPARE(QDir(home.path()).entryList({QStringLiteral("b.json.before-import-*")}).size(), 1);
    }

    void importRefusals_data() { importRefusalRows(); }

    void importRefusals()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        TestHome home;
        const QString path = home.path() + QStringLiteral("/config.json");
        JsonConfig config(path, false);
        config.setValue(QStringLiteral("alias_map/IPD1"), QStringLiteral("Lobby"));
        const QByteArray before = readFile(path);
        const QString file = home.path() + QStringLiteral("/import.json");
        QVERIFY(writeFile(file, content));
        ConfigurationTransfer transfer(&config, apiSecretKeys());
        QSignalSpy imported(&transfer, &ConfigurationTransfer::imported);
        // The check before the question refuses as the import itself does.
        QVERIFY(!transfer.check(file));
        QVERIFY2(
            transfer.lastMessage().contains(reason) && !transfer.lastSucceeded(), qPrintable(transfer.lastMessage()));
        QVERIFY(!transfer.importFrom(file));
        QVERIFY2(transfer.lastMessage().contains(reason), qPrintable(transfer.lastMessage()));
        QCOMPARE(imported.count(), 0);
        QCOMPARE(readFile(path), before);
        QCOMPARE(config.value(QStringLiteral("alias_map/IPD1"), QString()), QStringLiteral("Lobby"));
        QCOMPARE(QDir(home.path()).entryList({QStringLiteral("*.before-import-*")}).size(), 0);
    }

    // Schedules falling due together, or during a recall, wait for it and run in order; one
    // that cannot run is told to the API and shown in the schedule list.
    void schedulesDueTogether_data()
    {
        QTest::addColumn<QStringList>("due"); // name, scene, all at 08:00
        QTest::addColumn<QString>("manual");
        QTest::addColumn<QString>("deleted");
        QTest::addColumn<QStringList>("recalled"); // who recalled which scene, as the audit trail names them
        QTest::addColumn<QString>("missed");
        QTest::addColumn<int>("late"); // seconds after 08:00 of the first tick
        const QStringList both {"Lobby", "Blue", "Hall", "Red"};
        QTest::newRow("two at the same minute")
            << both << QString() << QString() << QStringList {"schedule:Lobby Blue", "schedule:Hall Red"} << QString()
            << 0;
        QTest::newRow("due during a recall by hand")
            << QStringList {"Hall", "Red"} << "Blue" << QString() << QStringList {"window Blue", "schedule:Hall Red"}
            << QString() << 0;
        // Deleting the scene switched its schedule off: nothing is due, nothing missed.
        QTest::newRow("its scene deleted")
            << both << QString() << "Blue" << QStringList {"schedule:Hall Red"} << QString() << 0;
        QTest::newRow("the clock jumped over it")
            << QStringList {"Lobby", "Blue"} << QString() << QString() << QStringList()
            << "Lobby: missed at 08:00: the controller was held up, or its clock jumped" << 300;
    }

    void schedulesDueTogether()
    {
        QFETCH(QStringList, due);
        QFETCH(QString, manual);
        QFETCH(QString, deleted);
        QFETCH(QStringList, recalled);
        QFETCH(QString, missed);
        QFETCH(int, late);

        DemoSite site;
        AuditTrail trail(site.home.path() + QStringLiteral("/audit.jsonl"));
        AuditTrail::install(&trail);
        const auto uninstall = qScopeGuard([] { AuditTrail::install(nullptr); });
        FakeClock clock;
        clock.timeZone = QTimeZone("Europe/Berlin");
        clock.time = QDateTime::fromString("2026-03-02T06:58:00Z", Qt::ISODate);
        SceneService scenes(&site.manager, site.manager.settingsStore(), &clock);
        CommandSet core(&site.manager);
        core.extend(QStringLiteral("scene"), new SceneCommands(&site.manager, &scenes));
        QSignalSpy events(&core, &CommandSet::event);
        site.manager.routeSourceToAll(TX1);
        QVERIFY(scenes.saveScene(QStringLiteral("Blue"), {}, 0));
        site.manager.routeSourceToAll(TX2);
        QVERIFY(scenes.saveScene(QStringLiteral("Red"), {}, 0));
        for (int i = 0; i + 1 < due.size(); i += 2)
            QVERIFY(scenes.saveSchedule(due.at(i), 0, due.at(i + 1), QStringLiteral("08:00"), Schedule::ALL_DAYS, {}));
        if (!deleted.isEmpty())
            QVERIFY(scenes.deleteScene(deleted));
        // Each recall takes several turns of the event loop.
        scenes.recaller()->setDecodersPerTurn(1);
        QStringList ran, recalledScenes;
        for (const QString &recall : recalled)
            recalledScenes << recall.section(' ', 1);
        connect(&scenes, &SceneService::recallFinished, this, [&] { ran << scenes.recallingScene(); });
        scenes.startSchedules();
        if (!manual.isEmpty())
            QVERIFY(scenes.recallScene(manual));
        QSignalSpy listChanged(&scenes, &SceneService::schedulesChanged);
        clock.time = QDateTime::fromString("2026-03-02T07:00:00Z", Qt::ISODate).addSecs(late);
        scenes.scheduler()->tick();
        QTRY_COMPARE(ran, recalledScenes);
        QTRY_VERIFY(!scenes.recalling());
        QCOMPARE(scenes.waitingSchedules(), 0);
        QTRY_COMPARE(scenes.activeScene(), recalledScenes.value(recalled.size() - 1, QStringLiteral("Red")));
        QString note;
        for (const QVariant &schedule : scenes.scheduleList()) {
            const QVariantMap entry = schedule.toMap();
            if (entry.contains(QStringLiteral("missed")))
                note = entry.value(QStringLiteral("name")).toString() + QStringLiteral(": ")
                    + entry.value(QStringLiteral("missed")).toString();
        }
        QCOMPARE(note, missed);
        // The list on the page is told, so that it shows the note.
        QVERIFY(missed.isEmpty() || !listChanged.isEmpty());
        int missedEvents = 0;
        for (const QList<QVariant> &event : qAsConst(events))
            missedEvents += event.at(0).toString() == QLatin1String("schedule.missed");
        QCOMPARE(missedEvents, missed.isEmpty() ? 0 : 1);
        // The trail names the schedule that recalled each scene, and the window for one by hand.
        QStringList recalls;
        for (const QByteArray &line : readFile(trail.path()).split('\n')) {
            const QJsonObject record = QJsonDocument::fromJson(line).object();
            if (record.value("action") == QStringLiteral("scene.recall")
                && record.value("outcome") == QStringLiteral("ok"))
                recalls << record.value("actor").toString() + ' ' + record.value("target").toString();
        }
        QCOMPARE(recalls, recalled);
    }

    // Steps: "last T" (the last check the settings file keeps), "start T" and "restart T" (a new
    // scheduler at T), "walk T" (a tick every 30 s up to T), "jump T" (the clock set to T, one tick),
    // "add T" (a daily schedule at T's time saved). A time with Z is UTC, one without the zone's
    // wall-clock time; what ran is told in UTC. The settings file is written only when a
    // schedule runs or is missed, not on every tick.
    void schedules_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QByteArray>("schedule");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("due");
        QTest::addColumn<int>("missed");
        QTest::addColumn<QString>("note");
        const auto row = [](const QByteArray &title, const char *zone, const char *schedule, const QStringList &steps,
                             const QStringList &due, int missed = 0, const QString &note = QString()) {
            QTest::newRow(title.constData()) << QString(zone) << QByteArray(schedule) << steps << due << missed << note;
        };
        // 2026-03-02 is a Monday; at UTC+8 its 07:00 is still Sunday in UTC.
        for (const auto &[zone, hours] : QList<std::pair<QByteArray, int>> {{"UTC", 0}, {"Asia/Shanghai", 8}}) {
            const auto at = [h = hours](int day, int hour, int minute) {
                return QDateTime(QDate(2026, 3, day), QTime(hour, minute), Qt::UTC)
                    .addSecs(-h * 3600)
                    .toString(Qt::ISODate);
            };
            row("weekdays Mon+Wed, " + zone, zone,
                R"({"name":"m","action":"power_on","time":"07:00","weekdays":[1,3]})",
                {"start 2026-03-02T06:00:00", "walk 2026-03-04T08:00:00"}, {at(2, 7, 0), at(4, 7, 0)});
            row("once, " + zone, zone, R"({"name":"o","action":"scene","scene":"S","at":"2026-03-03T12:30"})",
                {"start 2026-03-03T10:00:00", "walk 2026-03-03T14:00:00"}, {at(3, 12, 30)});
            row("missed while not running, " + zone, zone,
                R"({"name":"x","action":"power_on","time":"07:00","weekdays":[1,2,3,4,5,6,7]})",
                {"last 2026-03-02T05:00:00", "start 2026-03-02T10:00:00", "walk 2026-03-02T10:10:00"}, {}, 1);
        }
        // Berlin is UTC+1 in winter, UTC+2 in summer: a skipped time runs once, and of a time the
        // clock passes twice, the second, standard-time passing is the one.
        row("spring forward", "Europe/Berlin", R"({"name":"s","action":"power_on","time":"02:30","weekdays":[7]})",
            {"start 2026-03-29T00:00:00", "walk 2026-03-29T05:00:00"}, {"2026-03-29T01:30:00Z"});
        row("fall back", "Europe/Berlin", R"({"name":"f","action":"power_on","time":"02:30","weekdays":[7]})",
            {"start 2026-10-25T01:00:00", "walk 2026-10-25T04:00:00"}, {"2026-10-25T01:30:00Z"});
        const char *daily10 = R"({"name":"d","action":"power_on","time":"10:00","weekdays":[1,2,3,4,5,6,7]})";
        row("Berlin: clock set back an hour", "Europe/Berlin", daily10,
            {"start 2026-03-02T08:50:00Z", "walk 2026-03-02T09:10:00Z", "jump 2026-03-02T08:10:00Z",
                "walk 2026-03-02T09:10:00Z"},
            {"2026-03-02T09:00:00Z"});
        row("Berlin: clock set forward over it", "Europe/Berlin", daily10,
            {"start 2026-03-02T08:30:00Z", "jump 2026-03-02T09:30:00Z"}, {}, 1);
        row("Berlin: restart right after it ran", "Europe/Berlin", daily10,
            {"start 2026-03-02T08:59:40Z", "walk 2026-03-02T09:00:10Z", "restart 2026-03-02T09:00:20Z",
                "walk 2026-03-02T09:02:00Z"},
            {"2026-03-02T09:00:00Z"});
        row("Nuuk: the gap crosses midnight", "America/Nuuk",
            R"({"name":"k","action":"power_off","time":"23:30","weekdays":[6]})",
            {"start 2026-03-28T23:00:00Z", "walk 2026-03-29T03:00:00Z"}, {"2026-03-29T01:30:00Z"});
        row("Lord Howe: a 30-minute gap", "Australia/Lord_Howe",
            R"({"name":"l","action":"power_on","time":"02:15","weekdays":[7]})",
            {"start 2026-10-03T14:00:00Z", "walk 2026-10-03T17:00:00Z"}, {"2026-10-03T15:45:00Z"});
        row("Lord Howe: a one-off in the gap", "Australia/Lord_Howe",
            R"({"name":"o","action":"power_on","at":"2026-10-04T02:15"})",
            {"start 2026-10-03T14:00:00Z", "walk 2026-10-03T17:00:00Z"}, {"2026-10-03T15:45:00Z"}, 0,
            "The clock skips 02:15 on 2026-10-04; it runs at 02:45.");
        // A schedule made after the last run lies before the restart, but was never due.
        row("restarts after a run, and after a schedule made since", "UTC",
            R"({"name":"a","action":"power_on","time":"10:20","weekdays":[1]})",
            {"last 2026-03-02T09:59:00Z", "start 2026-03-02T10:00:00Z", "walk 2026-03-02T11:00:00Z",
                "restart 2026-03-02T11:00:30Z", "add 2026-03-02T10:50:00Z", "restart 2026-03-02T11:05:00Z"},
            {"2026-03-02T10:20:00Z"});
    }

    void schedules()
    {
        QFETCH(QString, zone);
        QFETCH(QByteArray, schedule);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, due);
        QFETCH(int, missed);
        QFETCH(QString, note);

        TestHome home;
        JsonConfig config(home.path() + QStringLiteral("/config.json"), false);
        config.setValue(ScheduleStore::CONFIG_KEY, QJsonArray {QJsonDocument::fromJson(schedule).object()});
        ScheduleStore store(&config);
        QCOMPARE(store.records().size(), 1);
        FakeClock clock;
        clock.timeZone = QTimeZone(zone.toUtf8());
        QVERIFY(clock.timeZone.isValid());
        // A copy: the list of records is made anew by each call.
        const Schedule read = store.records().first();
        if (read.repeat == Schedule::Repeat::Once)
            QCOMPARE(Schedule::gapNote(read.at.date(), read.at.time(), clock.timeZone), note);
        QStringList ran;
        int missedCount = 0;
        std::unique_ptr<Scheduler> scheduler;
        LogCapture warnings(QtWarningMsg);
        // The settings file changes when a schedule runs or is missed, and not on any other tick.
        const auto written = [&](const std::function<void()> &act) {
            const int before = ran.size() + missedCount;
            const QByteArray content = readFile(config.path());
            act();
            QCOMPARE(readFile(config.path()) != content, ran.size() + missedCount > before);
        };
        for (const QString &step : qAsConst(steps)) {
            const QString verb = step.section(QLatin1Char(' '), 0, 0);
            QDateTime to = QDateTime::fromString(step.section(QLatin1Char(' '), 1), Qt::ISODate);
            if (to.timeSpec() != Qt::UTC)
                to = QDateTime(to.date(), to.time(), clock.timeZone).toUTC();
            if (verb == QLatin1String("last")) {
                config.setValue(Scheduler::LAST_CHECK_KEY, to.toString(Qt::ISODate));
            } else if (verb == QLatin1String("add")) {
                Schedule added;
                added.name = QStringLiteral("added");
                added.action = Schedule::Action::PowerOn;
                added.time = to.toTimeZone(clock.timeZone).time();
                QVERIFY(store.save(added));
            } else if (verb == QLatin1String("walk")) {
                for (clock.time = clock.time.addSecs(30); clock.time <= to; clock.time = clock.time.addSecs(30))
                    written([&] { scheduler->tick(); });
                clock.time = to;
            } else if (verb == QLatin1String("jump")) {
                clock.time = to;
                written([&] { scheduler->tick(); });
            } else {
                clock.time = to;
                const auto start = [&] {
                    scheduler = std::make_unique<Scheduler>(&store, &config, &clock);
                    // Each runs on the first tick at or after its time.
                    connect(scheduler.get(), &Scheduler::due, this, [&](const Schedule &, const QDateTime &when) {
                        ran << when.toUTC().toString(Qt::ISODate);
                        QVERIFY(when <= clock.time && when.secsTo(clock.time) < 30);
                    });
                    connect(scheduler.get(), &Scheduler::missed, this, [&] { ++missedCount; });
                    scheduler->start();
                };
                // A first start keeps the moment it counts misses from.
                if (verb == QLatin1String("restart"))
                    written(start);
                else
                    start();
            }
        }
        QCOMPARE(ran, due);
        QCOMPARE(missedCount, missed);
        QCOMPARE(warnings.matching(QStringLiteral("missed")).size(), missed);
    }

    // One rule wherever a name comes in; judged per character, so that what the window takes,
    // an export brings back.
    void nameRules_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QList<bool>>("taken"); // as a display name, a scene's, a device's
        const QList<bool> all {true, true, true}, none {false, false, false};
        QTest::newRow("Chinese") << QStringLiteral("大厅 左") << all;
        QTest::newRow("emoji, joined") << QStringLiteral("Hall 👨‍👩‍👧 🏳️‍🌈") << all;
        QTest::newRow("64 emoji: 128 UTF-16 units") << QStringLiteral("🌅").repeated(64) << all;
        QTest::newRow("65 characters") << QString(65, QLatin1Char('a')) << QList<bool> {true, false, true};
        QTest::newRow("257 characters") << QString(257, QLatin1Char('a')) << none;
        QTest::newRow("half an emoji") << QStringLiteral("Hall ") + QChar(0xd83c) << none;
        QTest::newRow("terminal escape") << QStringLiteral("a\x1b[2Jb") << none;
        QTest::newRow("line separator") << QStringLiteral("a\u2028b") << none;
        QTest::newRow("right-to-left override") << QStringLiteral("abc\u202Egpj.exe") << none;
        QTest::newRow("a key path") << QStringLiteral("IPD1/alias") << QList<bool> {true, true, false};
        QTest::newRow("blank at the end") << QStringLiteral("Hall ") << QList<bool> {true, false, true};
        QTest::newRow("empty") << QString() << none;
    }

    void nameRules()
    {
        QFETCH(QString, name);
        QFETCH(QList<bool>, taken);
        QCOMPARE((QList<bool> {NameRules::displayName(name), NameRules::sceneName(name), NameRules::deviceName(name)}),
            taken);

        // The control API's ways in take what the rule takes, and nothing else; the window's
        // list refuses the same names.
        ApiSite site;
        const RemoteAnswer renamed = site.run("rename", {{"name", RX1}, {"alias", name}});
        if (!name.trimmed().isEmpty())
            QCOMPARE(renamed.ok, NameRules::displayName(name.trimmed()));
        DeviceListModel *decoders = site.manager.rxlist();
        QCOMPARE(decoders->setData(decoders->index(1), name, DeviceListModel::AliasRole), taken.first());
        QCOMPARE(site.run("scene.save", {{"name", name}}).ok, NameRules::sceneName(name.trimmed()));

        // What was taken comes back in through an import.
        ConfigurationTransfer transfer(site.manager.settingsStore(), apiSecretKeys());
        QJsonObject keys;
        QStringList problems;
        QVERIFY2(ConfigurationTransfer::read(QJsonDocument(transfer.exportDocument(false)).toJson(), &keys, &problems),
            qPrintable(problems.join(QStringLiteral("; "))));
    }

    // The report and the active scene tell what the screens show, for screens and encoders
    // that have gone or moved since the scene was saved.
    void recallReport_data()
    {
        QTest::addColumn<QByteArray>("singleShows");
        QTest::addColumn<bool>("earlierQuestion");
        QTest::addColumn<QString>("unanswered"); // decoder 1's switch: "" answered, "never" or "given up"
        QTest::addColumn<Routes>("scene");
        QTest::addColumn<QVariantMap>("report");
        QTest::addColumn<int>("switches"); // sent to decoder 1 and the wall
        QTest::addColumn<bool>("active");
        const QString single = decoderName(1);
        QTest::newRow("all confirm") << ENC2.toUtf8() << false << QString() << Routes {{single, ENC1}, {WALL, ENC2}}
                                     << QVariantMap {{single, "confirmed"}, {decoderName(2), "confirmed"},
                                            {decoderName(3), "confirmed"}}
                                     << 2 << true;
        // A question asked before the recall is answered first, with the source shown before.
        QTest::newRow("an earlier question still open") << ENC2.toUtf8() << true << QString() << Routes {{single, ENC1}}
                                                        << QVariantMap {{single, "confirmed"}} << 1 << true;
        // The decoder took the route but never said so: the report cannot confirm what the
        // screen, once read again, shows.
        QTest::newRow("a switch never answered") << ENC2.toUtf8() << false << "never" << Routes {{single, ENC1}}
                                                 << QVariantMap {{single, "timed_out"}} << 1 << true;
        // The switch reached the decoder but its answer never came, and the decoder gave it up:
        // the read-back after it is the first command it finishes, and confirms the route.
        QTest::newRow("a switch given up") << ENC2.toUtf8() << false << "given up" << Routes {{single, ENC1}}
                                           << QVariantMap {{single, "confirmed"}} << RxDevice::COMMAND_ATTEMPTS << true;
        // Nothing is sent for a route that cannot be kept.
        QTest::newRow("a deleted wall") << ENC1.toUtf8() << false << QString()
                                        << Routes {{single, ENC1}, {"VW:0009:1", ENC1}}
                                        << QVariantMap {{single, "confirmed"}, {"VW:0009:1", "not_found"}} << 1
                                        << false;
        QTest::newRow("a decoder now in a wall")
            << ENC1.toUtf8() << false << QString() << Routes {{single, ENC1}, {decoderName(2), ENC2}}
            << QVariantMap {{single, "confirmed"}, {decoderName(2), "moved"}} << 1 << false;
        // The decoder still shows the encoder's name, but nothing reaches the screen.
        QTest::newRow("an encoder that is gone")
            << QByteArray("IPE3-7C2E0D00AA99") << false << QString() << Routes {{single, "IPE3-7C2E0D00AA99"}}
            << QVariantMap {{single, "refused"}} << 0 << false;
    }

    void recallReport()
    {
        QFETCH(QByteArray, singleShows);
        QFETCH(bool, earlierQuestion);
        QFETCH(QString, unanswered);
        QFETCH(Routes, scene);
        QFETCH(QVariantMap, report);
        QFETCH(int, switches);
        QFETCH(bool, active);

        LiveSite site(singleShows, ENC1.toUtf8(), ENC1.toUtf8());
        const Scene saved {QStringLiteral("Show"), scene};
        QVERIFY(site.scenes->store()->save(saved));
        ScriptedDecoder &single = site.shell(1);
        if (earlierQuestion)
            single.decoder->querySource();
        if (!unanswered.isEmpty())
            single.peer.silentPrefix = SWITCH;
        if (unanswered == QLatin1String("never"))
            site.scenes->recaller()->setReadBackTimeout(300);
        const auto sent = [&] { return single.count(SWITCH) + site.shell(2).count(SWITCH); };
        const int sentBefore = sent();
        QSignalSpy finished(site.scenes.get(), &SceneService::recallFinished);
        QVERIFY(site.scenes->recallScene(saved.name));
        for (int attempt = 1; unanswered == QLatin1String("given up") && attempt <= switches; ++attempt) {
            QTRY_COMPARE((single.peer.answerLines(), single.count(SWITCH)), attempt);
            QVERIFY(QMetaObject::invokeMethod(single.decoder.data(), "onResponseTimeout"));
            single.connect();
        }
        QTRY_VERIFY((site.answer(), finished.count() == 1));
        QCOMPARE(outcomes(*site.scenes->recaller()), report);
        QCOMPARE(sent() - sentBefore, switches);
        site.answer();
        QTRY_COMPARE(site.scenes->activeScene(), active ? saved.name : QString());
    }

    // A wall whose members disagree shows no source: it matches no scene, and is not saved as
    // showing none.
    void mixedWallIsNoSource()
    {
        LiveSite site(ENC1.toUtf8(), ENC1.toUtf8(), ENC2.toUtf8());
        const auto wall = site.manager->rxlist()->findDevice(WALL, false).objectCast<VWDevice>();
        QVERIFY(wall && wall->mixed());
        QVERIFY(site.scenes->store()->save(Scene {QStringLiteral("Empty wall"), {{WALL, QString()}}}));
        site.scenes->active()->update();
        QCOMPARE(site.scenes->activeScene(), QString());

        QVERIFY(!site.scenes->saveScene(QStringLiteral("Wall only"), {WALL}, 0));
        QVERIFY2(site.scenes->saveMessage().contains(QStringLiteral("different sources")),
            qPrintable(site.scenes->saveMessage()));
        QVERIFY(!site.scenes->sceneExists(QStringLiteral("Wall only")));
        QVERIFY(site.scenes->saveScene(QStringLiteral("Everything"), {}, 0));
        QVERIFY2(site.scenes->saveMessage().contains(wall->nameAlias()), qPrintable(site.scenes->saveMessage()));
        const Scene *everything = site.scenes->store()->find(QStringLiteral("Everything"));
        QCOMPARE(everything->sources, (Routes {{decoderName(1), ENC1}}));
    }

    // Decoders that come back otherwise than routed: put in place, routed again within bounds,
    // and after a restart given their saved routes when the site asks for it.
    void routeKeeper_data()
    {
        QTest::addColumn<bool>("restoreAtStart");
        QTest::addColumn<QByteArray>("placeAfter");
        QTest::addColumn<QByteArray>("sourceAfter");
        QTest::addColumn<int>("powerCuts");
        QTest::addColumn<QString>("savedRoute"); // decoder 1's, in the settings file
        // Switches at start to decoder 1 and to each wall member; then to decoder 1 in all, place
        // commands to it, and warnings that it drifted.
        QTest::addColumn<QList<int>>("counts");
        const QByteArray none;
        QTest::newRow("start: taken as found") << false << none << none << 0 << ENC2 << QList<int> {0, 0, 0, 1, 0, 0};
        QTest::newRow("start: saved routes put back")
            << true << none << none << 0 << ENC1 << QList<int> {1, 1, 1, 1, 0, 0};
        // Clearing it would darken a screen the power has just come back to.
        QTest::newRow("start: saved without a source, left as found")
            << true << none << none << 0 << QString("") << QList<int> {0, 1, 1, 0, 0, 0};
        // What it showed at start is its route from then on.
        QTest::newRow("found at start, back with another source")
            << true << none << ENC1.toUtf8() << 1 << QString("") << QList<int> {0, 1, 1, 1, 0, 0};
        QTest::newRow("stand-alone found inside a wall")
            << false << QByteArray("1:1:0:1") << ENC1.toUtf8() << 1 << ENC1 << QList<int> {0, 0, 0, 2, 1, 0};
        QTest::newRow("back with another source")
            << false << none << ENC2.toUtf8() << 1 << ENC1 << QList<int> {0, 0, 0, 2, 0, 0};
        QTest::newRow("keeps reverting") << false << none << ENC2.toUtf8() << 5 << ENC1
                                         << QList<int> {0, 0, 0, 1 + RouteKeeper::REROUTE_LIMIT, 0, 1};
    }

    void routeKeeper()
    {
        QFETCH(bool, restoreAtStart);
        QFETCH(QByteArray, placeAfter);
        QFETCH(QByteArray, sourceAfter);
        QFETCH(int, powerCuts);
        QFETCH(QString, savedRoute);
        QFETCH(QList<int>, counts);

        // Saved before the restart: decoder 1's route, and the wall on ENC1.
        const QJsonObject settings {{RouteKeeper::RESTORE_AT_START_KEY, restoreAtStart},
            {RouteKeeper::SAVED_ROUTES_KEY, QJsonObject {{decoderName(1), savedRoute}}}};
        auto datagrams = std::make_unique<LogCapture>(QtDebugMsg);
        LiveSite site(ENC2.toUtf8(), ENC2.toUtf8(), ENC2.toUtf8(), settings);
        site.answer();
        const QStringList announced = datagrams->matching(QStringLiteral("Send tx command"));
        datagrams.reset();
        ScriptedDecoder &single = site.shell(1);
        QList<int> found {single.count(SWITCH), site.shell(2).count(SWITCH), site.shell(3).count(SWITCH)};
        QCOMPARE(!announced.isEmpty(), restoreAtStart);
        if (restoreAtStart) {
            QVERIFY2(announced.last().contains(decoderName(2)) && announced.last().contains(decoderName(3))
                    && announced.last().contains(ENC1),
                qPrintable(announced.last()));
            QCOMPARE(single.peer.outputs[ScriptedDecoder::QUERY_SOURCE], (counts.first() ? ENC1 : ENC2).toUtf8());
        } else {
            QCOMPARE(site.manager->routeSource(ENC1, decoderName(1)), DeviceManager::RouteResult::Routed);
            site.answer();
        }

        LogCapture reverting(QtWarningMsg);
        for (int cut = 0; cut < powerCuts; ++cut) {
            if (!placeAfter.isEmpty())
                single.peer.outputs[ScriptedDecoder::QUERY_PLACE] = placeAfter;
            single.powerCycle(sourceAfter);
            site.answer();
        }
        found << single.count(SWITCH) << single.count(ScriptedDecoder::PLACE)
              << reverting.matching("keeps coming back").size();
        QCOMPARE(found, counts);
        QCOMPARE(single.decoder->drifted(), counts.last() > 0);
        if (!single.decoder->drifted())
            QCOMPARE(single.peer.outputs[ScriptedDecoder::QUERY_PLACE], QByteArray("0:0:0:0"));
        // What was routed is kept for the next start.
        const auto saved
            = [&] { return QJsonDocument::fromJson(readFile(site.configPath))[RouteKeeper::SAVED_ROUTES_KEY]; };
        QTRY_COMPARE(saved()[decoderName(1)].toString(), restoreAtStart ? savedRoute : ENC1);
    }
};

QTEST_MAIN(TstScenes)
#include "tst_scenes.moc"
