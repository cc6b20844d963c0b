#include "base/oem_setting.h"
#include "discovery/discovery_record.h"
#include "discovery/interface_selection.h"
#include "manager/access_lock.h"
#include "manager/configuration_file.h"
#include "manager/demo_installation.h"
#include "manager/device_manager.h"
#include "manager/device_registry.h"
#include "manager/route_keeper.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/tx_device.h"
#include "models/vw_device.h"
#include "null_surface.h"
#include "qttelnet/qt_telnet.h"
#include "datagram_delivery.h"
#include "scripted_shell_peer.h"
#include "test_files.h"
#include "test_home.h"
#include "video/frame_decoder.h"
#include "video/mini_video_source.h"
#include "video/qimage_grabber_file.h"
#include "video/qimage_grabber_mjpeg.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QUdpSocket>
#include <QtTest>

namespace {

QString decoderName(int n)
{
    return QStringLiteral("IPD9-7C2E0D00000%1").arg(n);
}

const QString ENCODER = QStringLiteral("IPE3-7C2E0D00AA01");
const QString OTHER = QStringLiteral("IPE3-7C2E0D00AA02");
const QString WALL = QStringLiteral("VW:0001:1");
const QByteArray &SWITCH = ScriptedDecoder::SWITCH;

// The facade as start-up makes it, over a settings file the test writes first, in a home of
// its own; discovery replies reach it through a real socket on loopback.
struct Site
{
    explicit Site(const QJsonObject &settings = QJsonObject())
    {
        QDir().mkpath(home.path() + QStringLiteral("/.zentrova"));
        if (!settings.isEmpty())
            writeFile(configPath, QJsonDocument(settings).toJson());
        manager = std::make_unique<DeviceManager>(&oem);
        receiver.bind(QHostAddress::LocalHost, 0);
        // Room for a flood of replies delivered at once.
        receiver.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1 << 20);
    }

    // All the replies in one read, as a socket notification would find them; by default
    // until every new device is made, however many batches a loaded machine takes for it.
    void deliver(const QStringList &names, const QHostAddress &from = QHostAddress::LocalHost, bool wait = true)
    {
        QByteArrayList replies;
        for (const QString &name : names)
            replies << makeDiscoveryRecord(name, QString());
        QVERIFY(deliverTogether(replies, receiver.localPort(), from));
        manager->receiveDiscoveryResponse(&receiver);
        if (wait)
            QTRY_VERIFY(!manager->deviceRegistry()->hasRepliesWaiting());
    }

    // A decoder that answers discovery, and then its shell, which tells its place in a wall.
    RxDevicePtr fetch(const QString &name, const VwInfo &place = VwInfo::standAlone())
    {
        deliver({name});
        const auto decoder = manager->pendingRxList()->findDevice(name, false).objectCast<RxDevice>();
        decoder->setDemoVwInfo(place);
        emit decoder->deviceInfoFetched(decoder.data());
        return decoder;
    }

    QJsonValue stored(const QString &key) const
    {
        return QJsonDocument::fromJson(readFile(configPath)).object().value(key);
    }

    TestHome home;
    const QString configPath = home.path() + QStringLiteral("/.zentrova/config.json");
    OemSetting oem;
    std::unique_ptr<DeviceManager> manager;
    QUdpSocket receiver;
};

} // namespace

// The facade and the parts behind it, as the interface and the LAN reach them.
class TestDeviceManager : public QObject
{
    Q_OBJECT

private slots:
    void discoveredDevices()
    {
        Site site({{"alias_map", QJsonObject {{decoderName(1), "RX - 1"}, {decoderName(2), "RX - 1"}}},
            {"rx_name_next", -4}});
        site.deliver({decoderName(1), decoderName(2), ENCODER});
        // A stored display name another device already has is replaced by the first free
        // generated one, counted from one whatever the file says.
        DeviceListModel *pending = site.manager->pendingRxList();
        QCOMPARE(pending->at(0)->nameAlias(), QStringLiteral("RX - 1"));
        QCOMPARE(pending->at(1)->nameAlias(), QStringLiteral("RX - 2"));
        // Known devices are refreshed, not listed again, and the online states are worked
        // out once for the whole read.
        QSignalSpy states(site.manager->deviceRegistry(), &DeviceRegistry::onlineStatesChanged);
        site.deliver({decoderName(1), decoderName(2), ENCODER});
        QCOMPARE(states.count(), 1);
        QCOMPARE(pending->rowCount(), 2);
        QCOMPARE(site.manager->txlist()->rowCount(), 1);

        // A known device that answers from a new address (DHCP) is streamed from and
        // commanded there.
        const auto moved = pending->at(1).objectCast<RxDevice>();
        QTRY_COMPARE(moved->state(), RxDevice::ErrorWaiting);
        site.deliver({decoderName(2), ENCODER}, QHostAddress(QStringLiteral("127.0.0.2")));
        QCOMPARE(site.manager->txlist()->at(0).objectCast<TxDevice>()->grabber()->source(),
            QStringLiteral("http://127.0.0.2/stream"));
        QVERIFY(QMetaObject::invokeMethod(moved.data(), "doReconnect"));
        QCOMPARE(moved->findChild<QtTelnet *>()->socket()->peerName(), QStringLiteral("127.0.0.2"));

        // A name with the settings file's key separator would share its entries with another
        // device's; it is refused, and logged once.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Ignoring the device IPD9/A-7C2E0D000009"));
        site.deliver({QStringLiteral("IPD9/A-7C2E0D000009"), QStringLiteral("IPD9/A-7C2E0D000009")});
        QCOMPARE(pending->rowCount(), 2);

        // A decoder whose first reading was given up is asked again when it next answers
        // discovery, and is listed in the end.
        ScriptedDecoder shell(pending->at(0).objectCast<RxDevice>(), "NULL");
        shell.peer.silentPrefix = "gbparam";
        shell.connect();
        for (int timeout = 0; timeout < 2 * RxDevice::COMMAND_ATTEMPTS; ++timeout) {
            QVERIFY(QMetaObject::invokeMethod(shell.decoder.data(), "onResponseTimeout"));
            shell.connect();
        }
        QCOMPARE(shell.decoder->pendingCommandCount(), 0);
        shell.peer.silentPrefix.clear();
        site.deliver({decoderName(1)});
        shell.peer.answerLines();
        QTRY_VERIFY(site.manager->rxlist()->findDevice(decoderName(1), false));
    }

    // Past the limit of listed devices new ones are dropped, with one warning and one
    // message; a flood is read in bounded batches between which the event loop runs.
    void floodOfNewNames()
    {
        Site site;
        DeviceRegistry *registry = site.manager->deviceRegistry();
        QCOMPARE(registry->deviceLimit(), DeviceRegistry::MAX_DEVICES_PER_KIND);
        constexpr int LIMIT = DeviceRegistry::REPLIES_PER_BATCH + 20;
        registry->setDeviceLimit(LIMIT);
        QSignalSpy errors(site.manager.get(), &DeviceManager::errorOccured);
        QStringList names;
        for (int n = 0; n < LIMIT + 30; ++n)
            names << QStringLiteral("IPD9-7C2E0D%1").arg(n, 6, 10, QLatin1Char('0'));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("further new ones are not listed")));
        site.deliver(names, QHostAddress::LocalHost, false);
        QVERIFY(site.manager->pendingRxList()->rowCount() <= DeviceRegistry::REPLIES_PER_BATCH);
        QTRY_COMPARE(site.manager->pendingRxList()->rowCount(), LIMIT);
        site.deliver(names.mid(LIMIT));
        QTRY_COMPARE(errors.count(), 1);
        // Another flood, read to its end, is not told again.
        site.deliver(names);
        QCOMPARE(errors.count(), 1);
    }

    // A saved 2 x 1 wall of decoders 2 and 3, behind decoders 1 and 4.
    void wallsAndRouting()
    {
        const QJsonObject wall {
            {"name", WALL}, {"width", 2}, {"height", 1}, {"devices", QJsonArray {decoderName(2), decoderName(3)}}};
        Site site(
            {{"vw", QJsonArray {wall}}, {"orders", QJsonObject {{decoderName(1), 0}, {decoderName(4), 1}, {WALL, 2}}}});
        DeviceListModel *rx = site.manager->rxlist();
        // A saved wall is no sign of a working network: the start-up search still offers
        // "Retry" and "Demo".
        QCOMPARE(site.manager->deviceFound(), 0);
        // Saved before the decoders are back, the wall keeps its place behind them.
        QVERIFY(site.manager->configurationFile()->saveNow());
        QCOMPARE(site.stored("orders").toObject().value(WALL), QJsonValue(2));

        const RxDevicePtr first = site.fetch(decoderName(1));
        const RxDevicePtr fourth = site.fetch(decoderName(4));
        // The wall takes the decoder it names whatever place that reports, and tells it its place.
        QCOMPARE(site.fetch(decoderName(2))->vwInfo(), (VwInfo {2, 1, 0, 0}));
        // No wall can take a decoder whose place lies outside its own grid.
        site.fetch(decoderName(5), VwInfo {2, 2, 2, 0});
        QCOMPARE(site.manager->vwlist()->rowCount(), 1);

        site.deliver({ENCODER});
        QSignalSpy sizes(site.manager.get(), &DeviceManager::currentVwSizeChanged);
        for (const QString &name : {WALL, decoderName(1), decoderName(4)})
            site.manager->setCurrentRxDevice(name);
        QCOMPARE(sizes.count(), 2);
        site.manager->changeRxDeviceSource(QStringLiteral("TX:") + ENCODER, false);
        QCOMPARE(fourth->currentSource(), ENCODER);
        QCOMPARE(first->currentSource(), QString());
        MiniVideoSource *encoderVideo = site.manager->txlist()->at(0).objectCast<TxDevice>()->videoSource();
        QCOMPARE(site.manager->rxsource()->boundSource(), encoderVideo);
        // An encoder not found yet shows the placeholder, not the video shown before.
        first->setCurrentSource(QStringLiteral("IPE3-7C2E0D00FFFF"));
        site.manager->setCurrentRxDevice(decoderName(1));
        QCOMPARE(site.manager->rxsource()->boundSource(), nullptr);

        // Decoder 3 has not answered; a wall status that did not change is not announced again.
        site.manager->setCurrentRxDevice(WALL);
        QCOMPARE(site.manager->vwOnlineStatus().mid(0, 2), (QList<bool> {true, false}));
        QSignalSpy online(site.manager.get(), &DeviceManager::vwOnlineStatusChanged);
        emit site.manager->deviceRegistry()->onlineStatesChanged();
        QCOMPARE(online.count(), 0);

        // What the user changes is saved, not what every discovery pass refreshes; with the
        // options open a rename waits until they close.
        const QTimer *saveTimer = site.manager->configurationFile()->saveTimer();
        QVERIFY(site.manager->configurationFile()->saveNow());
        rx->increaseOfflineCounters();
        QVERIFY(!saveTimer->isActive());
        site.manager->setInOptions(true);
        QVERIFY(rx->setData(rx->index(0), QStringLiteral("Renamed"), DeviceListModel::AliasRole));
        QVERIFY(!saveTimer->isActive());
        site.manager->setInOptions(false);
        QVERIFY(saveTimer->isActive());

        // Decoder 3, turning up after its wall was deleted, is set back to a single display,
        // also after a restart.
        site.manager->deleteVideoWall(rx->findDevice(WALL, false)->guid());
        site.manager.reset();
        site.manager = std::make_unique<DeviceManager>(&site.oem);
        site.fetch(decoderName(3), VwInfo {2, 1, 1, 0});
        QCOMPARE(site.manager->vwlist()->rowCount(), 0);
    }

    // A saved 2 x 1 wall showing ENCODER, of decoders 2 and 3, and decoder 1 on its own.
    void routesLastAndStayTrue()
    {
        const QJsonObject wall {{"name", WALL}, {"width", 2}, {"height", 1}, {"bind", ENCODER},
            {"devices", QJsonArray {decoderName(2), decoderName(3)}}};
        Site site({{"vw", QJsonArray {wall}}});
        site.deliver({decoderName(1), decoderName(2), decoderName(3), ENCODER});
        const auto pending = [&](int n) {
            return site.manager->pendingRxList()->findDevice(decoderName(n), false).objectCast<RxDevice>();
        };
        ScriptedDecoder single(pending(1), "NULL");
        ScriptedDecoder left(pending(2), ENCODER.toUtf8(), "0:1:0:0");
        // Routed by hand while the controller was closed.
        ScriptedDecoder right(pending(3), OTHER.toUtf8(), "0:1:0:1");
        for (ScriptedDecoder *shell : {&single, &left, &right})
            shell->connect();
        DeviceListModel *rx = site.manager->rxlist();
        const auto listedWall = rx->findDevice(WALL, false).objectCast<VWDevice>();
        const auto listed = [&](const QString &name, int role) {
            return rx->index(rx->findDevice(name, false) == rx->at(0) ? 0 : 1).data(role).toBool();
        };
        QVERIFY(listedWall->mixed() && listed(WALL, DeviceListModel::MixedRole));
        QCOMPARE(listedWall->currentSource(), QString());
        site.manager->setCurrentRxDevice(WALL);
        QVERIFY(site.manager->currentMixed());
        QCOMPARE(site.manager->rxsource()->boundSource(), nullptr);
        // On their first connection the decoders were believed, not routed.
        QCOMPARE(left.count(SWITCH) + right.count(SWITCH) + single.count(SWITCH), 0);

        // The wall's route is saved, and with the members agreeing the wall shows it.
        QSignalSpy mixed(site.manager.get(), &DeviceManager::currentMixedChanged);
        QVERIFY(site.manager->configurationFile()->saveNow());
        site.manager->changeRxDeviceSource(QStringLiteral("TX:") + OTHER, false);
        QVERIFY(site.manager->configurationFile()->saveTimer()->isActive());
        QVERIFY(!site.manager->currentMixed());
        QCOMPARE(mixed.count(), 1);
        QCOMPARE(listedWall->currentSource(), OTHER);
        QVERIFY(site.manager->configurationFile()->saveNow());
        QCOMPARE(site.stored("vw").toArray().at(0).toObject().value("bind").toString(), OTHER);
        site.manager->setCurrentRxDevice(decoderName(1));
        site.manager->changeRxDeviceSource(QStringLiteral("TX:") + ENCODER, false);
        // Hiding the numbers reaches the decoders in a wall too.
        site.manager->osdHideSeq();
        for (ScriptedDecoder *shell : {&single, &left, &right})
            shell->peer.answerLines();
        QVERIFY(left.peer.lines.contains("osd_show -c 1"));

        // Back from a power cut with another source: routed again once, and put back on its own
        // tile (column 1 of a wall that is not square); one that keeps the wrong source
        // afterwards is shown as drifted.
        right.peer.outputs[ScriptedDecoder::QUERY_PLACE] = "0:0:0:0";
        right.powerCycle(ENCODER.toUtf8());
        QCOMPARE(right.count(SWITCH), 2);
        QCOMPARE(right.peer.outputs[ScriptedDecoder::QUERY_SOURCE], OTHER.toUtf8());
        QCOMPARE(right.peer.outputs[ScriptedDecoder::QUERY_PLACE], QByteArray("0:1:0:1"));
        QVERIFY(right.peer.lines.contains("e e_vw_enable_0_1_0_1;e e_reconnect"));
        QVERIFY(!right.decoder->drifted());
        single.stubborn = true;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("still shows .* after being routed again"));
        single.powerCycle(OTHER.toUtf8());
        QCOMPARE(single.count(SWITCH), 2);
        QVERIFY(single.decoder->drifted() && listed(decoderName(1), DeviceListModel::DriftedRole));
        // A decoder back with the routed source is no longer drifted; with the switch off a
        // decoder back with another source is left as it is, and the lists show what it shows.
        single.powerCycle(ENCODER.toUtf8());
        QVERIFY(!single.decoder->drifted());
        // A screen cleared by the controller that comes back showing a source is cleared again.
        single.stubborn = false;
        QCOMPARE(site.manager->routeSource(QString(), decoderName(1)), DeviceManager::RouteResult::Routed);
        single.peer.answerLines();
        single.powerCycle(ENCODER.toUtf8());
        QCOMPARE(single.count(SWITCH), 4);
        QCOMPARE(single.peer.outputs[ScriptedDecoder::QUERY_SOURCE], QByteArray("NULL"));
        QCOMPARE(single.decoder->currentSource(), QString());
        QVERIFY(!single.decoder->drifted());
        site.manager->setRerouteOnReconnect(false);
        site.manager->setRestoreRoutesAtStart(true);
        left.powerCycle(ENCODER.toUtf8());
        QCOMPARE(left.count(SWITCH), 1);
        QVERIFY(listedWall->mixed());
        QCOMPARE(site.stored("reroute_on_reconnect"), QJsonValue(false));

        // After a restart the wall shows again what its decoders report; both switches stay.
        site.manager.reset();
        site.manager = std::make_unique<DeviceManager>(&site.oem);
        QVERIFY(!site.manager->rerouteOnReconnect());
        QVERIFY(site.manager->restoreRoutesAtStart());
        QCOMPARE(site.manager->rxlist()->at(0).objectCast<VWDevice>()->currentSource(), OTHER);
    }

    void savedAloneSurvivesARestart_data()
    {
        QTest::addColumn<QString>("change");
        for (const char *change : {"power on", "power off", "password", "order"})
            QTest::newRow(change) << QString::fromLatin1(change);
    }

    // Each thing the user saves reaches the file by itself, with nothing else saved after it.
    void savedAloneSurvivesARestart()
    {
        QFETCH(QString, change);
        const QStringList encoders {ENCODER, OTHER, QStringLiteral("IPE3-7C2E0D00AA03")};
        Site site({{"orders", QJsonObject {{encoders.at(0), 0}, {encoders.at(1), 1}, {encoders.at(2), 2}}}});
        site.deliver(encoders);
        QVERIFY(site.manager->configurationFile()->saveNow());
        const QByteArray before = readFile(site.configPath);
        if (change == QLatin1String("power on"))
            site.manager->changePowerCommand(QStringLiteral("40 05"), QString());
        else if (change == QLatin1String("power off"))
            site.manager->changePowerCommand(QString(), QStringLiteral("FF 37"));
        else if (change == QLatin1String("password"))
            QVERIFY(site.manager->changePassword(QStringLiteral("tulpe"), QStringLiteral("Lobby 2")));
        else
            site.manager->txlist()->move(2, 0, 1);
        QTRY_VERIFY(readFile(site.configPath) != before && !site.manager->configurationFile()->saveTimer()->isActive());
        // Ended without a chance to save on the way out, as by a power cut.
        const QByteArray kept = readFile(site.configPath);
        site.manager.reset();
        QVERIFY(writeFile(site.configPath, kept));
        site.manager = std::make_unique<DeviceManager>(&site.oem);
        site.deliver(encoders);
        QCOMPARE(site.manager->savedPowerOnCommand(), change == QLatin1String("power on") ? "40 05" : "");
        QCOMPARE(site.manager->savedPowerOffCommand(), change == QLatin1String("power off") ? "FF 37" : "");
        QCOMPARE(site.manager->login(QStringLiteral("Lobby 2")), change == QLatin1String("password"));
        QCOMPARE(site.manager->txlist()->at(0)->name(), encoders.at(change == QLatin1String("order") ? 2 : 0));
    }

    void refusedAndFailedChanges()
    {
        // A stored command that cannot be sent is told to the interface, which listens only
        // once the manager is made.
        Site site({{"display_power_cmd", QJsonObject {{"on", "40 04\n reboot"}}}});
        QSignalSpy errors(site.manager.get(), &DeviceManager::errorOccured);
        QTRY_COMPARE(errors.count(), 1);
        // With no interface to search on, the search says so.
        // Unset only after the search: it looks for interfaces again when it found none.
        qputenv(INTERFACES_VARIABLE, "no-such-interface");
        Site unplugged;
        QSignalSpy searchErrors(unplugged.manager.get(), &DeviceManager::errorOccured);
        unplugged.manager->startDiscovery(true);
        qunsetenv(INTERFACES_VARIABLE);
        QCOMPARE(searchErrors.count(), 1);
        QVERIFY(searchErrors.at(0).at(0).toString().startsWith(QLatin1String("No network connection was found.")));
        QSignalSpy reset(site.manager.get(), &DeviceManager::systemReset);
        // The settings relock a quarter of an hour after an unlock.
        QVERIFY(site.manager->login(QStringLiteral("tulpe")));
        const auto *relock = site.manager->accessLock()->findChild<QTimer *>(QStringLiteral("relockTimer"));
        QVERIFY(relock->isActive() && relock->isSingleShot() && relock->interval() == 15 * 60 * 1000);
        // A line break would run more than the display command on every decoder.
        QVERIFY(!site.manager->changePowerCommand(QStringLiteral("40 04\n reboot"), QStringLiteral("FF 36")));
        QCOMPARE(errors.count(), 2);
        QVERIFY(!readFile(site.configPath).contains("FF 36"));
        // A folder where the settings file should be: it can be neither written, removed nor emptied.
        QVERIFY(QFile::remove(site.configPath) && QDir().mkpath(site.configPath + QStringLiteral("/blocked")));
        // Neither change may be reported as done: the interface would cover the error with success.
        QVERIFY(!site.manager->changePowerCommand(QStringLiteral("40 04"), QStringLiteral("FF 36")));
        QCOMPARE(errors.count(), 3);
        QVERIFY(!site.manager->changePassword(QStringLiteral("tulpe"), QStringLiteral("new")));
        QCOMPARE(errors.count(), 4);
        site.manager->doFactoryDefault();
        QCOMPARE(errors.count(), 5);
        QCOMPARE(reset.count(), 0);
    }

    void demoInstallation()
    {
        NullSurface cell;
        Site site({{"preview", QJsonObject {{"thumbnail_fps", 4}}}});
        site.deliver({decoderName(1)});
        const auto real = site.manager->pendingRxList()->at(0).objectCast<RxDevice>();
        const QByteArray before = readFile(site.configPath);
        site.manager->enterDemoMode();
        // Made within a millisecond, each wall still has an identity of its own.
        QSet<QString> walls;
        for (int row = 0; row < site.manager->vwlist()->rowCount(); ++row)
            walls << site.manager->vwlist()->index(row, 0).data(DeviceListModel::NameRole).toString();
        QCOMPARE(walls.size(), 3);
        // A real decoder found before must not join the made-up installation.
        real->setDemoVwInfo(VwInfo::standAlone());
        emit real->deviceInfoFetched(real.data());
        QVERIFY(!site.manager->rxlist()->findDevice(decoderName(1), true));

        // Nothing is decoded until a view shows a demo encoder.
        QImageGrabberFile *grabber = site.manager->demoInstallation()->grabber();
        grabber->setSource(QStringLiteral(ZENTROVA_BINARY_DIR "/OrvantaLiteDemo.avi"));
        QVERIFY(grabber->startGrabbing());
        MiniVideoSource *thumbnail = site.manager->txlist()->at(0).objectCast<TxDevice>()->videoSource();
        qRegisterMetaType<QImage *>();
        QSignalSpy frames(thumbnail, &MiniVideoSource::imageReceived);
        QVERIFY(grabber->findChild<FrameDecoder *>()->shownSize().isEmpty());
        thumbnail->setVideoSurface(&cell);
        thumbnail->setSize(QSize(160, 90));
        QTRY_VERIFY(frames.count() > 0);
        // Thumbnails draw at the configured rate.
        QCOMPARE(thumbnail->shownFrameInterval(), 250);

        // Changes live in memory only, and a factory default keeps the real settings.
        QVERIFY(site.manager->changePassword(QStringLiteral("tulpe"), QStringLiteral("demo")));
        QSignalSpy reset(site.manager.get(), &DeviceManager::systemReset);
        site.manager->doFactoryDefault();
        QCOMPARE(reset.count(), 1);
        site.manager.reset();
        QCOMPARE(readFile(site.configPath), before);
    }
};

QTEST_MAIN(TestDeviceManager)
#include "tst_device_manager.moc"
