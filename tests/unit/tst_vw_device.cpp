#include "models/rx_device.h"
#include "models/vw_device.h"
#include "scripted_shell_peer.h"
#include "test_records.h"

#include <QtTest>

namespace {

const QString WALL = QStringLiteral("VW:0001:42");

QString decoderName(int n)
{
    return QStringLiteral("IPD9DEMO-7C2E0DFE%1").arg(n, 4, 10, QLatin1Char('0'));
}

// A decoder without an address: it never connects, so its geometry is whatever the
// test gives it and nothing it is asked to do reaches a network.
RxDevicePtr offlineDecoder(int n, int rows = 1, int columns = 1, int row = 0, int column = 0)
{
    auto decoder = RxDevicePtr::create(parsedDiscoveryRecord(decoderName(n), QStringLiteral("RX - %1").arg(n)));
    decoder->configVw(rows, columns, row, column);
    return decoder;
}

} // namespace

class TestVwDevice : public QObject
{
    Q_OBJECT

private slots:
    void cellsAreCutOrPadded()
    {
        const VWDevice cut(
            WALL, QStringLiteral("Lobby"), 1, 1, QStringLiteral("NULL"), {decoderName(1), decoderName(2)});
        QCOMPARE(cut.cellNames(), QStringList {decoderName(1)});
        QCOMPARE(cut.currentSource(), QString());
        const VWDevice padded(WALL, QStringLiteral("Lobby"), 1, 2, QString(), {decoderName(1)});
        QCOMPARE(padded.cellNames(), (QStringList {decoderName(1), QString()}));
        QCOMPARE(padded.members().size(), 2);
        // The lists read every device's record; a wall has one without a sender.
        QVERIFY(padded.meta()->address.isNull());
    }

    void bind_data()
    {
        // The 2 x 2 wall under test names decoder 1 in its first cell.
        QTest::addColumn<int>("decoder");
        QTest::addColumn<QList<int>>("geometry"); // rows, columns, row, column
        QTest::addColumn<int>("cell"); // -1: refused

        // Stand-alone, so only the name can bind it.
        QTest::newRow("named decoder") << 1 << QList<int> {1, 1, 0, 0} << 0;
        QTest::newRow("stand-alone decoder") << 2 << QList<int> {1, 1, 0, 0} << -1;
        QTest::newRow("other wall size") << 2 << QList<int> {2, 3, 1, 0} << -1;
        QTest::newRow("row 1, column 1") << 2 << QList<int> {2, 2, 1, 1} << 3;
        QTest::newRow("row below the wall") << 2 << QList<int> {2, 2, 2, 0} << -1;
        // Column 2 of a two-column wall is no tile; it must not take row 1's first cell.
        QTest::newRow("column beyond the wall") << 2 << QList<int> {2, 2, 0, 2} << -1;
        // A cell that holds a name, given or taken by an earlier bind, keeps its decoder.
        QTest::newRow("cell named for another decoder") << 2 << QList<int> {2, 2, 0, 0} << -1;
    }

    void bind()
    {
        QFETCH(int, decoder);
        QFETCH(QList<int>, geometry);
        QFETCH(int, cell);

        VWDevice wall(WALL, QStringLiteral("Lobby"), 2, 2, QString(), {decoderName(1)});
        const RxDevicePtr candidate
            = offlineDecoder(decoder, geometry.at(0), geometry.at(1), geometry.at(2), geometry.at(3));
        QStringList cellsAfter = wall.cellNames();
        if (cell >= 0)
            cellsAfter[cell] = candidate->name();

        QCOMPARE(wall.bind(candidate), cell >= 0);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(wall.members().at(i), i == cell ? candidate : RxDevicePtr());
        QCOMPARE(wall.cellNames(), cellsAfter);
    }

    void memberQueries()
    {
        VWDevice wall(WALL, QStringLiteral("Lobby"), 2, 2, QString(),
            {decoderName(1), decoderName(2), decoderName(3), QString()});
        const RxDevicePtr first = offlineDecoder(1);
        // Named by its cell, it takes that cell whatever its own idea of its place.
        const RxDevicePtr third = offlineDecoder(3, 2, 2, 1, 0);
        QVERIFY(wall.bind(first));
        QVERIFY(wall.bind(third));

        // Decoder 2 is named by a cell but has not turned up.
        QVERIFY(wall.containsName(decoderName(1).toLower()));
        QVERIFY(!wall.containsName(decoderName(2)));
        QVERIFY(wall.containsAlias(QStringLiteral("rx - 3")));
        QVERIFY(!wall.containsAlias(QStringLiteral("RX - 2")));
        QCOMPARE(wall.findMember(decoderName(3).toLower()), DeviceBasePtr(third));
        QStringList names;
        wall.collectNames(names);
        QCOMPARE(names, (QStringList {decoderName(1), decoderName(3)}));

        first->setOnline(false);
        QCOMPARE(wall.onlineStatusText(), QStringLiteral("0,0,1,0"));
        // Missed passes count on the decoders; the wall itself stays online.
        for (int pass = 0; pass < DeviceBase::OFFLINE_THRESHOLD; ++pass)
            wall.offlineCounterIncrease();
        QVERIFY(!third->online());
        QVERIFY(wall.online());

        QCOMPARE(wall.releaseMembers(), (QVector<RxDevicePtr> {first, RxDevicePtr(), third, RxDevicePtr()}));
        QCOMPARE(third->vwInfo(), VwInfo::standAlone());
    }

    // A source routed through a wall is checked on the test LAN; here what else it passes on.
    void forwardsToItsMembers()
    {
        ScriptedShellPeer peer;
        auto member = RxDevicePtr::create(
            parsedDiscoveryRecord(decoderName(1), QString(), QHostAddress::LocalHost), nullptr, peer.port());
        member->setSeq(7);
        VWDevice wall(WALL, QStringLiteral("Lobby"), 1, 1, QStringLiteral("IPE1-00aabbccddee"), {decoderName(1)});
        QVERIFY(wall.bind(member));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("refuses the source name")));
        wall.setSource(QStringLiteral("IPE1-00aabbccddee\nreboot"));
        QCOMPARE(wall.currentSource(), QStringLiteral("IPE1-00aabbccddee"));
        wall.setDisplayPower(true, QString());
        wall.showOsdSeq();
        QTRY_COMPARE_WITH_TIMEOUT(peer.commands().mid(2),
            (QList<QByteArray> {"e e_cec_one_touch_play", "osd_show -o 1 -s \"7\" -f 800 -p 4300,2500"}), 10000);
    }
};

QTEST_GUILESS_MAIN(TestVwDevice)
#include "tst_vw_device.moc"
