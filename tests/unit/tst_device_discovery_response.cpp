#include "discovery/device_discovery_response.h"
#include "discovery/discovery_record.h"
#include "wire_fixtures.h"

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
    void names_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("id"); // empty: the reply is dropped
        QTest::addColumn<ResponseKind>("kind");

        QTest::newRow("decoder, upper-case id")
            << QByteArray("IPD9DEMO-7C2E0DFE0001") << "7C2E0DFE0001" << ResponseKind::Decoder;
        QTest::newRow("encoder, lower-case id")
            << QByteArray("IPE3x-7c2e0d00aa01") << "7c2e0d00aa01" << ResponseKind::Encoder;
        QTest::newRow("lower-case prefix")
            << QByteArray("ipd9abc-7c2e0d0000ff") << "7c2e0d0000ff" << ResponseKind::Decoder;
        QTest::newRow("longer hex run gives its first twelve")
            << QByteArray("IPD9-0123456789ABCDEF") << "0123456789AB" << ResponseKind::Decoder;
        QTest::newRow("match anywhere, kind from the start")
            << QByteArray("x;IPE1-7c2e0d00aa01") << "7c2e0d00aa01" << ResponseKind::Unknown;
        QTest::newRow("wall name") << QByteArray("VW-2") << "VW" << ResponseKind::Unknown;
        QTest::newRow("decoder without identity but with VW")
            << QByteArray("IPD9VW-12") << "VW" << ResponseKind::Decoder;
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

    void names()
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

    void datagramSizes_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("accepted");

        QTest::newRow("empty") << 0 << false;
        QTest::newRow("one byte short") << 291 << false;
        QTest::newRow("exact") << 292 << true;
        QTest::newRow("longer") << 400 << true;
    }

    void datagramSizes()
    {
        QFETCH(int, size);
        QFETCH(bool, accepted);

        // Filled with 0xff past the record, so that any byte read beyond it would show.
        const QByteArray datagram = makeDiscoveryRecord(QStringLiteral("IPE3x-7c2e0d00aa01"), QString())
                                        .leftJustified(400, '\xff')
                                        .left(size);

        const DeviceDiscoveryResponsePtr response = DeviceDiscoveryResponse::parse(datagram, deviceAddress, 3336);
        QCOMPARE(!response.isNull(), accepted);
        if (accepted) {
            QCOMPARE(response->raw, datagram.left(DISCOVERY_RECORD_SIZE));
            QCOMPARE(response->id, QStringLiteral("7c2e0d00aa01"));
        }
    }

    void readsTheDevicesLayout()
    {
        const DeviceDiscoveryResponsePtr response
            = DeviceDiscoveryResponse::parse(encoderReplyFixture(), deviceAddress, 3336);
        QVERIFY(response);
        QCOMPARE(response->name(), QStringLiteral("IPE3x-7c2e0d00aa01"));
        QCOMPARE(response->alias(), QStringLiteral("Camera"));
        QCOMPARE(response->id, QStringLiteral("7c2e0d00aa01"));
        QCOMPARE(response->deviceKind(), ResponseKind::Encoder);
        // The controller writes records the same way when it stands in for a device.
        QCOMPARE(makeDiscoveryRecord(response->name(), response->alias()), encoderReplyFixture());
    }

    void leadingWords_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<quint32>("kindWord");
        QTest::newRow("encoder") << "IPE9DEMO-7C2E0DFF0001" << 1u;
        QTest::newRow("decoder") << "ipd9demo-7C2E0DFE0001" << 2u;
        QTest::newRow("neither") << "VW-2" << 0u;
    }

    void leadingWords()
    {
        QFETCH(QString, name);
        QFETCH(quint32, kindWord);
        const QByteArray record = makeDiscoveryRecord(name, QString());
        QCOMPARE(qFromLittleEndian<quint32>(record.constData()), kindWord);
        QCOMPARE(qFromLittleEndian<quint32>(record.constData() + 4), 2u);
    }

    void fullFieldsEndAtTheirSize()
    {
        // A name of 64 bytes and an alias of 32, neither with a NUL; the writer cuts what is longer.
        const QByteArray name = "IPD" + QByteArray(48, 'm') + "-7c2e0d0000ff";
        const QString alias = QStringLiteral("\u5927\u5385") + QString(40, QLatin1Char('a'));
        QByteArray datagram = makeDiscoveryRecord(QString::fromLatin1(name + "overflow"), alias);
        QCOMPARE(datagram.size(), DISCOVERY_RECORD_SIZE);
        QCOMPARE(datagram.mid(DISCOVERY_NAME_OFFSET + DISCOVERY_NAME_SIZE, 8), QByteArray(8, '\0'));
        // The bytes that follow each field must not join it.
        datagram.replace(DISCOVERY_NAME_OFFSET + DISCOVERY_NAME_SIZE, 8, QByteArray(8, 'Z'));
        datagram.replace(DISCOVERY_ALIAS_OFFSET + DISCOVERY_ALIAS_SIZE, 4, "tail");

        const DeviceDiscoveryResponsePtr response = DeviceDiscoveryResponse::parse(datagram, deviceAddress, 3336);
        QVERIFY(response);
        QCOMPARE(response->name(), QString::fromLatin1(name));
        QCOMPARE(response->id, QStringLiteral("7c2e0d0000ff"));
        // Two three-byte characters and 26 letters fill the 32 bytes.
        QCOMPARE(response->alias(), alias.left(28));

        // A character that would not fit whole is left out.
        const QString cut = QString(31, QLatin1Char('a')) + QStringLiteral("\u5927");
        const QByteArray cutRecord = makeDiscoveryRecord(QString::fromLatin1(name), cut);
        QCOMPARE(DeviceDiscoveryResponse::parse(cutRecord, deviceAddress, 3336)->alias(), cut.left(31));
    }
};

QTEST_GUILESS_MAIN(TestDeviceDiscoveryResponse)
#include "tst_device_discovery_response.moc"
