#include "log_capture.h"
#include "models/rx_device.h"
#include "models/vw_device.h"
#include "scripted_shell_peer.h"
#include "test_records.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr int WAIT_MS = 10000;

QString decoderName(int n)
{
    return QStringLiteral("IPD9DEMO-7C2E0DFE%1").arg(n, 4, 10, QLatin1Char('0'));
}

// A decoder without an address: it never connects, so its geometry is whatever the
// test gives it and nothing it is asked to do reaches a network.
RxDevicePtr offlineDecoder(int n, int rows = 1, int columns = 1, int row = 0, int column = 0)
{
    auto decoder = RxDevicePtr::create(parsedDiscoveryRecord(decoderName(n), QStringLiteral("RX - %1").arg(n)));
    if (rows > 0)
        decoder->configVw(rows, columns, row, column);
    return decoder;
}

} // namespace

class TestVwDevice : public QObject
{
    Q_OBJECT

private slots:
    void construction_data();
    void construction();
    void identity();
    void bind_data();
    void bind();
    void memberQueries();
    void releaseMembers();
    void forwardsToEveryMember();
};

void TestVwDevice::construction_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QStringList>("cellNames");
    QTest::addColumn<QString>("storedSource");

    const QString a = decoderName(1);
    const QString b = decoderName(2);
    QTest::newRow("cells as given") << 2 << 1 << QStringList {a, b} << "IPE1-00aabbccddee" << QSize(2, 1)
                                    << QStringList {a, b} << "IPE1-00aabbccddee";
    QTest::newRow("too many cells are cut")
        << 1 << 1 << QStringList {a, b} << "" << QSize(1, 1) << QStringList {a} << "";
    QTest::newRow("missing cells are free")
        << 2 << 2 << QStringList {a} << "" << QSize(2, 2) << QStringList {a, "", "", ""} << "";
    QTest::newRow("width 9 becomes 1") << 9 << 2 << QStringList() << "" << QSize(1, 2) << QStringList {"", ""} << "";
    QTest::newRow("NULL source is none") << 1 << 1 << QStringList() << "NULL" << QSize(1, 1) << QStringList {""} << "";
}

void TestVwDevice::construction()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QStringList, cells);
    QFETCH(QString, source);
    QFETCH(QSize, size);
    QFETCH(QStringList, cellNames);
    QFETCH(QString, storedSource);

    VWDevice wall(QStringLiteral("VW:0001:42"), QStringLiteral("Lobby"), width, height, source, cells);
    QCOMPARE(wall.size(), size);
    QCOMPARE(wall.cellNames(), cellNames);
    QCOMPARE(wall.members().size(), cellNames.size());
    QCOMPARE(wall.currentSource(), storedSource);
    // Nothing is bound yet, so every cell reads offline.
    QCOMPARE(wall.onlineStatusText(), QStringLiteral("0,").repeated(cellNames.size()).chopped(1));

    const QJsonObject record = wall.toJson();
    QCOMPARE(record.value(QStringLiteral("name")).toString(), QStringLiteral("VW:0001:42"));
    QCOMPARE(record.value(QStringLiteral("width")).toInt(), size.width());
    QCOMPARE(record.value(QStringLiteral("height")).toInt(), size.height());
    QCOMPARE(record.value(QStringLiteral("bind")).toString(), storedSource);
    QCOMPARE(record.value(QStringLiteral("devices")).toArray(), QJsonArray::fromStringList(cellNames));
}

void TestVwDevice::identity()
{
    VWDevice first(QStringLiteral("VW:0001:42"), QStringLiteral("Lobby"), 2, 2, QString(), {});
    VWDevice second(QStringLiteral("VW:0001:43"), QStringLiteral("Hall"), 1, 1, QString(), {});
    QCOMPARE(first.id(), QStringLiteral("VW:0001:42"));
    QVERIFY(first.guid() != second.guid());
    // All walls share one made-up record that has no sender.
    QVERIFY(first.meta());
    QCOMPARE(first.meta(), second.meta());
    QVERIFY(first.meta()->address.isNull());
    QCOMPARE(first.meta()->raw.size(), DISCOVERY_RECORD_SIZE);
}

void TestVwDevice::bind_data()
{
    // The 2 x 2 wall under test names decoder 1 in its first cell.
    QTest::addColumn<int>("decoder");
    QTest::addColumn<QList<int>>("geometry"); // rows, columns, row, column; empty: not read yet
    QTest::addColumn<int>("cell"); // -1: refused

    // Stand-alone, so only the name can bind it.
    QTest::newRow("named decoder") << 1 << QList<int> {1, 1, 0, 0} << 0;
    QTest::newRow("stand-alone decoder") << 2 << QList<int> {1, 1, 0, 0} << -1;
    QTest::newRow("geometry not read yet") << 2 << QList<int>() << -1;
    QTest::newRow("other wall size") << 2 << QList<int> {2, 3, 1, 0} << -1;
    QTest::newRow("row 1, column 0") << 2 << QList<int> {2, 2, 1, 0} << 2;
    QTest::newRow("row 1, column 1") << 2 << QList<int> {2, 2, 1, 1} << 3;
    QTest::newRow("row below the wall") << 2 << QList<int> {2, 2, 2, 0} << -1;
    // Column 2 of a two-column wall is no tile; it must not take row 1's first cell.
    QTest::newRow("column beyond the wall") << 2 << QList<int> {2, 2, 0, 2} << -1;
    // A cell that holds a name, given or taken by an earlier bind, keeps its decoder.
    QTest::newRow("cell named for another decoder") << 2 << QList<int> {2, 2, 0, 0} << -1;
}

void TestVwDevice::bind()
{
    QFETCH(int, decoder);
    QFETCH(QList<int>, geometry);
    QFETCH(int, cell);

    VWDevice wall(QStringLiteral("VW:0001:42"), QStringLiteral("Lobby"), 2, 2, QString(), {decoderName(1)});
    const RxDevicePtr candidate = geometry.isEmpty()
        ? offlineDecoder(decoder, 0)
        : offlineDecoder(decoder, geometry.at(0), geometry.at(1), geometry.at(2), geometry.at(3));
    const QStringList cellsBefore = wall.cellNames();

    QCOMPARE(wall.bind(candidate), cell >= 0);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(wall.members().at(i), i == cell ? candidate : RxDevicePtr());
    QStringList cellsAfter = cellsBefore;
    if (cell >= 0)
        cellsAfter[cell] = candidate->name();
    QCOMPARE(wall.cellNames(), cellsAfter);
}

void TestVwDevice::memberQueries()
{
    VWDevice wall(QStringLiteral("VW:0001:42"), QStringLiteral("Lobby"), 2, 2, QString(),
        {decoderName(1), decoderName(2), decoderName(3), QString()});
    QVERIFY(!wall.containsName(decoderName(1)));
    QCOMPARE(wall.onlineStatusText(), QStringLiteral("0,0,0,0"));
    LogCapture warnings(QtWarningMsg);
    const RxDevicePtr first = offlineDecoder(1);
    const RxDevicePtr third = offlineDecoder(3);
    QVERIFY(wall.bind(first));
    QVERIFY(wall.bind(third));

    QVERIFY(wall.containsName(decoderName(1).toLower()));
    QVERIFY(!wall.containsName(decoderName(2)));
    QVERIFY(!wall.containsName(wall.name()));
    QVERIFY(wall.containsAlias(QStringLiteral("rx - 3")));
    QVERIFY(!wall.containsAlias(QStringLiteral("RX - 2")));
    QCOMPARE(wall.findMember(decoderName(3).toLower()), DeviceBasePtr(third));
    QVERIFY(!wall.findMember(decoderName(2)));

    QStringList names;
    wall.collectNames(names);
    QCOMPARE(names, (QStringList {decoderName(1), decoderName(3)}));

    third->setOnline(false);
    QCOMPARE(wall.onlineStatusText(), QStringLiteral("1,0,0,0"));
    third->setOnline(true);
    QCOMPARE(wall.onlineStatusText(), QStringLiteral("1,0,1,0"));

    // Missed passes count on the decoders; the wall itself stays online.
    for (int pass = 0; pass < DeviceBase::OFFLINE_THRESHOLD; ++pass)
        wall.offlineCounterIncrease();
    QVERIFY(!first->online());
    QCOMPARE(third->offlineCounter(), DeviceBase::OFFLINE_THRESHOLD);
    QVERIFY(wall.online());
    QCOMPARE(wall.offlineCounter(), 0);
    QCOMPARE(wall.onlineStatusText(), QStringLiteral("0,0,0,0"));
    QVERIFY(warnings.messages().isEmpty());
}

void TestVwDevice::releaseMembers()
{
    VWDevice wall(QStringLiteral("VW:0001:42"), QStringLiteral("Lobby"), 2, 1, QString(), {});
    const RxDevicePtr right = offlineDecoder(2, 1, 2, 0, 1);
    QVERIFY(wall.bind(right));
    const QVector<RxDevicePtr> released = wall.releaseMembers();
    QCOMPARE(released, (QVector<RxDevicePtr> {RxDevicePtr(), right}));
    QVERIFY(right->vwInfo().isStandAlone());
    QCOMPARE(QPoint(right->vwInfo().column, right->vwInfo().row), QPoint(0, 0));
}

void TestVwDevice::forwardsToEveryMember()
{
    ScriptedShellPeer leftPeer;
    ScriptedShellPeer rightPeer;
    auto left = RxDevicePtr::create(
        parsedDiscoveryRecord(decoderName(1), QString(), QHostAddress::LocalHost), nullptr, leftPeer.port());
    auto right = RxDevicePtr::create(
        parsedDiscoveryRecord(decoderName(2), QString(), QHostAddress::LocalHost), nullptr, rightPeer.port());
    left->setSeq(7);
    right->setSeq(8);
    VWDevice wall(QStringLiteral("VW:0001:42"), QStringLiteral("Lobby"), 2, 1, QStringLiteral("IPE1-00aabbccddee"),
        {decoderName(1), decoderName(2)});
    QVERIFY(wall.bind(left));
    QVERIFY(wall.bind(right));

    LogCapture warnings(QtWarningMsg);
    wall.setSource(QStringLiteral("IPE1-00aabbccddee\nreboot"));
    QCOMPARE(wall.currentSource(), QStringLiteral("IPE1-00aabbccddee"));
    QCOMPARE(warnings.messages().size(), 1);
    wall.setSource(QStringLiteral("IPE2-00aabbccddef"));
    wall.setDisplayPower(true, QString());
    wall.showOsdSeq();
    QCOMPARE(wall.currentSource(), QStringLiteral("IPE2-00aabbccddef"));
    QCOMPARE(left->currentSource(), QStringLiteral("IPE2-00aabbccddef"));

    auto expected = [](int seq) {
        return QList<QByteArray> {"gbconfig --source-select=IPE2-00aabbccddef;e e_reconnect", "e e_cec_one_touch_play",
            QByteArray("osd_show -o 1 -s \"") + QByteArray::number(seq) + "\" -f 800 -p 4300,2500"};
    };
    QTRY_COMPARE_WITH_TIMEOUT(leftPeer.commands().mid(2), expected(7), WAIT_MS);
    QTRY_COMPARE_WITH_TIMEOUT(rightPeer.commands().mid(2), expected(8), WAIT_MS);
    // Given while the number still waited, the clear would have replaced it.
    wall.hideOsd();
    QTRY_COMPARE_WITH_TIMEOUT(leftPeer.commands().mid(2), expected(7) << "osd_show -c 1", WAIT_MS);
    QTRY_COMPARE_WITH_TIMEOUT(rightPeer.commands().mid(2), expected(8) << "osd_show -c 1", WAIT_MS);
}

QTEST_GUILESS_MAIN(TestVwDevice)
#include "tst_vw_device.moc"
