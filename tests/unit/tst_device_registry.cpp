#include "discovery/discovery_record.h"
#include "json_config.h"
#include "manager/device_registry.h"
#include "manager/video_walls.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "test_home.h"

#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

namespace {

const QString ENCODER = QStringLiteral("IPE3-7C2E0D00AA01");
const QString DECODER = QStringLiteral("IPD9-7C2E0D000001");
const QString SECOND_DECODER = QStringLiteral("IPD9-7C2E0D000002");

// Replies reach the registry through a real socket on loopback, as they would from the LAN.
struct Controller
{
    Controller() { receiver.bind(QHostAddress::LocalHost, 0); }

    void deliver(const QList<QByteArray> &records)
    {
        QUdpSocket sender;
        for (const QByteArray &record : records)
            sender.writeDatagram(record, QHostAddress::LocalHost, receiver.localPort());
        QTRY_VERIFY(receiver.pendingDatagramSize() >= 0);
        // All of them in one read, as a socket notification would find them.
        QTest::qWait(50);
        registry.receiveDiscoveryResponse(&receiver);
    }

    TestHome home;
    JsonConfig config {QStringLiteral("~/.zentrova/config.json"), false};
    DeviceListModel rx {&config}, pending {&config}, tx {&config};
    VideoWalls walls {&rx, &config};
    DeviceRegistry registry {DeviceLists {&rx, &pending, &tx}, &config, &walls};
    QUdpSocket receiver;
};

QStringList names(const DeviceListModel &list)
{
    QStringList result;
    for (int row = 0; row < list.rowCount(); ++row)
        result << list.at(row)->name() + QLatin1Char('=') + list.at(row)->nameAlias();
    return result;
}

} // namespace

class TestDeviceRegistry : public QObject
{
    Q_OBJECT

private slots:
    void displayNames_data();
    void displayNames();
    void offlineAfterFourPassesOnlineAtNextReply();
    void demoModeIgnoresReplies();
};

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
    Controller site;
    QFETCH(QJsonObject, file);
    QFETCH(QStringList, expected);
    QFETCH(int, rxNameNext);

    for (auto it = file.begin(); it != file.end(); ++it)
        site.config.setValue(it.key(), it.value());
    site.deliver({makeDiscoveryRecord(DECODER, QString())});
    site.deliver({makeDiscoveryRecord(SECOND_DECODER, QStringLiteral("Offered"))});
    QCOMPARE(names(site.pending), expected);
    QCOMPARE(site.config.value(QStringLiteral("rx_name_next"), 0), rxNameNext);
    QCOMPARE(site.config.value("alias_map/" + SECOND_DECODER, QString()), expected.at(1).section('=', 1));
}

void TestDeviceRegistry::offlineAfterFourPassesOnlineAtNextReply()
{
    Controller site;
    site.deliver({makeDiscoveryRecord(ENCODER, QString()), makeDiscoveryRecord(DECODER, QString())});
    const DeviceBasePtr encoder = site.tx.at(0);
    const DeviceBasePtr decoder = site.pending.at(0);
    QSignalSpy states(&site.registry, &DeviceRegistry::onlineStatesChanged);

    for (int pass = 1; pass <= 4; ++pass) {
        QCOMPARE(encoder->online(), true);
        site.registry.sendDiscoveryMessage();
    }
    QCOMPARE(encoder->online(), false);
    QCOMPARE(decoder->online(), false);
    QCOMPARE(states.count(), 4);

    site.deliver({makeDiscoveryRecord(ENCODER, QString()), makeDiscoveryRecord(DECODER, QString())});
    QCOMPARE(encoder->online(), true);
    QCOMPARE(decoder->online(), true);
    // One recomputation for the whole read, not one per reply.
    QCOMPARE(states.count(), 5);
}

void TestDeviceRegistry::demoModeIgnoresReplies()
{
    Controller site;
    site.deliver({makeDiscoveryRecord(DECODER, QString())});
    site.registry.setDemoMode(true);
    site.deliver({makeDiscoveryRecord(ENCODER, QString())});
    QCOMPARE(site.tx.rowCount(), 0);
    // A real decoder found before the demo must not join the made-up installation.
    const auto decoder = site.pending.at(0).objectCast<RxDevice>();
    decoder->setDemoVwInfo(VwInfo::standAlone());
    emit decoder->deviceInfoFetched(decoder.data());
    QCOMPARE(site.pending.rowCount(), 1);
    QCOMPARE(site.rx.rowCount(), 0);
}

QTEST_GUILESS_MAIN(TestDeviceRegistry)
#include "tst_device_registry.moc"
