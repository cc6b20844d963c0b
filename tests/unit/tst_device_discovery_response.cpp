#include "discovery/device_discovery_response.h"
#include "discovery/discovery_record.h"
#include "discovery/interface_selection.h"
#include "wire_fixtures.h"

#include <QtTest>

Q_DECLARE_METATYPE(ResponseKind)

namespace {

const QHostAddress deviceAddress(QStringLiteral("192.0.2.10"));

DeviceDiscoveryResponsePtr parsed(const QByteArray &datagram)
{
    return DeviceDiscoveryResponse::parse(datagram, deviceAddress, 3336);
}

} // namespace

// What discovery reads from a reply, and where it searches.
class TestDeviceDiscoveryResponse : public QObject
{
    Q_OBJECT

private slots:
    void readsTheDevicesLayout()
    {
        const DeviceDiscoveryResponsePtr reply = parsed(encoderReplyFixture());
        QVERIFY(reply);
        QCOMPARE(reply->name(), QStringLiteral("IPE3x-7c2e0d00aa01"));
        QCOMPARE(reply->alias(), QStringLiteral("Camera"));
        QCOMPARE(reply->id, QStringLiteral("7c2e0d00aa01"));
        QCOMPARE(reply->deviceKind(), ResponseKind::Encoder);
        // The controller writes records the same way when it stands in for a device.
        QCOMPARE(makeDiscoveryRecord(reply->name(), reply->alias()), encoderReplyFixture());
        const QString decoder = QStringLiteral("IPD9-7C2E0D000001");
        QCOMPARE(makeDiscoveryRecord(decoder, QString()).left(8), QByteArray("\2\0\0\0\2\0\0\0", 8));
        // A name that fills its 64 bytes ends there, whatever follows.
        QByteArray full = encoderReplyFixture();
        full.replace(40, 72, "IPE3x-7c2e0d00aa01" + QByteArray(46, 'x') + "trailing");
        QCOMPARE(parsed(full)->name(), QStringLiteral("IPE3x-7c2e0d00aa01") + QString(46, QLatin1Char('x')));
        // A character that would not fit whole is left out.
        const QString cut = QString(31, QLatin1Char('a')) + QStringLiteral("\u5927");
        QCOMPARE(parsed(makeDiscoveryRecord(decoder, cut))->alias(), cut.left(31));
        // Bytes past the record are not read; a datagram short of one is no reply, and its
        // name finds no listed device either.
        QVERIFY(parsed(encoderReplyFixture() + "more"));
        const QByteArray cutShort = encoderReplyFixture().chopped(1);
        QVERIFY(!parsed(cutShort));
        QVERIFY(DeviceDiscoveryResponse::nameOf(cutShort).isEmpty());
    }

    void names_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("id"); // empty: the reply is dropped
        QTest::addColumn<ResponseKind>("kind");
        QTest::newRow("decoder") << QByteArray("IPD9DEMO-7C2E0DFE0001") << "7C2E0DFE0001" << ResponseKind::Decoder;
        QTest::newRow("first twelve of a longer run")
            << QByteArray("ipd9-0123456789abcdef") << "0123456789ab" << ResponseKind::Decoder;
        QTest::newRow("id anywhere, kind at the start")
            << QByteArray("x;IPE1-7c2e0d00aa01") << "7c2e0d00aa01" << ResponseKind::Unknown;
        QTest::newRow("wall name") << QByteArray("VW-2") << "VW" << ResponseKind::Unknown;
        QTest::newRow("short identity") << QByteArray("IPD9-12345") << QString() << ResponseKind::Unknown;
        QTest::newRow("no model part") << QByteArray("IPE-7c2e0d00aa01") << QString() << ResponseKind::Unknown;
    }

    void names()
    {
        QFETCH(QByteArray, name);
        QByteArray datagram = encoderReplyFixture();
        datagram.replace(40, 24, name.leftJustified(24, '\0'));
        const DeviceDiscoveryResponsePtr reply = parsed(datagram);
        QTEST(reply ? reply->id : QString(), "id");
        QTEST(reply ? reply->deviceKind() : ResponseKind::Unknown, "kind");
    }

    void interfaceSelection_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("unmatched");
        QTest::newRow("blanks and commas keep all")
            << " , ," << QStringList {"10.1.2.3", "192.0.2.1", "198.51.100.7"} << QStringList();
        QTest::newRow("overlapping entries keep an address once")
            << "eth0,10.0.0.0/8" << QStringList {"10.1.2.3", "192.0.2.1"} << QStringList();
        QTest::newRow("trimmed, names exact or displayed, unknown entries reported, order kept")
            << " AV LAN , ETH0,eth,wlan0, 192.0.2.0/24" << QStringList {"192.0.2.1", "198.51.100.7"}
            << QStringList {"ETH0", "eth", "wlan0"};
    }

    void interfaceSelection()
    {
        QFETCH(QString, selection);
        // Two cards, the first with two addresses, as an installer's PC might have them.
        const QList<InterfaceAddress> candidates {{"eth0", "Office", QHostAddress("10.1.2.3"), {}},
            {"eth0", "Office", QHostAddress("192.0.2.1"), {}}, {"eth1", "AV LAN", QHostAddress("198.51.100.7"), {}}};
        QStringList reported;
        QStringList selected;
        for (const InterfaceAddress &address : selectInterfaceAddresses(candidates, selection, &reported))
            selected << address.ip.toString();
        QTEST(selected, "expected");
        QTEST(reported, "unmatched");
    }
};

QTEST_GUILESS_MAIN(TestDeviceDiscoveryResponse)
#include "tst_device_discovery_response.moc"
