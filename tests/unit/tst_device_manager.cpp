#include "discovery/discovery_record.h"
#include "manager/configuration_file.h"
#include "manager/demo_installation.h"
#include "manager/device_manager.h"
#include "manager/device_registry.h"
#include "mini_video_source.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/tx_device.h"
#include "models/vw_device.h"
#include "oem_setting.h"
#include "qimagegrabber/qimage_grabber_file.h"
#include "test_files.h"
#include "test_home.h"

#include <QAbstractVideoSurface>
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
const QString WALL = QStringLiteral("VW:0001:1");

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
    }

    // All the replies in one read, as a socket notification would find them.
    void deliver(const QStringList &names)
    {
        QUdpSocket sender;
        for (const QString &name : names)
            sender.writeDatagram(makeDiscoveryRecord(name, QString()), QHostAddress::LocalHost, receiver.localPort());
        QTRY_VERIFY(receiver.pendingDatagramSize() >= 0);
        QTest::qWait(50);
        manager->receiveDiscoveryResponse(&receiver);
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

    int savedOrder(const QString &name) const
    {
        return QJsonDocument::fromJson(readFile(configPath)).object().value("orders").toObject().value(name).toInt(-1);
    }

    TestHome home;
    const QString configPath = home.path() + QStringLiteral("/.zentrova/config.json");
    OemSetting oem;
    std::unique_ptr<DeviceManager> manager;
    QUdpSocket receiver;
};

class NullSurface : public QAbstractVideoSurface
{
public:
    QList<QVideoFrame::PixelFormat> supportedPixelFormats(QAbstractVideoBuffer::HandleType) const override
    {
        return {QVideoFrame::Format_RGB32};
    }
    bool present(const QVideoFrame &) override { return true; }
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
    }

    // A saved 2 x 1 wall of decoders 2 and 3, behind decoders 1 and 4.
    void wallsAndRouting()
    {
        const QJsonObject wall {
            {"name", WALL}, {"width", 2}, {"height", 1}, {"devices", QJsonArray {decoderName(2), decoderName(3)}}};
        Site site(
            {{"vw", QJsonArray {wall}}, {"orders", QJsonObject {{decoderName(1), 0}, {decoderName(4), 1}, {WALL, 2}}}});
        DeviceListModel *rx = site.manager->rxlist();
        // Saved before the decoders are back, the wall keeps its place behind them.
        QVERIFY(site.manager->configurationFile()->saveNow());
        QCOMPARE(site.savedOrder(WALL), 2);

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

        // Decoder 3, turning up after its wall was deleted, is set back to a single display.
        site.manager->deleteVideoWall(rx->findDevice(WALL, false)->guid());
        site.fetch(decoderName(3), VwInfo {2, 1, 1, 0});
        QCOMPARE(site.manager->vwlist()->rowCount(), 0);
    }

    void passwordAndDisplayCommandsSurviveARestart()
    {
        Site site;
        QVERIFY(site.manager->changePassword(QStringLiteral("tulpe"), QStringLiteral("Lobby 2")));
        QVERIFY(site.manager->changePowerCommand(QStringLiteral("40 05"), QStringLiteral("FF 37")));
        site.manager.reset();
        site.manager = std::make_unique<DeviceManager>(&site.oem);
        QVERIFY(site.manager->login(QStringLiteral("Lobby 2")));
        QCOMPARE(site.manager->savedPowerOffCommand(), QStringLiteral("FF 37"));
    }

    void refusedAndFailedChanges()
    {
        Site site;
        QSignalSpy errors(site.manager.get(), &DeviceManager::errorOccured);
        QSignalSpy reset(site.manager.get(), &DeviceManager::systemReset);
        // A line break would run more than the display command on every decoder.
        QVERIFY(!site.manager->changePowerCommand(QStringLiteral("40 04\n reboot"), QStringLiteral("FF 36")));
        QCOMPARE(errors.count(), 1);
        QVERIFY(!readFile(site.configPath).contains("FF 36"));
        // A folder where the settings file should be: it can be neither written, removed nor emptied.
        QVERIFY(QFile::remove(site.configPath) && QDir().mkpath(site.configPath + QStringLiteral("/blocked")));
        // Neither change may be reported as done: the interface would cover the error with success.
        QVERIFY(!site.manager->changePowerCommand(QStringLiteral("40 04"), QStringLiteral("FF 36")));
        QCOMPARE(errors.count(), 2);
        QVERIFY(!site.manager->changePassword(QStringLiteral("tulpe"), QStringLiteral("new")));
        QCOMPARE(errors.count(), 3);
        site.manager->doFactoryDefault();
        QCOMPARE(errors.count(), 4);
        QCOMPARE(reset.count(), 0);
    }

    // Thumbnails draw at the configured rate, 10 a second when none is set, every frame at 0.
    void thumbnailRate_data()
    {
        QTest::addColumn<QJsonObject>("settings");
        QTest::addColumn<int>("interval");
        const auto fps = [](int value) { return QJsonObject {{"preview", QJsonObject {{"thumbnail_fps", value}}}}; };
        QTest::newRow("default") << QJsonObject() << 100;
        QTest::newRow("4 a second") << fps(4) << 250;
        QTest::newRow("every frame") << fps(0) << 0;
    }

    void thumbnailRate()
    {
        QFETCH(QJsonObject, settings);
        QFETCH(int, interval);
        NullSurface cell;
        Site site(settings);
        site.manager->enterDemoMode();
        MiniVideoSource *thumbnail = site.manager->txlist()->at(0).objectCast<TxDevice>()->videoSource();
        thumbnail->setVideoSurface(&cell);
        QCOMPARE(thumbnail->shownFrameInterval(), interval);
        thumbnail->setVideoSurface(nullptr);
    }

    void demoInstallation()
    {
        NullSurface cell;
        Site site;
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
        QTest::qWait(300);
        QCOMPARE(frames.count(), 0);
        thumbnail->setVideoSurface(&cell);
        thumbnail->setSize(QSize(160, 90));
        QTRY_VERIFY(frames.count() > 0);

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
