// The whole controller against a simulated installation on the test LAN. installation_test.sh
// runs each scenario through simulated-installation.sh inside the controller's namespace;
// $SIM_INSTALLATION lists the devices. Every decoder keeps what it was told in the files of
// its folder and every encoder logs the commands it heard, where the tests read them back.
#include "base/oem_setting.h"
#include "fake_clock.h"
#include "manager/device_manager.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/tx_device.h"
#include "models/vw_device.h"
#include "null_surface.h"
#include "scenes/scene_recall.h"
#include "scenes/scene_service.h"
#include "scenes/scheduler.h"
#include "test_home.h"
#include "video/mini_video_source.h"

#include <QDirIterator>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>

namespace {

constexpr int WAIT_MS = 20000;
// Short stand-ins for the decoders' 10 s reconnect and the encoders' 5 s preview retry.
constexpr int SHORT_RETRY_MS = 300;

struct Sim
{
    QString kind, folder, name;
};

QString fileText(const QString &path)
{
    QFile file(path);
    const QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : "<missing>";
    return text.endsWith('\n') ? text.chopped(1) : text;
}

bool setFault(const Sim &device, const QString &fault, bool on, const QByteArray &content = QByteArray())
{
    QFile file(device.folder + QLatin1Char('/') + fault);
    return on ? file.open(QIODevice::WriteOnly) && file.write(content) == content.size() : file.remove();
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QStringList rowNames(const DeviceListModel *list)
{
    QStringList names;
    for (int row = 0; row < list->rowCount(); ++row)
        names << list->at(row)->name();
    return names;
}

// The first wall listed, or the one that shows the given decoder.
QSharedPointer<VWDevice> wallOf(const DeviceManager &manager, const QString &member = QString())
{
    for (int row = 0; row < manager.rxlist()->rowCount(); ++row) {
        const auto wall = qSharedPointerObjectCast<VWDevice>(manager.rxlist()->at(row));
        if (wall && (member.isEmpty() || wall->cellNames().contains(member)))
            return wall;
    }
    return nullptr;
}

void route(DeviceManager &manager, const QString &target, const QString &source)
{
    manager.setCurrentRxDevice(target);
    manager.changeRxDeviceSource(QStringLiteral("TX:") + source, false);
}

// One run of the controller: what start-up makes, in the test's home; the schedules run on
// a clock the test sets.
struct Controller
{
    FakeClock clock;
    OemSetting oem;
    DeviceManager manager {&oem};
    SceneService scenes {&manager, manager.settingsStore(), &clock};
};

} // namespace

class TestInstallation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFile file(qEnvironmentVariable("SIM_INSTALLATION"));
        QVERIFY2(file.open(QIODevice::ReadOnly), "run this inside simulated-installation.sh");
        for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QStringList fields = line.split(QLatin1Char(' '));
            devices << Sim {fields.at(0), fields.at(2), fields.mid(3).join(QLatin1Char(' '))};
            if (fields.at(0) == QLatin1String("encoder"))
                encoders << devices.last();
            else if (fields.at(0) == QLatin1String("decoder"))
                decoders << devices.last();
        }
        for (const Sim &decoder : decoders)
            decoderNames << decoder.name;
    }

    void discoversAndRoutes();
    void buildsWallsAndSwitchesDisplays();
    void survivesFaults();
    void hostileRepliesCreateNothingHarmful();
    void restartKeepsNamesOrderAndWalls();
    void scenesRecallAndReport();

private:
    // Runs one discovery pass and waits until every encoder and decoder of the installation
    // is listed, the decoders with their information fetched.
    bool discover(DeviceManager &manager) const
    {
        manager.startDiscovery(true);
        const auto listed = [&](const Sim &sim) {
            const DeviceListModel *list = sim.kind == "encoder" ? manager.txlist() : manager.rxlist();
            return sim.kind == "extra" || list->findDevice(sim.name, sim.kind == "decoder");
        };
        return QTest::qWaitFor([&] { return std::all_of(devices.begin(), devices.end(), listed); }, WAIT_MS);
    }
    // One more pass; true once every device but `silent` has answered it.
    bool pass(DeviceManager &manager, const QString &silent = QString()) const
    {
        manager.sendDiscoveryMessage();
        const auto answered = [&](const Sim &simulated) {
            const DeviceBasePtr listed = device(manager, simulated.name);
            return simulated.name == silent || !listed || listed->offlineCounter() == 0;
        };
        return QTest::qWaitFor([&] { return std::all_of(devices.begin(), devices.end(), answered); }, WAIT_MS);
    }
    // What every decoder was told last, in installation order.
    QStringList states(const QString &key = QStringLiteral("source_select")) const
    {
        QStringList texts;
        for (const Sim &simulated : decoders)
            texts << fileText(simulated.folder + QLatin1Char('/') + key);
        return texts;
    }
    QStringList every(const QString &text) const { return QVector<QString>(decoders.size(), text).toList(); }
    static DeviceBasePtr device(const DeviceManager &manager, const QString &name)
    {
        for (const DeviceListModel *list : {manager.txlist(), manager.rxlist(), manager.pendingRxList()}) {
            if (const DeviceBasePtr found = list->findDevice(name, true))
                return found;
        }
        return nullptr;
    }
    RxDevice *decoder(const DeviceManager &m, int i) const
    {
        return device(m, decoders[i].name).objectCast<RxDevice>().data();
    }

    QList<Sim> devices, encoders, decoders;
    QStringList decoderNames;
    TestHome home;
};

// 4 encoders and 6 decoders, the first 4 of which form a 2 x 2 wall in their own settings.
void TestInstallation::discoversAndRoutes()
{
    Controller controller;
    DeviceManager &manager = controller.manager;
    QVERIFY(discover(manager));
    const QSharedPointer<VWDevice> wall = wallOf(manager);
    QVERIFY(wall);
    QCOMPARE(wall->cellNames(), decoderNames.mid(0, 4));
    QCOMPARE(sorted(rowNames(manager.rxlist())), sorted({wall->name(), decoders.at(4).name, decoders.at(5).name}));
    QCOMPARE(manager.deviceFound(), 10);

    // A wall, one decoder, then every screen; the decoders 5 and 6 form a second wall first.
    route(manager, wall->name(), encoders.at(1).name);
    const QStringList onWall = every(encoders.at(1).name).mid(0, 4);
    QTRY_COMPARE_WITH_TIMEOUT(states(), onWall + every("NULL").mid(4), WAIT_MS);
    route(manager, decoders.at(4).name, encoders.at(0).name);
    QTRY_COMPARE_WITH_TIMEOUT(states(), (onWall + QStringList {encoders.at(0).name, "NULL"}), WAIT_MS);
    manager.createVideoWall(QStringLiteral("Side"), 1, 2,
        QStringLiteral("%1,%2").arg(decoder(manager, 4)->seq()).arg(decoder(manager, 5)->seq()));
    manager.changeRxDeviceSource(QStringLiteral("TX:") + encoders.at(2).name, true);
    QTRY_COMPARE_WITH_TIMEOUT(states(), every(encoders.at(2).name), WAIT_MS);

    // Demo mode: its made-up walls are not announced on the LAN.
    QSignalSpy created(&manager, &DeviceManager::videoWallCreated);
    manager.enterDemoMode();
    manager.createVideoWall(QStringLiteral("Demo"), 1, 2,
        QStringLiteral("%1,%2").arg(manager.rxlist()->at(1)->seq()).arg(manager.rxlist()->at(2)->seq()));
    QCOMPARE(created.count(), 1);
    route(manager, manager.rxlist()->at(created.at(0).at(0).toInt())->name(), "IPE9DEMO-7C2E0DFF0002");
    QTest::qWait(2000);

    // Each wall's command, byte for byte, once at every encoder on both ports; nothing for a
    // plain decoder, a wall just built or a made-up one.
    const QString big = "IPD1SIM-7c2e0d00d001 IPD1SIM-7c2e0d00d002 IPD1SIM-7c2e0d00d003 IPD1SIM-7c2e0d00d004";
    QStringList expected;
    for (const QString &datagram : QStringList {"IPE1SIM-7c2e0d00e002:1:4 " + big, "IPE1SIM-7c2e0d00e003:2:4 " + big,
             "IPE1SIM-7c2e0d00e003:3:2 IPD1SIM-7c2e0d00d005 IPD1SIM-7c2e0d00d006"}) {
        for (const char *port : {"5010", "5011"})
            expected << QStringLiteral("command on %1 from 192.0.2.1: msg_b_reconnect ").arg(port) + datagram;
    }
    for (const Sim &encoder : encoders) {
        const QStringList heard = fileText(encoder.folder + QStringLiteral("/log.txt")).split(QLatin1Char('\n'));
        QCOMPARE(sorted(heard.filter(QRegularExpression(QStringLiteral("^command on ")))), sorted(expected));
    }
}

// 2 encoders and 6 stand-alone decoders.
void TestInstallation::buildsWallsAndSwitchesDisplays()
{
    Controller controller;
    DeviceManager &manager = controller.manager;
    QVERIFY(discover(manager));
    QStringList numbers, places;
    for (int i = 0; i < decoders.size(); ++i) {
        numbers << QString::number(decoder(manager, i)->seq());
        places << QStringLiteral("1:2:%1:%2").arg(i / 3).arg(i % 3);
    }
    manager.createVideoWall(QStringLiteral("Lobby"), 2, 3, numbers.join(QLatin1Char(',')));
    QCOMPARE(manager.rxlist()->rowCount(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(states("crop_param"), places, WAIT_MS);
    // Numbers are for placing plain decoders: wall members keep their picture. Each decoder
    // runs its commands in order, so the power command comes after any number.
    manager.osdShowSeq();
    manager.switchMonitor(false);
    QTRY_COMPARE_WITH_TIMEOUT(states("power"), every("standby"), WAIT_MS);
    QCOMPARE(states("osd"), every(QString()));
    manager.deleteVideoWall(wallOf(manager)->guid());
    QCOMPARE(sorted(rowNames(manager.rxlist())), sorted(decoderNames));
    QTRY_COMPARE_WITH_TIMEOUT(states("crop_param"), every("0:0:0:0"), WAIT_MS);

    manager.switchMonitor(true);
    QTRY_COMPARE_WITH_TIMEOUT(states("power"), every("on"), WAIT_MS);
    manager.changePowerCommand(QStringLiteral("40 04"), QStringLiteral("FF 36"));
    manager.switchMonitor(false);
    QTRY_COMPARE_WITH_TIMEOUT(states("cec"), every("FF 36"), WAIT_MS);
    manager.switchMonitor(true);
    QTRY_COMPARE_WITH_TIMEOUT(states("cec"), every("40 04"), WAIT_MS);
    manager.osdShowSeq();
    QTRY_COMPARE_WITH_TIMEOUT(states("osd"), numbers, WAIT_MS);
    manager.osdHideSeq();
    QTRY_COMPARE_WITH_TIMEOUT(states("osd"), every(QString()), WAIT_MS);
}

// 2 encoders and 3 decoders: one drops its link in the middle of a command, one falls
// silent, one answers garbage; the first encoder's stream breaks in three ways.
void TestInstallation::survivesFaults()
{
    QVERIFY(setFault(decoders.at(2), QStringLiteral("fault-garbage"), true));
    Controller controller;
    DeviceManager &manager = controller.manager;
    QVERIFY(discover(manager));
    QVERIFY(setFault(decoders.at(2), QStringLiteral("fault-garbage"), false));

    // The dropped command runs again once the link is back; the garbled decoder takes its too.
    RxDevice *link = decoder(manager, 0);
    link->findChild<QTimer *>(QStringLiteral("reconnectTimer"))->setInterval(SHORT_RETRY_MS);
    QSignalSpy linkStates(link, &RxDevice::stateChanged);
    QVERIFY(setFault(decoders.at(0), QStringLiteral("fault-drop"), true, "gbconfig"));
    manager.changeRxDeviceSource(QStringLiteral("TX:") + encoders.at(1).name, true);
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(decoders.at(0).folder + QStringLiteral("/fault-drop")), WAIT_MS);
    QTRY_COMPARE_WITH_TIMEOUT(states(), every(encoders.at(1).name), WAIT_MS);
    QVERIFY(linkStates.contains(QVariantList {int(RxDevice::ErrorWaiting)}));

    QVERIFY(pass(manager));
    const QString silent = decoders.at(1).name;
    QVERIFY(setFault(decoders.at(1), QStringLiteral("silent"), true));
    for (int missed = 1, threshold = DeviceBase::OFFLINE_THRESHOLD; missed <= threshold; ++missed) {
        QVERIFY(pass(manager, silent));
        for (const Sim &other : devices)
            QCOMPARE(device(manager, other.name)->online(), other.name != silent || missed < threshold);
    }
    QVERIFY(setFault(decoders.at(1), QStringLiteral("silent"), false));
    QVERIFY(pass(manager));
    QVERIFY(device(manager, silent)->online());

    const auto preview = qSharedPointerObjectCast<TxDevice>(device(manager, encoders.at(0).name));
    preview->findChild<QTimer *>(QStringLiteral("retryTimer"))->setInterval(SHORT_RETRY_MS);
    NullSurface view;
    int frames = 0;
    connect(preview->videoSource(), &MiniVideoSource::imageReceived, this,
        [&frames](QImage *image) { frames += image && !image->isNull(); });
    preview->videoSource()->setVideoSurface(&view);
    preview->videoSource()->setSize(QSize(320, 180));
    QTRY_VERIFY_WITH_TIMEOUT(frames > 0, WAIT_MS);
    for (const QString fault : {"cut", "oversize", "stall"}) {
        QVERIFY(setFault(encoders.at(0), fault, true));
        // Frames already under way may still arrive; after that the picture stands still.
        QTest::qWait(1000);
        frames = 0;
        QTest::qWait(1500);
        QVERIFY2(frames == 0, qPrintable(fault));
        QVERIFY(setFault(encoders.at(0), fault, false));
        QTRY_VERIFY2_WITH_TIMEOUT(frames > 0, qPrintable(fault), WAIT_MS);
    }
}

// 1 encoder, 2 decoders that form a 1 x 2 wall the settings file knows as VW:0001:1111, and
// extra devices with odd replies.
void TestInstallation::hostileRepliesCreateNothingHarmful()
{
    QVERIFY(QDir().mkpath(home.path() + "/.zentrova"));
    QFile file(home.path() + "/.zentrova/config.json");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"vw": [{"name": "VW:0001:1111", "width": 2, "height": 1, "bind": "", "devices": [")"
        + decoderNames.join(R"(", ")").toUtf8() + R"("]}], "alias_map": {"VW:0001:1111": "Stored wall"}})");
    file.close();
    Controller controller;
    DeviceManager &manager = controller.manager;
    QVERIFY(discover(manager));
    QVERIFY(pass(manager));

    // Only the odd replies that carry a usable name of an encoder or a decoder made a device;
    // the one named with a decoder's shell in mind waits for a link that never comes.
    const QString hostileEncoder = QStringLiteral("IPE1$(touch pwned)`touch pwned`;touch pwned-7c2e0d00ba03");
    QCOMPARE(sorted(rowNames(manager.txlist())),
        sorted({encoders.at(0).name, QStringLiteral("IPE1LONG-7c2e0d00ba02"), hostileEncoder}));
    QCOMPARE(rowNames(manager.pendingRxList()), QStringList {"IPD1;reboot;-7c2e0d00ba04"});
    QCOMPARE(rowNames(manager.rxlist()), QStringList {"VW:0001:1111"});
    const QSharedPointer<VWDevice> wall = wallOf(manager);
    QCOMPARE(wall->nameAlias(), QStringLiteral("Stored wall"));
    QVERIFY(wall->meta()->address.isNull());

    // The shell-minded name reaches the decoders as it is and runs nothing there, and the
    // controller works on.
    for (const QString &source : {hostileEncoder, encoders.at(0).name}) {
        route(manager, wall->name(), source);
        QTRY_COMPARE_WITH_TIMEOUT(states(), every(source), WAIT_MS);
    }
    QDirIterator everything(QFileInfo(decoders.at(0).folder).path(), QDirIterator::Subdirectories);
    while (everything.hasNext())
        QVERIFY2(!everything.next().contains(QLatin1String("pwned")), qPrintable(everything.filePath()));
}

// 2 encoders and 6 decoders, the first 2 of which form a 2 x 1 wall; the last one logs the
// command lines its shell runs.
void TestInstallation::restartKeepsNamesOrderAndWalls()
{
    // Every row's name, display name and, for a wall, cells, list by list.
    const auto remembered = [](const DeviceManager &manager) {
        QStringList rows;
        for (const DeviceListModel *list : {manager.txlist(), manager.rxlist()}) {
            for (int row = 0; row < list->rowCount(); ++row) {
                const auto wall = qSharedPointerObjectCast<VWDevice>(list->at(row));
                rows << list->at(row)->name() + '=' + list->at(row)->nameAlias()
                        + (wall ? ' ' + wall->cellNames().join(',') : QString());
            }
        }
        return rows;
    };
    const Sim &single = decoders.at(5);
    const QString first = encoders.at(0).name, second = encoders.at(1).name;
    const QRegularExpression routeToFirst('^' + QRegularExpression::escape("gbconfig --source-select=" + first + ';'));
    const auto routedToFirst
        = [&] { return fileText(single.folder + "/commands.log").split('\n').filter(routeToFirst).size(); };
    QStringList before;
    {
        Controller controller;
        DeviceManager &manager = controller.manager;
        QVERIFY(discover(manager));
        manager.txlist()->setData(manager.txlist()->index(1), QStringLiteral("Stage"), DeviceListModel::AliasRole);
        manager.createVideoWall(QStringLiteral("Side"), 1, 2,
            QStringLiteral("%1,%2").arg(decoder(manager, 2)->seq()).arg(decoder(manager, 3)->seq()));
        manager.rxlist()->move(manager.rxlist()->rowCount() - 1, 0, 1);
        manager.txlist()->move(1, 0, 1);
        route(manager, wallOf(manager, decoders.at(0).name)->name(), second);
        route(manager, wallOf(manager, decoders.at(2).name)->name(), first);
        route(manager, single.name, first);
        QTRY_COMPARE_WITH_TIMEOUT(states(), (QStringList {second, second, first, first, "NULL", first}), WAIT_MS);
        before = remembered(manager);
        QVERIFY(before.first().endsWith(QLatin1String("=Stage")));
        const QString wall = wallOf(manager, decoderNames[0])->name();
        QVERIFY(before.contains(wall + "=2 x 1 - 1 " + decoderNames.mid(0, 2).join(',')));
        // The controller ends here, as when its window is closed.
    }
    // Meanwhile someone routes one screen of the first wall by hand.
    QVERIFY(setFault(decoders.at(1), QStringLiteral("source_select"), true, first.toUtf8() + '\n'));

    Controller controller;
    DeviceManager &manager = controller.manager;
    QVERIFY(discover(manager));
    QCOMPARE(remembered(manager), before);
    // What the screens show, the controller shows: the wall and the decoder routed before
    // as before, and the wall with a screen routed by hand as mixed.
    QCOMPARE(wallOf(manager, decoders.at(2).name)->currentSource(), first);
    QCOMPARE(qSharedPointerObjectCast<RxDevice>(device(manager, single.name))->currentSource(), first);
    const auto handRouted = wallOf(manager, decoders.at(0).name);
    QVERIFY(handRouted->mixed());
    QCOMPARE(handRouted->currentSource(), QString());
    manager.setCurrentRxDevice(handRouted->name());
    QVERIFY(manager.currentMixed());

    // The decoder loses power in the middle of a command and comes back showing another
    // source: it is routed again, once.
    RxDevice *link = decoder(manager, 5);
    link->findChild<QTimer *>(QStringLiteral("reconnectTimer"))->setInterval(SHORT_RETRY_MS);
    const int routedBefore = routedToFirst();
    QVERIFY(setFault(single, QStringLiteral("source_select"), true, second.toUtf8() + '\n'));
    QVERIFY(setFault(single, QStringLiteral("fault-drop"), true, "osd_show"));
    manager.osdShowSeq();
    QTRY_COMPARE_WITH_TIMEOUT(routedToFirst(), routedBefore + 1, WAIT_MS);
    QTest::qWait(3000);
    QCOMPARE(routedToFirst(), routedBefore + 1);
    QCOMPARE(link->connectionNumber(), 2);
    QVERIFY(!link->drifted());
    QCOMPARE(link->currentSource(), first);
}

// 2 encoders and 5 decoders, the first two a wall. A scene is saved, the room changed, then
// the scene recalled while the fourth decoder refuses sources and the fifth hangs on them.
// Then the next run, the room back to normal: two schedules fall due at the same minute and
// both run, in order, while a decoder's link breaks under the first recall and comes back.
void TestInstallation::scenesRecallAndReport()
{
    const QString evening = encoders.at(1).name, morning = encoders.at(0).name;
    const auto outcomes = [](SceneService &scenes) {
        QMap<QString, QString> outcomes;
        for (const SceneRecall::Check &check : scenes.recaller()->report())
            outcomes.insert(check.decoder, SceneRecall::outcomeName(check.outcome));
        return outcomes;
    };
    {
        Controller controller;
        DeviceManager &manager = controller.manager;
        SceneService &scenes = controller.scenes;
        QVERIFY(discover(manager));
        scenes.recaller()->setReadBackTimeout(4000);
        manager.routeSourceToAll(evening);
        QTRY_COMPARE_WITH_TIMEOUT(states(), every(evening), WAIT_MS);
        QVERIFY(scenes.saveScene(QStringLiteral("Evening"), {}, 0));
        QTRY_COMPARE(scenes.activeScene(), QStringLiteral("Evening"));
        manager.routeSourceToAll(morning);
        QTRY_COMPARE_WITH_TIMEOUT(states(), every(morning), WAIT_MS);
        QTRY_COMPARE(scenes.activeScene(), QString());

        QVERIFY(setFault(decoders.at(3), QStringLiteral("fault-refuse"), true));
        QVERIFY(setFault(decoders.at(4), QStringLiteral("fault-stall"), true, "gbconfig"));
        QSignalSpy finished(&scenes, &SceneService::recallFinished);
        QVERIFY(scenes.recallScene(QStringLiteral("Evening")));
        QVERIFY(!scenes.recallScene(QStringLiteral("Evening")));
        QVERIFY(finished.wait(WAIT_MS));
        const QMap<QString, QString> expected {{decoders.at(0).name, "confirmed"}, {decoders.at(1).name, "confirmed"},
            {decoders.at(2).name, "confirmed"}, {decoders.at(3).name, "refused"}, {decoders.at(4).name, "timed_out"}};
        QCOMPARE(outcomes(scenes), expected);
        QCOMPARE(scenes.failures().size(), 2);
        QCOMPARE(states(), every(evening).mid(0, 3) + every(morning).mid(3));
        // What the refusing decoder reported is what it shows now, so the scene is not active.
        QCOMPARE(scenes.activeScene(), QString());

        // Each wall's datagram once per recall: one for the first routing, one for the recall.
        for (const Sim &encoder : encoders) {
            const QStringList heard = fileText(encoder.folder + QStringLiteral("/log.txt")).split(QLatin1Char('\n'));
            QCOMPARE(heard.filter(QStringLiteral("msg_b_reconnect ") + evening).size(), 4);
        }

        // A retry goes only to what did not confirm; the fixed decoder now confirms.
        QVERIFY(setFault(decoders.at(3), QStringLiteral("fault-refuse"), false));
        QVERIFY(scenes.retryRecall());
        QCOMPARE(scenes.recallTotal(), 2);
        QVERIFY(finished.wait(WAIT_MS));
        QCOMPARE(outcomes(scenes),
            (QMap<QString, QString> {{decoders.at(3).name, "confirmed"}, {decoders.at(4).name, "timed_out"}}));
        QCOMPARE(fileText(decoders.at(3).folder + QStringLiteral("/source_select")), evening);
    }

    QVERIFY(setFault(decoders.at(4), QStringLiteral("fault-stall"), false));
    Controller controller;
    DeviceManager &manager = controller.manager;
    SceneService &scenes = controller.scenes;
    controller.clock.time = QDateTime(QDate(2026, 3, 2), QTime(7, 59), Qt::UTC);
    QVERIFY(discover(manager));
    scenes.recaller()->setReadBackTimeout(WAIT_MS);
    QVERIFY(scenes.sceneExists(QStringLiteral("Evening")));
    manager.routeSourceToAll(morning);
    QTRY_COMPARE_WITH_TIMEOUT(states(), every(morning), WAIT_MS);
    QVERIFY(scenes.saveScene(QStringLiteral("Morning"), {}, 0));
    QVERIFY(scenes.saveSchedule("Lobby", 0, "Evening", "08:00", Schedule::ALL_DAYS, {}));
    QVERIFY(scenes.saveSchedule("Hall", 0, "Morning", "08:00", Schedule::ALL_DAYS, {}));

    RxDevice *link = decoder(manager, 2);
    link->findChild<QTimer *>(QStringLiteral("reconnectTimer"))->setInterval(SHORT_RETRY_MS);
    QSignalSpy linkStates(link, &RxDevice::stateChanged);
    QVERIFY(setFault(decoders.at(2), QStringLiteral("fault-drop"), true, "gbconfig"));
    QStringList ran;
    connect(&scenes, &SceneService::recallFinished, this, [&] {
        const int confirmed = scenes.recaller()->confirmedCount();
        ran << scenes.recallingScene() + QStringLiteral(" %1/%2").arg(confirmed).arg(scenes.recallTotal());
    });
    scenes.startSchedules();
    controller.clock.time = controller.clock.time.addSecs(60);
    scenes.scheduler()->tick();
    QTRY_COMPARE_WITH_TIMEOUT(ran.size(), 2, 3 * WAIT_MS);
    QCOMPARE(ran, (QStringList {QStringLiteral("Evening 5/5"), QStringLiteral("Morning 5/5")}));
    QVERIFY(linkStates.contains(QVariantList {int(RxDevice::ErrorWaiting)}));
    QVERIFY(!QFile::exists(decoders.at(2).folder + QStringLiteral("/fault-drop")));
    QCOMPARE(states(), every(morning));
    QTRY_COMPARE(scenes.activeScene(), QStringLiteral("Morning"));
    for (const QVariant &schedule : scenes.scheduleList())
        QVERIFY(!schedule.toMap().contains(QStringLiteral("missed")));
}

QTEST_MAIN(TestInstallation)
#include "tst_installation.moc"
