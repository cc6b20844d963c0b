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

QSharedPointer<VWDevice> wall(const QStringList &cells)
{
    return QSharedPointer<VWDevice>::create(
        QStringLiteral("VW:0001:42"), QStringLiteral("Lobby"), cells.size(), 1, QString(), cells);
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
        QTest::newRow("unsaved rows never stop the scan")
            << SavedOrders {{1, -1}, {2, -1}, {3, 4}, {4, 3}} << QList<int> {1, 2, 4, 3};
    }

    void insertPosition()
    {
        QFETCH(SavedOrders, arrivals);
        QFETCH(QList<int>, finalOrder);

        Fixture f;
        int row = -1;
        for (const auto &arrival : arrivals) {
            if (arrival.second >= 0)
                f.config.setValue(QStringLiteral("orders/%1").arg(decoderName(arrival.first)), arrival.second);
            row = f.model.addDevice(decoder(arrival.first), arrival.second);
        }
        QCOMPARE(row, finalOrder.indexOf(arrivals.last().first));
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
        single->setOnline(false);
        const auto lobby = wall({decoderName(2), QString(), decoderName(3)});
        QVERIFY(lobby->bind(decoder(2)));
        QVERIFY(lobby->bind(decoder(3)));
        f.model.addDevice(encoder, -1);
        f.model.addDevice(single, -1);
        f.model.addDevice(lobby, -1);
        auto data = [&f](int row, int role) { return f.model.index(row).data(role); };

        QCOMPARE(data(0, Qt::DisplayRole).toString(), QStringLiteral("IPE3x-7c2e0d00aa01"));
        QCOMPARE(data(0, DeviceListModel::AddressRole).toString(), QStringLiteral("127.0.0.1"));
        QCOMPARE(
            data(0, DeviceListModel::SurfaceRole).value<QObject *>(), static_cast<QObject *>(encoder->videoSource()));
        QCOMPARE(data(0, DeviceListModel::VideoAvaiableRole).toBool(), false);
        encoder->videoSource()->setVideoAvaiable(true);
        QCOMPARE(data(0, DeviceListModel::VideoAvaiableRole).toBool(), true);
        QVERIFY(!data(1, DeviceListModel::SurfaceRole).isValid());
        QCOMPARE(data(1, DeviceListModel::VideoAvaiableRole), QVariant(false));
        QCOMPARE(data(1, DeviceListModel::WallOnlineRole).toString(), QStringLiteral("0"));
        QCOMPARE(data(2, DeviceListModel::WallOnlineRole).toString(), QStringLiteral("1,0,1"));
    }

    void editsOnlyTheAlias()
    {
        Fixture f;
        f.fill(2);
        const DeviceBasePtr second = f.model.at(1);
        QSignalSpy changed(&f.model, &QAbstractItemModel::dataChanged);

        QVERIFY(!f.model.setData(f.model.index(1), QStringLiteral("x"), Qt::EditRole));
        QVERIFY(f.model.setData(f.model.index(1), QStringLiteral("Stage"), DeviceListModel::AliasRole));
        QCOMPARE(second->nameAlias(), QStringLiteral("Stage"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), f.model.index(1));
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
        QTest::newRow("block down") << 0 << 3 << 2 << QList<int> {2, 3, 4, 0, 1} << 5;
        QTest::newRow("block up") << 3 << 0 << 2 << QList<int> {3, 4, 0, 1, 2} << 0;
        QTest::newRow("onto itself") << 2 << 2 << 1 << unmoved << -1;
        QTest::newRow("block past the end") << 4 << 1 << 2 << unmoved << -1;
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
        if (destination >= 0)
            QCOMPARE(moved.at(0).at(4).toInt(), destination);
    }

    void lookups()
    {
        Fixture f;
        const RxDevicePtr member = decoder(1);
        const auto lobby = wall({decoderName(1), decoderName(2), QString()});
        QVERIFY(lobby->bind(member));
        // A stand-alone object of the same name further down, as a stale entry would be.
        const RxDevicePtr namesake = decoder(1);
        namesake->setNameAlias(QStringLiteral("Spare"));
        const RxDevicePtr other = decoder(3);
        other->setSeq(9);
        f.model.addDevice(lobby, -1);
        f.model.addDevice(namesake, -1);
        f.model.addDevice(other, -1);

        const QString lowerName = decoderName(1).toLower();
        QCOMPARE(f.model.findDevice(lowerName, true), DeviceBasePtr(member));
        QCOMPARE(f.model.findDevice(lowerName, false), DeviceBasePtr(namesake));
        QCOMPARE(f.model.findDeviceByGuid(other->guid().toLower()), DeviceBasePtr(other));
        QCOMPARE(f.model.findDeviceBySeq(9), DeviceBasePtr(other));
        QVERIFY(f.model.containsName(QStringLiteral("vw:0001:42")));
        QVERIFY(f.model.containsAlias(QStringLiteral("rx - 1")));
        QVERIFY(!f.model.containsAlias(QStringLiteral("RX - 2")));
        // The wall counts as its two occupied cells, bound or not; its free cell does not count.
        QCOMPARE(f.model.deviceCount(), 4);

        QVERIFY(!f.model.removeDevice(decoderName(2)));
        QCOMPARE(f.model.removeDevice(decoderName(3).toLower()), DeviceBasePtr(other));
        QCOMPARE(f.model.rowCount(), 2);
    }

    void offlinePassRefreshesEveryRow()
    {
        Fixture f;
        QSignalSpy changed(&f.model, &QAbstractItemModel::dataChanged);
        f.model.increaseOfflineCounters();
        QCOMPARE(changed.count(), 0);

        f.fill(3);
        for (int pass = 0; pass < DeviceBase::OFFLINE_THRESHOLD; ++pass)
            f.model.increaseOfflineCounters();
        QCOMPARE(changed.last().at(0).toModelIndex(), f.model.index(0));
        QCOMPARE(changed.last().at(1).toModelIndex(), f.model.index(2));
        QCOMPARE(changed.last().at(2).value<QVector<int>>(),
            (QVector<int> {DeviceListModel::OnlineRole, DeviceListModel::WallOnlineRole}));
        QCOMPARE(f.model.index(2).data(DeviceListModel::OnlineRole).toBool(), false);
    }
};

QTEST_MAIN(TestDeviceListModel)
#include "tst_device_list_model.moc"
