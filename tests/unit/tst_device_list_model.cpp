#include "json_config.h"
#include "mini_video_source.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/tx_device.h"
#include "models/vw_device.h"
#include "test_home.h"
#include "test_records.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

using SavedOrders = QList<QPair<int, int>>;
Q_DECLARE_METATYPE(SavedOrders)

namespace {

QString decoderName(int n)
{
    return QStringLiteral("IPD9DEMO-7C2E0DFE%1").arg(n, 4, 10, QLatin1Char('0'));
}

// Decoders without an address never touch the network.
RxDevicePtr decoder(int n)
{
    return RxDevicePtr::create(parsedDiscoveryRecord(decoderName(n), QStringLiteral("RX - %1").arg(n)));
}

QSharedPointer<VWDevice> wall(int columns, const QStringList &members)
{
    return QSharedPointer<VWDevice>::create(
        QStringLiteral("VW:0001:42"), QStringLiteral("Lobby"), columns, 1, QString(), members);
}

// A model over a config in a temporary home, checked by the tester on every change.
struct Fixture
{
    TestHome home;
    JsonConfig config {QStringLiteral("~/.zentrova/config.json"), false};
    DeviceListModel model {&config};
    QAbstractItemModelTester tester {&model, QAbstractItemModelTester::FailureReportingMode::QtTest};

    void fill(int count)
    {
        for (int n = 0; n < count; ++n)
            model.addDevice(decoder(n), -1);
    }
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
    void insertPosition_data()
    {
        // Decoders arrive in this order, each with its saved order (-1: none saved).
        QTest::addColumn<SavedOrders>("arrivals");
        QTest::addColumn<QList<int>>("finalOrder");

        QTest::newRow("in front of an equal order")
            << SavedOrders {{1, 0}, {2, 2}, {3, 5}, {4, 2}} << QList<int> {1, 4, 2, 3};
        QTest::newRow("no saved order is appended") << SavedOrders {{1, 0}, {2, 2}, {3, -1}} << QList<int> {1, 2, 3};
        QTest::newRow("beyond every order goes last, after unsaved rows")
            << SavedOrders {{1, 0}, {2, -1}, {3, 1}} << QList<int> {1, 2, 3};
        QTest::newRow("order 0 goes first") << SavedOrders {{1, 1}, {2, -1}, {3, 0}} << QList<int> {3, 1, 2};
        QTest::newRow("unsaved rows never stop the scan")
            << SavedOrders {{1, -1}, {2, -1}, {3, 4}, {4, 3}} << QList<int> {1, 2, 4, 3};
    }

    void insertPosition()
    {
        QFETCH(SavedOrders, arrivals);
        QFETCH(QList<int>, finalOrder);

        Fixture f;
        QSignalSpy inserted(&f.model, &QAbstractItemModel::rowsInserted);
        int row = -1;
        for (const auto &arrival : arrivals) {
            if (arrival.second >= 0)
                f.config.setValue(QStringLiteral("orders/%1").arg(decoderName(arrival.first)), arrival.second);
            row = f.model.addDevice(decoder(arrival.first), arrival.second);
        }
        const int lastRow = finalOrder.indexOf(arrivals.last().first);
        QCOMPARE(row, lastRow);
        QCOMPARE(inserted.count(), arrivals.size());
        QCOMPARE(inserted.last().at(1).toInt(), lastRow);
        QCOMPARE(inserted.last().at(2).toInt(), lastRow);
        QCOMPARE(f.order(), finalOrder);
    }

    void roles()
    {
        Fixture f;
        const QHash<int, QByteArray> expectedNames {{266, "name"}, {267, "id"}, {268, "guid"}, {269, "alias"},
            {270, "surface"}, {271, "videoAvaiable"}, {272, "address"}, {273, "category"}, {274, "seq"},
            {275, "online"}, {276, "wallOnline"}};
        QCOMPARE(f.model.roleNames(), expectedNames);

        auto encoder = QSharedPointer<TxDevice>::create(parsedDiscoveryRecord(
            QStringLiteral("IPE3x-7c2e0d00aa01"), QStringLiteral("TX - 1"), QHostAddress::LocalHost));
        const RxDevicePtr single = decoder(1);
        single->setSeq(5);
        single->setOnline(false);
        const auto lobby = wall(3, {decoderName(2), QString(), decoderName(3)});
        QVERIFY(lobby->bind(decoder(2)));
        QVERIFY(lobby->bind(decoder(3)));
        f.model.addDevice(encoder, -1);
        f.model.addDevice(single, -1);
        f.model.addDevice(lobby, -1);

        struct Expectation
        {
            int row;
            int role;
            QVariant value;
        };
        const QList<Expectation> expectations {
            {0, Qt::DisplayRole, QStringLiteral("IPE3x-7c2e0d00aa01")},
            {0, DeviceListModel::NameRole, QStringLiteral("IPE3x-7c2e0d00aa01")},
            {0, DeviceListModel::IdRole, QStringLiteral("7c2e0d00aa01")},
            {0, DeviceListModel::GuidRole, encoder->guid()},
            {0, DeviceListModel::AliasRole, QStringLiteral("TX - 1")},
            {0, DeviceListModel::AddressRole, QStringLiteral("127.0.0.1")},
            {0, DeviceListModel::VideoAvaiableRole, false},
            {1, DeviceListModel::CategoryRole, QStringLiteral("rx")},
            {1, DeviceListModel::SeqRole, 5},
            {1, DeviceListModel::OnlineRole, false},
            {1, DeviceListModel::WallOnlineRole, QStringLiteral("0")},
            {1, DeviceListModel::VideoAvaiableRole, false},
            {2, DeviceListModel::WallOnlineRole, QStringLiteral("1,0,1")},
        };
        for (const Expectation &e : expectations) {
            const QString where = QStringLiteral("row %1 role %2").arg(e.row).arg(e.role);
            QVERIFY2(f.model.index(e.row).data(e.role) == e.value, qPrintable(where));
        }

        QCOMPARE(f.model.index(0).data(DeviceListModel::SurfaceRole).value<QObject *>(),
            static_cast<QObject *>(encoder->videoSource()));
        encoder->videoSource()->setVideoAvaiable(true);
        QCOMPARE(f.model.index(0).data(DeviceListModel::VideoAvaiableRole).toBool(), true);
        QVERIFY(!f.model.index(1).data(DeviceListModel::SurfaceRole).isValid());
        QVERIFY(!f.model.index(0).data(DeviceListModel::WallOnlineRole + 1).isValid());
        QVERIFY(!f.model.data(f.model.index(0).sibling(3, 0), DeviceListModel::NameRole).isValid());
        QCOMPARE(f.model.rowCount(f.model.index(0)), 0);

        const Qt::ItemFlags dragAndDrop = Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
        QCOMPARE(f.model.flags(f.model.index(1)) & dragAndDrop, dragAndDrop);
        QVERIFY(!f.model.flags(QModelIndex()).testFlag(Qt::ItemIsDropEnabled));
    }

    void editsOnlyTheAlias()
    {
        Fixture f;
        f.fill(2);
        const DeviceBasePtr second = f.model.findDevice(decoderName(1), false);
        QSignalSpy changed(&f.model, &QAbstractItemModel::dataChanged);

        QVERIFY(!f.model.setData(f.model.index(1), QStringLiteral("x"), Qt::EditRole));
        QVERIFY(!f.model.setData(f.model.index(0).sibling(2, 0), QStringLiteral("x"), DeviceListModel::AliasRole));
        QCOMPARE(changed.count(), 0);

        QVERIFY(f.model.setData(f.model.index(1), QStringLiteral("Stage"), DeviceListModel::AliasRole));
        QCOMPARE(second->nameAlias(), QStringLiteral("Stage"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), f.model.index(1));
        QCOMPARE(changed.at(0).at(1).toModelIndex(), f.model.index(1));
        QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int> {DeviceListModel::AliasRole});
    }

    void move_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("n");
        QTest::addColumn<QList<int>>("order"); // decoder numbers after the call
        QTest::addColumn<int>("destination"); // announced row; -1: nothing announced

        const QList<int> unmoved {0, 1, 2, 3, 4};
        QTest::newRow("down by two") << 1 << 3 << 1 << QList<int> {0, 2, 3, 1, 4} << 4;
        QTest::newRow("block down") << 0 << 3 << 2 << QList<int> {2, 3, 4, 0, 1} << 5;
        QTest::newRow("block up") << 3 << 0 << 2 << QList<int> {3, 4, 0, 1, 2} << 0;
        QTest::newRow("overlapping block") << 1 << 2 << 3 << QList<int> {0, 4, 1, 2, 3} << 5;
        QTest::newRow("onto itself") << 2 << 2 << 1 << unmoved << -1;
        QTest::newRow("negative source") << -1 << 2 << 1 << unmoved << -1;
        QTest::newRow("block past the end") << 4 << 1 << 2 << unmoved << -1;
        QTest::newRow("target past the end") << 1 << 4 << 2 << unmoved << -1;
        QTest::newRow("no rows") << 1 << 3 << 0 << unmoved << -1;
    }

    void move()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, n);
        QFETCH(QList<int>, order);
        QFETCH(int, destination);

        Fixture f;
        f.fill(5);
        QSignalSpy moved(&f.model, &QAbstractItemModel::rowsMoved);
        QVERIFY(QMetaObject::invokeMethod(&f.model, "move", Q_ARG(int, from), Q_ARG(int, to), Q_ARG(int, n)));

        QCOMPARE(f.order(), order);
        QCOMPARE(moved.count(), destination < 0 ? 0 : 1);
        if (destination >= 0) {
            QCOMPARE(moved.at(0).at(1).toInt(), from);
            QCOMPARE(moved.at(0).at(2).toInt(), from + n - 1);
            QCOMPARE(moved.at(0).at(4).toInt(), destination);
        }
    }

    void lookups()
    {
        Fixture f;
        const RxDevicePtr member = decoder(1);
        const auto lobby = wall(3, {decoderName(1), decoderName(2)});
        QVERIFY(lobby->bind(member));
        // A stand-alone object of the same name further down, as a stale entry would be.
        const RxDevicePtr namesake = decoder(1);
        const RxDevicePtr other = decoder(3);
        other->setSeq(9);
        f.model.addDevice(lobby, -1);
        f.model.addDevice(namesake, -1);
        f.model.addDevice(other, -1);

        const QString lowerName = decoderName(1).toLower();
        QCOMPARE(f.model.findDevice(lowerName, true), DeviceBasePtr(member));
        QCOMPARE(f.model.findDevice(lowerName, false), DeviceBasePtr(namesake));
        QCOMPARE(f.model.findDevice(QStringLiteral("vw:0001:42"), true), DeviceBasePtr(lobby));
        QVERIFY(!f.model.findDevice(decoderName(2), true));
        QCOMPARE(f.model.findDeviceByGuid(other->guid().toLower()), DeviceBasePtr(other));
        QVERIFY(!f.model.findDeviceByGuid(member->guid()));
        QCOMPARE(f.model.findDeviceBySeq(9), DeviceBasePtr(other));
        QVERIFY(!f.model.findDeviceBySeq(10));

        QVERIFY(f.model.containsName(QStringLiteral("VW:0001:42")));
        QVERIFY(f.model.containsName(lowerName));
        QVERIFY(!f.model.containsName(decoderName(2)));
        QVERIFY(f.model.containsAlias(QStringLiteral("lobby")));
        QVERIFY(f.model.containsAlias(QStringLiteral("rx - 3")));
        QVERIFY(!f.model.containsAlias(QStringLiteral("RX - 2")));
        // The wall counts as its two occupied cells, bound or not; its free cell does not count.
        QCOMPARE(f.model.deviceCount(), 4);

        QSignalSpy removed(&f.model, &QAbstractItemModel::rowsRemoved);
        QVERIFY(!f.model.removeDevice(decoderName(2)));
        QCOMPARE(removed.count(), 0);
        QCOMPARE(f.model.removeDevice(decoderName(3).toLower()), DeviceBasePtr(other));
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(1).toInt(), 2);
        QCOMPARE(f.model.rowCount(), 2);
    }

    void onlineRefreshAndClear()
    {
        Fixture f;
        QSignalSpy changed(&f.model, &QAbstractItemModel::dataChanged);
        f.model.increaseOfflineCounters();
        QCOMPARE(changed.count(), 0);

        f.fill(3);
        for (int pass = 0; pass < DeviceBase::OFFLINE_THRESHOLD; ++pass)
            f.model.increaseOfflineCounters();
        QCOMPARE(changed.count(), DeviceBase::OFFLINE_THRESHOLD);
        QCOMPARE(changed.last().at(0).toModelIndex(), f.model.index(0));
        QCOMPARE(changed.last().at(1).toModelIndex(), f.model.index(2));
        QCOMPARE(changed.last().at(2).value<QVector<int>>(),
            (QVector<int> {DeviceListModel::OnlineRole, DeviceListModel::WallOnlineRole}));
        QCOMPARE(f.model.index(2).data(DeviceListModel::OnlineRole).toBool(), false);

        QSignalSpy reset(&f.model, &QAbstractItemModel::modelReset);
        f.model.clear();
        QCOMPARE(reset.count(), 1);
        QCOMPARE(f.model.rowCount(), 0);
        QCOMPARE(f.model.deviceCount(), 0);
    }
};

QTEST_MAIN(TestDeviceListModel)
#include "tst_device_list_model.moc"
