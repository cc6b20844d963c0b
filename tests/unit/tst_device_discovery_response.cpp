#include "device_discovery_response.h"
#include "discovery_record.h"

#include <QtTest>

Q_DECLARE_METATYPE(ResponseKind)

namespace {

const QHostAddress deviceAddress(QStringLiteral("192.0.2.10"));

QByteArray record(const QByteArray &name)
{
    QByteArray r = makeDiscoveryRecord(QString(), QString());
    r.replace(DISCOVERY_NAME_OFFSET, name.size(), name);
    return r;
}

} // namespace

class TestDeviceDiscoveryResponse : public QObject
{
    Q_OBJECT

private slots:
    void names_data();
    void names();
    void datagramSizes_data();
    void datagramSizes();
    void nameFillsWholeField();
    void aliasIsReadUpToItsField();
};

void TestDeviceDiscoveryResponse::names_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("id"); // empty: the reply is dropped
    QTest::addColumn<ResponseKind>("kind");

    QTest::newRow("decoder, upper-case id")
        << QByteArray("IPD9DEMO-7C2E0DFE0001") << "7C2E0DFE0001" << ResponseKind::Decoder;
    QTest::newRow("encoder, lower-case id")
        << QByteArray("IPE3x-7c2e0d00aa01") << "7c2e0d00aa01" << ResponseKind::Encoder;
    QTest::newRow("lower-case prefix") << QByteArray("ipd9abc-7c2e0d0000ff") << "7c2e0d0000ff" << ResponseKind::Decoder;
    QTest::newRow("mixed-case prefix") << QByteArray("iPe1-7c2e0d0000ff") << "7c2e0d0000ff" << ResponseKind::Encoder;
    QTest::newRow("only three letters decide the kind")
        << QByteArray("IPDX-7c2e0d0000ff") << "7c2e0d0000ff" << ResponseKind::Decoder;
    QTest::newRow("longer hex run gives its first twelve")
        << QByteArray("IPD9-0123456789ABCDEF") << "0123456789AB" << ResponseKind::Decoder;
    QTest::newRow("match anywhere, kind from the start")
        << QByteArray("x;IPE1-7c2e0d00aa01") << "7c2e0d00aa01" << ResponseKind::Unknown;
    QTest::newRow("wall name") << QByteArray("VW-2") << "VW" << ResponseKind::Unknown;
    QTest::newRow("wall name in lower case") << QByteArray("my vw") << "vw" << ResponseKind::Unknown;
    QTest::newRow("decoder without identity but with VW") << QByteArray("IPD9VW-12") << "VW" << ResponseKind::Decoder;
    QTest::newRow("short identity") << QByteArray("IPD9-12345") << QString() << ResponseKind::Unknown;
    QTest::newRow("no model part") << QByteArray("IPE-7c2e0d00aa01") << QString() << ResponseKind::Unknown;
    QTest::newRow("non-hex identity") << QByteArray("IPE1-7c2e0d00aag1") << QString() << ResponseKind::Unknown;
    QTest::newRow("other family") << QByteArray("IPX1-7c2e0d00aa01") << QString() << ResponseKind::Unknown;
    QTest::newRow("empty name") << QByteArray() << QString() << ResponseKind::Unknown;
    QTest::newRow("NUL before the identity")
        << QByteArray("IPE1\0-7c2e0d00aa01", 18) << QString() << ResponseKind::Unknown;
    QTest::newRow("non-ASCII digits are no hex") << QByteArray(
        "IPE1-\xd9\xa1\xd9\xa2\xd9\xa3\xd9\xa4\xd9\xa5\xd9\xa6\xd9\xa7\xd9\xa8\xd9\xa9\xd9\xa0\xd9\xa1"
        "\xd9\xa2") << QString() << ResponseKind::Unknown;
}

void TestDeviceDiscoveryResponse::names()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, id);
    QFETCH(ResponseKind, kind);

    const DeviceDiscoveryResponsePtr response = DeviceDiscoveryResponse::parse(record(name), deviceAddress, 3335);
    if (id.isEmpty()) {
        QVERIFY(response.isNull());
        return;
    }
    QVERIFY(response);
    QCOMPARE(response->name(), QString::fromUtf8(name));
    QCOMPARE(response->id, id);
    QCOMPARE(response->deviceKind(), kind);
    QCOMPARE(response->address, deviceAddress);
    QCOMPARE(response->port, 3335);
}

void TestDeviceDiscoveryResponse::datagramSizes_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("empty") << 0 << false;
    QTest::newRow("the request itself") << 8 << false;
    QTest::newRow("one byte short") << 291 << false;
    QTest::newRow("exact") << 292 << true;
    QTest::newRow("longer") << 400 << true;
}

void TestDeviceDiscoveryResponse::datagramSizes()
{
    QFETCH(int, size);
    QFETCH(bool, accepted);

    // Filled with 0xff past the record, so that any byte read beyond it would show.
    QByteArray datagram = makeDiscoveryRecord(QStringLiteral("IPE3x-7c2e0d00aa01"), QStringLiteral("Camera"));
    datagram.resize(qMax(size, DISCOVERY_RECORD_SIZE));
    datagram.replace(DISCOVERY_RECORD_SIZE, datagram.size() - DISCOVERY_RECORD_SIZE,
        QByteArray(datagram.size() - DISCOVERY_RECORD_SIZE, '\xff'));
    datagram.truncate(size);

    const DeviceDiscoveryResponsePtr response = DeviceDiscoveryResponse::parse(datagram, deviceAddress, 3336);
    QCOMPARE(!response.isNull(), accepted);
    if (accepted) {
        QCOMPARE(response->raw, datagram.left(DISCOVERY_RECORD_SIZE));
        QCOMPARE(response->id, QStringLiteral("7c2e0d00aa01"));
    }
}

void TestDeviceDiscoveryResponse::nameFillsWholeField()
{
    // 51 characters of model part, the hyphen and twelve digits: 64 bytes, no NUL; the
    // bytes that follow the field must not join the name.
    const QByteArray name = "IPD" + QByteArray(48, 'm') + "-7c2e0d0000ff";
    QCOMPARE(name.size(), DISCOVERY_NAME_SIZE);
    QByteArray datagram = record(name);
    datagram.replace(DISCOVERY_NAME_OFFSET + DISCOVERY_NAME_SIZE, 8, QByteArray(8, 'Z'));

    const DeviceDiscoveryResponsePtr response = DeviceDiscoveryResponse::parse(datagram, deviceAddress, 3336);
    QVERIFY(response);
    QCOMPARE(response->name(), QString::fromLatin1(name));
    QCOMPARE(response->id, QStringLiteral("7c2e0d0000ff"));

    // Longer names are cut by whoever builds the record, never spill into the next field.
    const QByteArray built = makeDiscoveryRecord(QString::fromLatin1(name + "overflow"), QString());
    QCOMPARE(built.size(), DISCOVERY_RECORD_SIZE);
    QCOMPARE(built.mid(DISCOVERY_NAME_OFFSET + DISCOVERY_NAME_SIZE, 8), QByteArray(8, '\0'));
}

void TestDeviceDiscoveryResponse::aliasIsReadUpToItsField()
{
    const QString longAlias = QStringLiteral("\u5927\u5385") + QString(40, QLatin1Char('a'));
    QByteArray datagram = makeDiscoveryRecord(QStringLiteral("IPD9-7c2e0d000001"), longAlias);
    datagram.replace(DISCOVERY_ALIAS_OFFSET + DISCOVERY_ALIAS_SIZE, 4, "tail");

    const DeviceDiscoveryResponsePtr full = DeviceDiscoveryResponse::parse(datagram, deviceAddress, 3336);
    QVERIFY(full);
    // Two three-byte characters and 26 letters fill the 32 bytes.
    QCOMPARE(full->alias(), longAlias.left(28));

    const DeviceDiscoveryResponsePtr shortAlias = DeviceDiscoveryResponse::parse(
        makeDiscoveryRecord(QStringLiteral("IPD9-7c2e0d000001"), QStringLiteral("Lobby")), deviceAddress, 3336);
    QVERIFY(shortAlias);
    QCOMPARE(shortAlias->alias(), QStringLiteral("Lobby"));
}

QTEST_GUILESS_MAIN(TestDeviceDiscoveryResponse)
#include "tst_device_discovery_response.moc"
