#include "base/json_config.h"
#include "base/oem_setting.h"
#include "control/command_set.h"
#include "control/scene_commands.h"
#include "log_capture.h"
#include "manager/device_manager.h"
#include "models/device_list_model.h"
#include "models/rx_device_base.h"
#include "remote/api_settings.h"
#include "scenes/configuration_transfer.h"
#include "scenes/scene_recall.h"
#include "scenes/scene_service.h"
#include "scenes/scene_store.h"
#include "scenes/schedule_store.h"
#include "scenes/scheduler.h"
#include "test_home.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString TX1 = QStringLiteral("IPE9DEMO-7C2E0DFF0001");
const QString TX2 = QStringLiteral("IPE9DEMO-7C2E0DFF0002");
const QString RX1 = QStringLiteral("IPD9DEMO-7C2E0DFE0001");

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

class FakeClock : public ScheduleClock
{
public:
    QDateTime now() const override { return time; }
    QTimeZone zone() const override { return timeZone; }
    QDateTime time;
    QTimeZone timeZone;
};

QByteArray fileContent(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

} // namespace

class TstScenes : public QObject
{
    Q_OBJECT

private slots:
    void activeSceneFollowsTheRouting();
    void recallAndApi();
    void storeKeepsScenesInTheFile();
    void schedules_data();
    void schedules();
    void schedulesEditedInPlace();
    void importRoundTrip();
    void importRefusals_data();
    void importRefusals();
};

void TstScenes::activeSceneFollowsTheRouting()
{
    DemoSite site;
    QVERIFY(site.manager.rxlist()->rowCount() > 2);
    site.manager.routeSourceToAll(TX1);
    QVERIFY(site.scenes->saveScene(QStringLiteral("Morning"), {}, 0));
    QTRY_COMPARE(site.scenes->activeScene(), QStringLiteral("Morning"));

    // A scene covering only one screen is active whatever the others show.
    site.manager.routeSource(TX2, RX1);
    QTRY_COMPARE(site.scenes->activeScene(), QString());
    QVERIFY(site.scenes->saveScene(QStringLiteral("Single"), {RX1}, 0));
    QTRY_COMPARE(site.scenes->activeScene(), QStringLiteral("Single"));

    site.manager.routeSource(TX1, RX1);
    QTRY_COMPARE(site.scenes->activeScene(), QStringLiteral("Morning"));
    site.manager.routeSource(QString(), RX1);
    QTRY_COMPARE(site.scenes->activeScene(), QString());
    site.manager.routeSource(TX1, RX1);
    QTRY_COMPARE(site.scenes->activeScene(), QStringLiteral("Morning"));
    QVERIFY(site.scenes->deleteScene(QStringLiteral("morning")));
    QTRY_COMPARE(site.scenes->activeScene(), QString());
}

void TstScenes::recallAndApi()
{
    DemoSite site;
    CommandSet core(&site.manager);
    core.extend(QStringLiteral("scene"), new SceneCommands(&site.manager, site.scenes));
    QSignalSpy events(&core, &CommandSet::event);
    site.manager.routeSourceToAll(TX2);
    RemoteAnswer answer = core.execute(QStringLiteral("scene.save"),
        {{QStringLiteral("name"), QStringLiteral("Blue")}, {QStringLiteral("power"), true}});
    QVERIFY2(answer.ok, qPrintable(answer.message));
    site.manager.routeSourceToAll(TX1);
    QTRY_COMPARE(site.scenes->activeScene(), QString());

    // Handed out a few screens per event-loop turn: still under way when the call returns,
    // then finished once, with every screen routed.
    site.scenes->recaller()->setDecodersPerTurn(2);
    QSignalSpy finished(site.scenes, &SceneService::recallFinished);
    answer = core.execute(QStringLiteral("scene.recall"), {{QStringLiteral("name"), QStringLiteral("blue")}});
    QVERIFY2(answer.ok, qPrintable(answer.message));
    QVERIFY(site.scenes->recalling());
    QVERIFY(finished.wait());
    QVERIFY(!finished.wait(100));
    QCOMPARE(finished.count(), 1);
    for (int row = 0; row < site.manager.rxlist()->rowCount(); ++row)
        QCOMPARE(site.sourceOf(site.manager.rxlist()->at(row)->name()), TX2);
    QVERIFY(!site.scenes->recalling());
    QVERIFY(site.scenes->recaller()->confirmedCount() > 0);
    QCOMPARE(site.scenes->recaller()->confirmedCount(), site.scenes->recallTotal());
    QTRY_COMPARE(core.state().value(QStringLiteral("scene")).toObject().value(QStringLiteral("active")).toString(),
        QStringLiteral("Blue"));
    QStringList names;
    for (const QList<QVariant> &event : qAsConst(events))
        names << event.at(0).toString();
    QVERIFY(names.contains(QStringLiteral("scene.recall.finished")));
    QVERIFY(names.contains(QStringLiteral("scene.active")));
    QCOMPARE(names.count(QStringLiteral("power")), 1);

    // A scene saved without a display-power setting leaves the displays as they are.
    site.manager.routeSourceToAll(TX1);
    answer = core.execute(QStringLiteral("scene.save"), {{QStringLiteral("name"), QStringLiteral("Plain")}});
    QVERIFY2(answer.ok, qPrintable(answer.message));
    site.manager.routeSourceToAll(TX2);
    events.clear();
    answer = core.execute(QStringLiteral("scene.recall"), {{QStringLiteral("name"), QStringLiteral("plain")}});
    QVERIFY2(answer.ok, qPrintable(answer.message));
    QVERIFY(finished.wait());
    for (int row = 0; row < site.manager.rxlist()->rowCount(); ++row)
        QCOMPARE(site.sourceOf(site.manager.rxlist()->at(row)->name()), TX1);
    for (const QList<QVariant> &event : qAsConst(events))
        QVERIFY2(event.at(0).toString() != QLatin1String("power"), "the displays were switched");

    const QList<std::pair<QString, QJsonObject>> refused {
        {QStringLiteral("scene.recall"), {{QStringLiteral("name"), QStringLiteral("Green")}}},
        {QStringLiteral("scene.save"), {{QStringLiteral("name"), QStringLiteral(" ")}}},
        {QStringLiteral("scene.save"),
            {{QStringLiteral("name"), QStringLiteral("X")},
                {QStringLiteral("targets"), QJsonArray {QStringLiteral("nobody")}}}},
        {QStringLiteral("scene.rename"), {{QStringLiteral("name"), QStringLiteral("Blue")}}},
        {QStringLiteral("scene.retry"), {}}};
    for (const auto &command : refused)
        QVERIFY2(!core.execute(command.first, command.second).ok, qPrintable(command.first));
    QVERIFY(
        core.execute(QStringLiteral("scene.rename"),
                {{QStringLiteral("name"), QStringLiteral("Blue")}, {QStringLiteral("new_name"), QStringLiteral("Sky")}})
            .ok);
    QCOMPARE(core.execute(QStringLiteral("scene.list"), {})
                 .result.toArray()
                 .first()
                 .toObject()
                 .value(QStringLiteral("name"))
                 .toString(),
        QStringLiteral("Sky"));
}

void TstScenes::storeKeepsScenesInTheFile()
{
    TestHome home;
    const QString path = home.path() + QStringLiteral("/config.json");
    {
        JsonConfig config(path, false);
        config.setValue(QStringLiteral("alias_map/A"), QStringLiteral("kept"));
        SceneStore store(&config);
        Scene scene;
        scene.name = QStringLiteral("One");
        scene.sources.insert(QStringLiteral("RX-A"), QStringLiteral("TX-A"));
        QVERIFY(store.save(scene));
        scene.name = QStringLiteral("Two");
        scene.power = Scene::Power::Off;
        QVERIFY(store.save(scene));
        scene.sources.insert(QStringLiteral("RX-A"), QString());
        QVERIFY(store.save(scene));
        QVERIFY(!store.rename(QStringLiteral("One"), QStringLiteral("two")));
        QVERIFY(store.rename(QStringLiteral("One"), QStringLiteral("First")));
        scene.name = QStringLiteral("Three");
        QVERIFY(store.save(scene));
        QVERIFY(store.remove(QStringLiteral("three")));
        QVERIFY(!store.remove(QStringLiteral("three")));
    }
    JsonConfig config(path, false);
    QCOMPARE(config.value(QStringLiteral("alias_map/A"), QString()), QStringLiteral("kept"));
    SceneStore store(&config);
    QCOMPARE(store.records().size(), 2);
    QCOMPARE(store.records().at(0).name, QStringLiteral("First"));
    QCOMPARE(store.records().at(0).sources.value(QStringLiteral("RX-A")), QStringLiteral("TX-A"));
    QCOMPARE(store.records().at(1).sources.value(QStringLiteral("RX-A")), QString(""));
    QCOMPARE(store.records().at(1).power, Scene::Power::Off);
}

void TstScenes::schedules_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QByteArray>("schedule");
    QTest::addColumn<QString>("lastRun");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("until");
    QTest::addColumn<QStringList>("due");
    QTest::addColumn<int>("missed");

    // Times are the zone's wall-clock times; what ran is told with its offset from UTC, so
    // that a time the clock passes twice is told apart. 2026-03-02 is a Monday; at UTC+8 its
    // 07:00 is still Sunday in UTC.
    const QList<std::pair<QByteArray, QString>> zones {
        {"UTC", "Z"}, {"Asia/Shanghai", "+08:00"}, {"Europe/Berlin", "+01:00"}};
    for (const auto &zone : zones) {
        const QByteArray name = zone.first;
        const QString offset = zone.second;
        QTest::addRow("weekdays Mon+Wed, %s", name.constData())
            << name << QByteArray(R"({"name":"m","action":"power_on","time":"07:00","weekdays":[1,3]})") << QString()
            << "2026-03-02T06:00:00"
            << "2026-03-04T08:00:00" << QStringList {"2026-03-02T07:00:00" + offset, "2026-03-04T07:00:00" + offset}
            << 0;
        QTest::addRow("other day only, %s", name.constData())
            << name << QByteArray(R"({"name":"t","action":"power_off","time":"07:00","weekdays":[2]})") << QString()
            << "2026-03-02T05:00:00"
            << "2026-03-02T08:00:00" << QStringList() << 0;
        QTest::addRow("once, %s", name.constData())
            << name << QByteArray(R"({"name":"o","action":"scene","scene":"S","at":"2026-03-03T12:30"})") << QString()
            << "2026-03-03T10:00:00"
            << "2026-03-03T14:00:00" << QStringList {"2026-03-03T12:30:00" + offset} << 0;
        QTest::addRow("missed while not running, %s", name.constData())
            << name << QByteArray(R"({"name":"x","action":"power_on","time":"07:00","weekdays":[1,2,3,4,5,6,7]})")
            << "2026-03-02T05:00:00"
            << "2026-03-02T10:00:00"
            << "2026-03-02T10:10:00" << QStringList() << 1;
    }
    // Berlin is UTC+1 in winter, UTC+2 in summer.
    QTest::newRow("spring forward: skipped time runs once")
        << QByteArray("Europe/Berlin")
        << QByteArray(R"({"name":"s","action":"power_on","time":"02:30","weekdays":[7]})") << QString()
        << "2026-03-29T00:00:00"
        << "2026-03-29T05:00:00" << QStringList {"2026-03-29T03:30:00+02:00"} << 0;
    // The clock passes 02:30 twice; the second, standard-time passing is the one.
    QTest::newRow("fall back: repeated time runs once")
        << QByteArray("Europe/Berlin")
        << QByteArray(R"({"name":"f","action":"power_on","time":"02:30","weekdays":[7]})") << QString()
        << "2026-10-25T01:00:00"
        << "2026-10-25T04:00:00" << QStringList {"2026-10-25T02:30:00+01:00"} << 0;
}

void TstScenes::schedules()
{
    QFETCH(QByteArray, zone);
    QFETCH(QByteArray, schedule);
    QFETCH(QString, lastRun);
    QFETCH(QString, from);
    QFETCH(QString, until);
    QFETCH(QStringList, due);
    QFETCH(int, missed);

    const QTimeZone timeZone(zone);
    QVERIFY(timeZone.isValid());
    const auto local = [&](const QString &text) {
        const QDateTime wallClock = QDateTime::fromString(text, Qt::ISODate);
        return QDateTime(wallClock.date(), wallClock.time(), timeZone).toUTC();
    };
    TestHome home;
    JsonConfig config(home.path() + QStringLiteral("/config.json"), false);
    config.setValue(ScheduleStore::CONFIG_KEY, QJsonArray {QJsonDocument::fromJson(schedule).object()});
    if (!lastRun.isEmpty())
        config.setValue(Scheduler::LAST_CHECK_KEY, local(lastRun).toString(Qt::ISODate));
    ScheduleStore store(&config);
    QCOMPARE(store.records().size(), 1);
    FakeClock clock;
    clock.timeZone = timeZone;
    clock.time = local(from);
    Scheduler scheduler(&store, &config, &clock);
    QStringList ran;
    connect(&scheduler, &Scheduler::due, this,
        [&] { ran << clock.time.toOffsetFromUtc(timeZone.offsetFromUtc(clock.time)).toString(Qt::ISODate); });
    QSignalSpy missedSpy(&scheduler, &Scheduler::missed);
    LogCapture warnings(QtWarningMsg);
    scheduler.start();
    QCOMPARE(scheduler.tickTimer()->interval(), Scheduler::TICK_MS);
    for (const QDateTime last = local(until); clock.time <= last; clock.time = clock.time.addSecs(30))
        scheduler.tick();
    QCOMPARE(ran, due);
    QCOMPARE(missedSpy.count(), missed);
    QCOMPARE(warnings.matching(QStringLiteral("missed")).size(), missed);
}

// Changed from the list, a schedule keeps its place and whether it is on; neither a new nor
// a renamed one may take the name of another.
void TstScenes::schedulesEditedInPlace()
{
    DemoSite site;
    SceneService *scenes = site.scenes;
    const QString wake = QStringLiteral("Wake");
    QVERIFY(scenes->saveSchedule(wake, 1, QString(), QStringLiteral("07:30"), 0x1f, QString()));
    QVERIFY(
        scenes->saveSchedule(QStringLiteral("Night"), 2, QString(), QString(), 0, QStringLiteral("2099-01-01T22:00")));
    QVERIFY(!scenes->saveSchedule(QStringLiteral("night"), 1, QString(), QStringLiteral("09:00"), 1, QString()));
    QVERIFY(scenes->setScheduleEnabled(QStringLiteral("wake"), false));
    QVERIFY(!scenes->saveSchedule(QStringLiteral("NIGHT"), 1, QString(), QStringLiteral("06:00"), 1, QString(), wake));
    QVERIFY(scenes->saveSchedule(QStringLiteral("Rise"), 1, QString(), QStringLiteral("06:00"), 1, QString(), wake));
    QVERIFY(!scenes->saveSchedule(QStringLiteral("Again"), 1, QString(), QStringLiteral("06:00"), 1, QString(), wake));
    const QVector<Schedule> list = scenes->scheduleStore()->records();
    QCOMPARE(list.size(), 2);
    QCOMPARE(std::make_tuple(list.at(0).name, list.at(0).time, list.at(0).enabled, list.at(1).name),
        std::make_tuple(QStringLiteral("Rise"), QTime(6, 0), false, QStringLiteral("Night")));
}

void TstScenes::importRoundTrip()
{
    TestHome home;
    const QString exported = home.path() + QStringLiteral("/site.json");
    QJsonObject original;
    {
        JsonConfig config(home.path() + QStringLiteral("/a.json"), false);
        config.setValue(QStringLiteral("alias_map/IPD1-01"), QStringLiteral("Lobby"));
        config.setValue(QStringLiteral("orders/IPD1-01"), 3);
        config.setValue(QStringLiteral("display_power_cmd/on"), QStringLiteral("10:04"));
        config.setValue(QStringLiteral("security/password"), QStringLiteral("hash"));
        config.setValue(QStringLiteral("vw"),
            QJsonArray {QJsonObject {{"name", "VW:1:2"}, {"width", 2}, {"height", 1}, {"bind", ""},
                {"devices", QJsonArray {"IPD1-01", "IPD1-02"}}}});
        config.setValue(QStringLiteral("scenes"),
            QJsonArray {QJsonObject {{"name", "Day"}, {"sources", QJsonObject {{"IPD1-01", "IPE1-01"}}}}});
        config.setValue(QStringLiteral("schedules"),
            QJsonArray {QJsonObject {{"name", "d"}, {"action", "scene"}, {"scene", "Day"}, {"time", "08:00"},
                            {"weekdays", QJsonArray {1}}},
                // Display power needs no scene.
                QJsonObject {{"name", "night"}, {"action", "power_off"}, {"time", "22:00"},
                    {"weekdays", QJsonArray {1, 2, 3, 4, 5}}}});
        ConfigurationTransfer transfer(&config, apiSecretKeys());
        QVERIFY(transfer.exportTo(QUrl::fromLocalFile(exported).toString(), false));
        original = transfer.exportDocument(false);
        QVERIFY(!fileContent(exported).contains("hash"));
    }
    JsonConfig target(home.path() + QStringLiteral("/b.json"), false);
    target.setValue(QStringLiteral("security/password"), QStringLiteral("kept"));
    ConfigurationTransfer transfer(&target, apiSecretKeys());
    QSignalSpy imported(&transfer, &ConfigurationTransfer::imported);
    QVERIFY2(transfer.importFrom(exported), qPrintable(transfer.lastMessage()));
    QCOMPARE(imported.count(), 1);
    QCOMPARE(transfer.exportDocument(false), original);
    QCOMPARE(target.value(QStringLiteral("security/password"), QString()), QStringLiteral("kept"));
    QCOMPARE(QDir(home.path()).entryList({QStringLiteral("b.json.before-import-*")}).size(), 1);
}

void TstScenes::importRefusals_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    const QByteArray head = R"({"format":"zentrova-configuration","version":1,)";
    QTest::newRow("broken") << QByteArray("{\"format\": ") << "not a JSON object";
    QTest::newRow("truncated") << QByteArray(head + R"("scenes":[{"name":"A","sour)") << "not a JSON object";
    QTest::newRow("not ours") << QByteArray(R"({"version":1})") << "not a zentrova configuration";
    QTest::newRow("newer") << QByteArray(R"({"format":"zentrova-configuration","version":2})") << "newer version";
    QTest::newRow("unknown key") << QByteArray(head + R"("api":{"enabled":true}})") << "unknown entry \"api\"";
    QTest::newRow("control character in a name")
        << QByteArray(head + R"("alias_map":{"IPD1":"a\u001b[2Jb"}})") << "not a printable name";
    QTest::newRow("wall too large") << QByteArray(
        head + R"("vw":[{"name":"VW:1","width":99,"height":1,"devices":[]}]})")
                                    << "not a valid wall";
    QTest::newRow("shell in a power command")
        << QByteArray(head + R"("display_power_cmd":{"on":"x\nreboot"}})") << "display_power_cmd";
    QTest::newRow("schedule of a missing scene") << QByteArray(head
        + R"("scenes":[],"schedules":[{"name":"s","action":"scene","scene":"Gone","time":"08:00","weekdays":[1]}]})")
                                                 << "unknown scene";
    QTest::newRow("secret the program does not keep")
        << QByteArray(head + R"("secrets":{"security":{"password":"x","shell":"y"}}})") << "security may hold only";
}

void TstScenes::importRefusals()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    TestHome home;
    const QString path = home.path() + QStringLiteral("/config.json");
    JsonConfig config(path, false);
    config.setValue(QStringLiteral("alias_map/IPD1"), QStringLiteral("Lobby"));
    const QByteArray before = fileContent(path);
    QFile file(home.path() + QStringLiteral("/import.json"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    ConfigurationTransfer transfer(&config, apiSecretKeys());
    QSignalSpy imported(&transfer, &ConfigurationTransfer::imported);
    QVERIFY(!transfer.importFrom(file.fileName()));
    QVERIFY2(transfer.lastMessage().contains(reason), qPrintable(transfer.lastMessage()));
    QCOMPARE(imported.count(), 0);
    QCOMPARE(fileContent(path), before);
    QCOMPARE(config.value(QStringLiteral("alias_map/IPD1"), QString()), QStringLiteral("Lobby"));
    QCOMPARE(QDir(home.path()).entryList({QStringLiteral("*.before-import-*")}).size(), 0);
}

QTEST_MAIN(TstScenes)
#include "tst_scenes.moc"
