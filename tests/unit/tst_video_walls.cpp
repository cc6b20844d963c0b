#include "json_config.h"
#include "log_capture.h"
#include "manager/video_walls.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/vw_device.h"
#include "test_home.h"
#include "test_records.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(VwInfo)

namespace {

QString decoderName(int n)
{
    return QStringLiteral("IPD9DEMO-7C2E0DFE%1").arg(n, 4, 10, QLatin1Char('0'));
}

// A decoder without an address: it never connects, so its geometry is what the test
// gives it and nothing it is asked to do reaches a network.
RxDevicePtr decoder(int n, const VwInfo &place = VwInfo::standAlone())
{
    auto device = RxDevicePtr::create(parsedDiscoveryRecord(decoderName(n), QStringLiteral("RX - %1").arg(n)));
    device->setSeq(n);
    if (place.columns > 0)
        device->configVw(place.rows, place.columns, place.row, place.column);
    return device;
}

QStringList aliases(const DeviceListModel &list)
{
    QStringList result;
    for (int row = 0; row < list.rowCount(); ++row)
        result << list.at(row)->nameAlias();
    return result;
}

// Decoders and walls in a home of their own.
struct Installation
{
    TestHome home;
    JsonConfig config {QStringLiteral("~/.zentrova/config.json"), false};
    DeviceListModel rxlist {&config};
    VideoWalls walls {&rxlist, &config};
};

} // namespace

class TestVideoWalls : public QObject
{
    Q_OBJECT

private slots:
    void createVideoWall_data();
    void createVideoWall();
    void identitiesAreUnique();
    void deleteVideoWall();
    void placeFetchedDecoder_data();
    void placeFetchedDecoder();
};

void TestVideoWalls::createVideoWall_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("cells");
    // Decoder number per cell (0: empty), and the decoders left as plain entries.
    QTest::addColumn<QList<int>>("members");
    QTest::addColumn<QStringList>("listedAfter");

    const QStringList none;
    QTest::newRow("bad, unknown and extra cells")
        << "Hall" << 1 << 3 << "x,42,4,5" << QList<int> {0, 0, 4}
        << QStringList {"RX - 5", "RX - 6", "RX - 7", "RX - 8", "RX - 9", "Hall"};
    const QStringList untouched {"RX - 4", "RX - 5", "RX - 6", "RX - 7", "RX - 8", "RX - 9"};
    QTest::newRow("empty name") << "" << 1 << 1 << "4" << QList<int>() << untouched;
    QTest::newRow("nine rows") << "Tall" << 9 << 1 << "4" << QList<int>() << untouched;
}

void TestVideoWalls::createVideoWall()
{
    Installation site;
    QFETCH(QString, name);
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(QString, cells);
    QFETCH(QList<int>, members);
    QFETCH(QStringList, listedAfter);

    QHash<int, RxDevicePtr> decoders;
    for (int n = 4; n <= 9; ++n) {
        decoders.insert(n, decoder(n));
        site.rxlist.addDevice(decoders.value(n), -1);
    }
    QSignalSpy changed(&site.walls, &VideoWalls::changed);
    const int row = site.walls.createVideoWall(name, rows, columns, cells);

    QCOMPARE(aliases(site.rxlist), listedAfter);
    QCOMPARE(changed.count(), members.isEmpty() ? 0 : 1);
    if (members.isEmpty()) {
        QCOMPARE(row, -1);
        return;
    }
    const auto wall = site.rxlist.at(row).objectCast<VWDevice>();
    QVERIFY(wall);
    QCOMPARE(wall->size(), QSize(columns, rows));
    for (int i = 0; i < members.size(); ++i) {
        const RxDevicePtr expected = decoders.value(members.at(i));
        QCOMPARE(wall->members().at(i), expected);
        if (expected)
            QCOMPARE(expected->vwInfo(), (VwInfo {columns, rows, i % columns, i / columns}));
    }
}

void TestVideoWalls::identitiesAreUnique()
{
    Installation site;
    // Made within one millisecond, the plain time stamp would give all three the same one.
    QSet<QString> identities;
    const QRegularExpression format(QStringLiteral("^VW:[0-9a-f]{4,}:\\d{1,4}$"));
    for (int i = 0; i < 3; ++i) {
        const VWDevicePtr wall = site.walls.createWall(QStringLiteral("W%1").arg(i), 2, 2, QString());
        QVERIFY2(format.match(wall->name()).hasMatch(), qPrintable(wall->name()));
        identities.insert(wall->name());
        site.rxlist.addDevice(wall, -1);
    }
    QCOMPARE(identities.size(), 3);
}

void TestVideoWalls::deleteVideoWall()
{
    Installation site;
    const RxDevicePtr first = decoder(1);
    const RxDevicePtr second = decoder(2);
    site.rxlist.addDevice(first, -1);
    site.rxlist.addDevice(second, -1);
    // Decoder 3 is named by the wall but has not turned up.
    const VWDevicePtr wall
        = VideoWalls::wallFromRecord(QJsonObject {{"name", "VW:0001:1"}, {"width", 3}, {"height", 1},
                                         {"devices", QJsonArray {decoderName(2), decoderName(3), QString()}}},
            QJsonObject());
    site.rxlist.removeDevice(second->name());
    QVERIFY(wall->bind(second));
    site.rxlist.addDevice(wall, -1);

    QVERIFY(!site.walls.deleteVideoWall(QStringLiteral("no such guid")));
    QVERIFY(!site.walls.deleteVideoWall(first->guid()));
    QSignalSpy changed(&site.walls, &VideoWalls::changed);
    QVERIFY(site.walls.deleteVideoWall(wall->guid().toLower()));
    QCOMPARE(aliases(site.rxlist), (QStringList {"RX - 1", "RX - 2"}));
    QCOMPARE(second->vwInfo(), VwInfo::standAlone());
    QCOMPARE(changed.count(), 1);

    // The missing member still believes it is part of the wall when it turns up.
    const RxDevicePtr late = decoder(3, VwInfo {3, 1, 1, 0});
    site.walls.placeFetchedDecoder(late);
    QCOMPARE(aliases(site.rxlist), (QStringList {"RX - 1", "RX - 2", "RX - 3"}));
    QCOMPARE(late->vwInfo(), VwInfo::standAlone());
}

void TestVideoWalls::placeFetchedDecoder_data()
{
    QTest::addColumn<VwInfo>("reported");
    // "" nothing; "alias": a plain decoder shown as "2 x 2 - 1"; "stored": a saved 2 x 2 wall
    // naming decoder 1 at cell 3. Plain decoders and automatic walls are the LAN session's part.
    QTest::addColumn<QString>("before");
    QTest::addColumn<QStringList>("listedAfter");
    QTest::addColumn<int>("cell");
    QTest::addColumn<VwInfo>("placeAfter");
    QTest::addColumn<bool>("warns");

    const VwInfo corner {2, 2, 1, 0};
    QTest::newRow("next free automatic name")
        << corner << "alias" << QStringList {"2 x 2 - 1", "2 x 2 - 2"} << 1 << corner << false;
    QTest::newRow("unreadable place") << VwInfo() << "" << QStringList {"RX - 1"} << -1 << VwInfo() << true;
    QTest::newRow("place outside its grid")
        << VwInfo {2, 2, 2, 0} << "" << QStringList {"RX - 1"} << -1 << VwInfo {2, 2, 2, 0} << true;
    QTest::newRow("saved wall naming it, told its place again")
        << VwInfo::standAlone() << "stored" << QStringList {"Stored"} << 3 << VwInfo {2, 2, 1, 1} << false;
}

void TestVideoWalls::placeFetchedDecoder()
{
    Installation site;
    QFETCH(VwInfo, reported);
    QFETCH(QString, before);
    QFETCH(QStringList, listedAfter);
    QFETCH(int, cell);
    QFETCH(VwInfo, placeAfter);
    QFETCH(bool, warns);

    if (before == QLatin1String("alias")) {
        const RxDevicePtr named = decoder(9);
        named->setNameAlias(QStringLiteral("2 x 2 - 1"));
        site.rxlist.addDevice(named, -1);
    } else if (before == QLatin1String("stored")) {
        site.rxlist.addDevice(
            VideoWalls::wallFromRecord(QJsonObject {{"name", "VW:0001:1"}, {"width", 2}, {"height", 2},
                                           {"devices", QJsonArray {"", "", "", decoderName(1)}}},
                QJsonObject {{"VW:0001:1", "Stored"}}),
            -1);
    }
    const RxDevicePtr fetched = decoder(1, reported);
    const LogCapture warnings(QtWarningMsg);
    site.walls.placeFetchedDecoder(fetched);

    QCOMPARE(aliases(site.rxlist), listedAfter);
    QCOMPARE(fetched->vwInfo(), placeAfter);
    QCOMPARE(warnings.matching(decoderName(1)).size(), warns ? 1 : 0);
    if (cell < 0) {
        QCOMPARE(site.rxlist.findDevice(fetched->name(), false), fetched);
        return;
    }
    // A wall member is listed once: in its wall, not beside it.
    const auto wall = site.rxlist.at(site.rxlist.rowCount() - 1).objectCast<VWDevice>();
    QVERIFY(wall);
    QCOMPARE(wall->members().at(cell), fetched);
    QCOMPARE(site.rxlist.findDevice(fetched->name(), false), DeviceBasePtr());
}

QTEST_GUILESS_MAIN(TestVideoWalls)
#include "tst_video_walls.moc"
