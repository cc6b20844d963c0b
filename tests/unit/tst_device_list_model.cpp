// The device objects as the lists hold them (offline counting, walls and their members) and
// the ordered list model the interface binds to.
#include "base/json_config.h"
#include "log_capture.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/vw_device.h"
#include "qttelnet/qt_telnet.h"
#include "scripted_shell_peer.h"
#include "test_home.h"
#include "test_records.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString WALL = QStringLiteral("VW:0001:42");

QString decoderName(int n)
{
    return QStringLiteral("IPD9DEMO-7C2E0DFE%1").arg(n, 4, 10, QLatin1Char('0'));
}

// A decoder without an address: it never connects, so its place in a wall is whatever the
// test gives it and nothing it is asked to do reaches a network.
RxDevicePtr decoder(int n, int rows = 1, int columns = 1, int row = 0, int column = 0)
{
    auto decoder = RxDevicePtr::create(parsedDiscoveryRecord(decoderName(n), QStringLiteral("RX - %1").arg(n)));
    decoder->configVw(rows, columns, row, column);
    return decoder;
}

QSharedPointer<VWDevice> wall(const QStringList &cells, int columns, int rows = 1)
{
    return QSharedPointer<VWDevice>::create(WALL, QStringLiteral("Lobby"), columns, rows, QString(), cells);
}

// A model over a config in a temporary home, checked by the tester on every change.
struct Fixture
{
    TestHome home;
    JsonConfig config {QStringLiteral("~/.zentrova/config.json"), false};
    DeviceListModel model {&config};
    QAbstractItemModelTester tester {&model, QAbstractItemModelTester::FailureReportingMode::QtTest};

    // The decoder numbers, top to bottom.
    QList<int> order() const
    {
        QList<int> numbers;
        for (int row = 0; row < model.rowCount(); ++row)
            numbers.append(model.index(row).data(DeviceListModel::NameRole).toString().right(4).toInt());
        return numbers;
    }
};

} // namespace

class TestDeviceListModel : public QObject
{
    Q_OBJECT

private slots:
    void offlineCounting()
    {
        // i = a discovery pass without reply, r = a reply, o = the online property written false.
        // Three misses are no outage, a fifth changes nothing, and once offline a written
        // false is no news; a second outage is told again.
        const RxDevicePtr device = decoder(1);
        QSignalSpy spy(device.data(), &DeviceBase::onlineStatusChanged);
        LogCapture log(QtInfoMsg);
        for (const QChar step : QStringLiteral("iiiriiiiiriiiioo")) {
            if (step == QLatin1Char('i'))
                device->offlineCounterIncrease();
            else if (step == QLatin1Char('r'))
                device->offlineCounterReset();
            else
                QVERIFY(device->setProperty("online", false));
        }
        QCOMPARE(spy.count(), 3);
        const QString name = decoderName(1);
        QCOMPARE(log.messages(), (QStringList {name + " Offline!", name + " Online!", name + " Offline!"}));
    }

    void wallBind_data()
    {
        // The 2 x 2 wall under test names decoder 1 in its first cell.
        QTest::addColumn<int>("number");
        QTest::addColumn<QList<int>>("place"); // rows, columns, row, column
        QTest::addColumn<int>("cell"); // -1: refused

        QTest::newRow("named decoder, stand-alone") << 1 << QList<int> {1, 1, 0, 0} << 0;
        QTest::newRow("other wall size") << 2 << QList<int> {2, 3, 1, 0} << -1;
        QTest::newRow("row 1, column 1") << 2 << QList<int> {2, 2, 1, 1} << 3;
        // Column 2 of a two-column wall is no tile; it must not take row 1's first cell.
        QTest::newRow("column beyond the wall") << 2 << QList<int> {2, 2, 0, 2} << -1;
        // A cell that holds a name, given or taken by an earlier bind, keeps its decoder.
        QTest::newRow("cell named for another decoder") << 2 << QList<int> {2, 2, 0, 0} << -1;
    }

    void wallBind()
    {
        QFETCH(int, number);
        QFETCH(QList<int>, place);
        QFETCH(int, cell);

        const auto lobby = wall({decoderName(1)}, 2, 2);
        const RxDevicePtr candidate = decoder(number, place.at(0), place.at(1), place.at(2), place.at(3));
        QCOMPARE(lobby->bind(candidate), cell >= 0);
        QCOMPARE(lobby->members().indexOf(candidate), cell);
        QCOMPARE(lobby->cellNames().indexOf(candidate->name()), cell);
    }

    void wallMembers()
    {
        const auto lobby = wall({decoderName(1), decoderName(2), decoderName(3), QString()}, 2, 2);
        const RxDevicePtr first = decoder(1);
        // Named by its cell, it takes that cell whatever its own idea of its place.
        const RxDevicePtr third = decoder(3, 2, 2, 1, 0);
        QVERIFY(lobby->bind(first) && lobby->bind(third));
        QCOMPARE(lobby->findMember(decoderName(3).toLower()), DeviceBasePtr(third));

        // Missed passes count on the decoders; the wall itself stays online.
        first->setOnline(false);
        for (int pass = 0; pass < DeviceBase::OFFLINE_THRESHOLD; ++pass)
            lobby->offlineCounterIncrease();
        QVERIFY(!third->online() && lobby->online());

        QCOMPARE(lobby->releaseMembers(), (QVector<RxDevicePtr> {first, RxDevicePtr(), third, RxDevicePtr()}));
        QCOMPARE(third->vwInfo(), VwInfo::standAlone());
        // Cells beyond the wall's size are cut, missing ones added empty.
        QCOMPARE(wall({decoderName(1), decoderName(2)}, 1)->cellNames(), QStringList {decoderName(1)});
        QCOMPARE(wall({decoderName(1)}, 2)->cellNames(), (QStringList {decoderName(1), QString()}));

        // What the wall passes on reaches a member's shell.
        const auto member
            = RxDevicePtr::create(parsedDiscoveryRecord(decoderName(1), QString(), QHostAddress::LocalHost));
        ScriptedShellPeer shell(member->findChild<QtTelnet *>());
        shell.outputs["gbparam g source_select"] = "IPE1-00aabbccddee";
        shell.accept();
        shell.send("/ # ");
        shell.answerLines();
        VWDevice single(WALL, QStringLiteral("Hall"), 1, 1, QStringLiteral("IPE1-00aabbccddee"), {decoderName(1)});
        QVERIFY(single.bind(member));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("refuses the source name")));
        single.setSource(QStringLiteral("IPE1-00aabbccddee\nreboot"));
        QCOMPARE(single.currentSource(), QStringLiteral("IPE1-00aabbccddee"));
        // Nor does the refused name become what the wall should show, for the route keeper to resend.
        QCOMPARE(single.intendedSource(), QStringLiteral("IPE1-00aabbccddee"));
        single.setDisplayPower(false, QStringLiteral("40 04"));
        shell.answerLines();
        QCOMPARE(shell.lines.last(), QByteArray("cec -s  \"40 04\""));
    }

    // Saved orders place arrivals in front of an equal order, after unsaved rows when beyond
    // every order; moves announce the row before which the block lands, and refuse a block
    // that runs past the end.
    void ordering()
    {
        Fixture f;
        for (const auto &arrival : QList<QPair<int, int>> {{1, 0}, {2, -1}, {3, 5}, {4, 2}, {5, 2}}) {
            if (arrival.second >= 0)
                f.config.setValue(QStringLiteral("orders/%1").arg(decoderName(arrival.first)), arrival.second);
            f.model.addDevice(decoder(arrival.first), arrival.second);
        }
        QCOMPARE(f.order(), (QList<int> {1, 2, 5, 4, 3}));

        QSignalSpy moved(&f.model, &QAbstractItemModel::rowsMoved);
        const auto move = [&](int from, int to, int n) {
            QVERIFY(QMetaObject::invokeMethod(&f.model, "move", Q_ARG(int, from), Q_ARG(int, to), Q_ARG(int, n)));
        };
        move(0, 3, 2);
        QCOMPARE(f.order(), (QList<int> {5, 4, 3, 1, 2}));
        move(4, 1, 2);
        move(3, 0, 2);
        QCOMPARE(f.order(), (QList<int> {1, 2, 5, 4, 3}));
        QCOMPARE(moved.count(), 2);
        QCOMPARE(moved.at(0).at(4).toInt(), 5);
        QCOMPARE(moved.at(1).at(4).toInt(), 0);
    }

    void lookupsEditsAndPasses()
    {
        Fixture f;
        const RxDevicePtr member = decoder(1);
        const auto lobby = wall({decoderName(1), decoderName(2), QString()}, 3);
        QVERIFY(lobby->bind(member));
        // A stand-alone object of the same name further down, as a stale entry would be.
        const RxDevicePtr namesake = decoder(1);
        f.model.addDevice(lobby, -1);
        f.model.addDevice(namesake, -1);
        const QString lowerName = decoderName(1).toLower();
        QCOMPARE(f.model.findDevice(lowerName, true), DeviceBasePtr(member));
        QCOMPARE(f.model.findDevice(lowerName, false), DeviceBasePtr(namesake));
        // The wall counts as its one decoder that answered, not as the two cells it names.
        QCOMPARE(f.model.deviceCount(), 2);
        QCOMPARE(f.model.index(0).data(DeviceListModel::WallOnlineRole).toString(), QStringLiteral("1,0,0"));

        // Only the alias is edited. The settings list saves on every edit, so an unchanged
        // alias is announced too.
        QSignalSpy announced(namesake.data(), &DeviceBase::nameAliasChanged);
        QVERIFY(!f.model.setData(f.model.index(1), QStringLiteral("x"), Qt::EditRole));
        for (int edit = 0; edit < 2; ++edit)
            QVERIFY(f.model.setData(f.model.index(1), QStringLiteral("Stage"), DeviceListModel::AliasRole));
        QCOMPARE(announced.count(), 2);

        // A discovery pass refreshes every row.
        QSignalSpy changed(&f.model, &QAbstractItemModel::dataChanged);
        f.model.increaseOfflineCounters();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(1).toModelIndex(), f.model.index(1));
    }
};

QTEST_MAIN(TestDeviceListModel)
#include "tst_device_list_model.moc"
