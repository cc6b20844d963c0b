#include "discovery/discovery_record.h"
#include "json_config.h"
#include "log_capture.h"
#include "manager/device_registry.h"
#include "manager/video_walls.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/vw_device.h"
#include "test_home.h"

#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

namespace {

const QString ENCODER = QStringLiteral("IPE3-7C2E0D00AA01");
const QString DECODER = QStringLiteral("IPD9-7C2E0D000001");
const QString SECOND_DECODER = QStringLiteral("IPD9-7C2E0D000002");

} // namespace

// Replies reach the registry through a real socket on loopback, as they would from the LAN.
class TestDeviceRegistry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void onlyEncodersAndDecodersCount();
    void displayNames_data();
    void displayNames();
    void offlineAfterFourPassesOnlineAtNextReply();
    void demoModeIgnoresReplies();

private:
    void deliver(const QList<QByteArray> &records);
    QStringList names(const DeviceListModel &list) const;

    std::unique_ptr<TestHome> home;
    std::unique_ptr<JsonConfig> config;
    std::unique_ptr<DeviceListModel> rx, pending, tx;
    std::unique_ptr<VideoWalls> walls;
    std::unique_ptr<DeviceRegistry> registry;
    std::unique_ptr<QUdpSocket> receiver;
};

void TestDeviceRegistry::init()
{
    home = std::make_unique<TestHome>();
    config = std::make_unique<JsonConfig>(QStringLiteral("~/.zentrova/config.json"), false);
    rx = std::make_unique<DeviceListModel>(config.get());
    pending = std::make_unique<DeviceListModel>(config.get());
    tx = std::make_unique<DeviceListModel>(config.get());
    walls = std::make_unique<VideoWalls>(rx.get(), config.get());
    registry
        = std::make_unique<DeviceRegistry>(DeviceLists {rx.get(), pending.get(), tx.get()}, config.get(), walls.get());
    receiver = std::make_unique<QUdpSocket>();
    QVERIFY(receiver->bind(QHostAddress::LocalHost, 0));
}

void TestDeviceRegistry::cleanup()
{
    registry.reset();
    walls.reset();
    rx.reset();
    pending.reset();
    tx.reset();
    config.reset();
    receiver.reset();
    home.reset();
}

void TestDeviceRegistry::deliver(const QList<QByteArray> &records)
{
    QUdpSocket sender;
    for (const QByteArray &record : records)
        sender.writeDatagram(record, QHostAddress::LocalHost, receiver->localPort());
    QTRY_VERIFY(receiver->pendingDatagramSize() >= 0);
    // All of them in one read, as a socket notification would find them.
    QTest::qWait(50);
    registry->receiveDiscoveryResponse(receiver.get());
}

QStringList TestDeviceRegistry::names(const DeviceListModel &list) const
{
    QStringList result;
    for (int row = 0; row < list.rowCount(); ++row)
        result << list.at(row)->name() + QLatin1Char('=') + list.at(row)->nameAlias();
    return result;
}

// Encoders and decoders are the LAN session's part; here what must create nothing.
void TestDeviceRegistry::onlyEncodersAndDecodersCount()
{
    // A saved wall whose identity a reply could copy; walls share one record.
    const VWDevicePtr wall = VideoWalls::wallFromRecord(
        QJsonObject {{"name", "VW:0001:1"}, {"width", 1}, {"height", 1}, {"devices", QJsonArray {""}}}, QJsonObject());
    rx->addDevice(wall, -1);
    const QHostAddress wallAddress = wall->meta()->address;
    deliver({makeDiscoveryRecord(QStringLiteral("VW:0001:1"), QString()),
        makeDiscoveryRecord(QStringLiteral("ABC-IPD9-7C2E0D000001"), QString()), QByteArray(100, 'x')});
    QCOMPARE(tx->rowCount() + pending->rowCount(), 0);
    QCOMPARE(rx->rowCount(), 1);
    QCOMPARE(wall->meta()->address, wallAddress);
}

void TestDeviceRegistry::displayNames_data()
{
    QTest::addColumn<QJsonObject>("file");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("rxNameNext");

    const QJsonObject lobby {{DECODER, "Lobby"}, {SECOND_DECODER, "Lobby"}};
    QTest::newRow("generated") << QJsonObject() << QStringList {DECODER + "=RX - 1", SECOND_DECODER + "=RX - 2"} << 3;
    QTest::newRow("stored, then taken") << QJsonObject {{"alias_map", lobby}}
                                        << QStringList {DECODER + "=Lobby", SECOND_DECODER + "=RX - 1"} << 2;
    QTest::newRow("counter skips a used name")
        << QJsonObject {{"alias_map", QJsonObject {{DECODER, "RX - 3"}}}, {"rx_name_next", 3}}
        << QStringList {DECODER + "=RX - 3", SECOND_DECODER + "=RX - 4"} << 5;
    QTest::newRow("counter below one") << QJsonObject {{"rx_name_next", -4}}
                                       << QStringList {DECODER + "=RX - 1", SECOND_DECODER + "=RX - 2"} << 3;
}

void TestDeviceRegistry::displayNames()
{
    QFETCH(QJsonObject, file);
    QFETCH(QStringList, expected);
    QFETCH(int, rxNameNext);

    for (auto it = file.begin(); it != file.end(); ++it)
        config->setValue(it.key(), it.value());
    deliver({makeDiscoveryRecord(DECODER, QString())});
    deliver({makeDiscoveryRecord(SECOND_DECODER, QStringLiteral("Offered"))});
    QCOMPARE(names(*pending), expected);
    QCOMPARE(config->value(QStringLiteral("rx_name_next"), 0), rxNameNext);
    QCOMPARE(config->value("alias_map/" + SECOND_DECODER, QString()), expected.at(1).section('=', 1));
}

void TestDeviceRegistry::offlineAfterFourPassesOnlineAtNextReply()
{
    deliver({makeDiscoveryRecord(ENCODER, QString()), makeDiscoveryRecord(DECODER, QString())});
    const DeviceBasePtr encoder = tx->at(0);
    const DeviceBasePtr decoder = pending->at(0);
    QSignalSpy states(registry.get(), &DeviceRegistry::onlineStatesChanged);

    for (int pass = 1; pass <= 4; ++pass) {
        QCOMPARE(encoder->online(), true);
        registry->sendDiscoveryMessage();
    }
    QCOMPARE(encoder->online(), false);
    QCOMPARE(decoder->online(), false);
    QCOMPARE(states.count(), 4);

    deliver({makeDiscoveryRecord(ENCODER, QString()), makeDiscoveryRecord(DECODER, QString())});
    QCOMPARE(encoder->online(), true);
    QCOMPARE(decoder->online(), true);
    // One recomputation for the whole read, not one per reply.
    QCOMPARE(states.count(), 5);
}

void TestDeviceRegistry::demoModeIgnoresReplies()
{
    deliver({makeDiscoveryRecord(DECODER, QString())});
    registry->setDemoMode(true);
    deliver({makeDiscoveryRecord(ENCODER, QString())});
    QCOMPARE(tx->rowCount(), 0);
    // A real decoder found before the demo must not join the made-up installation.
    const auto decoder = pending->at(0).objectCast<RxDevice>();
    decoder->setDemoVwInfo(VwInfo::standAlone());
    emit decoder->deviceInfoFetched(decoder.data());
    QCOMPARE(pending->rowCount(), 1);
    QCOMPARE(rx->rowCount(), 0);
}

QTEST_GUILESS_MAIN(TestDeviceRegistry)
#include "tst_device_registry.moc"
