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
#include <memory>

using SavedOrders = QList<QPair<QString, int>>;
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

} // namespace

class TestDeviceListModel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void insertPosition_data();
    void insertPosition();
    void roles();
    void editsOnlyTheAlias();
    void move_data();
    void move();
    void lookups();
    void onlineRefreshAndClear();

private:
    QStringList namesInOrder() const;
    void fill(int count);

    std::unique_ptr<TestHome> home;
    std::unique_ptr<JsonConfig> config;
    std::unique_ptr<DeviceListModel> model;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

void TestDeviceListModel::init()
{
    home = std::make_unique<TestHome>();
    config = std::make_unique<JsonConfig>(QStringLiteral("~/.zentrova/config.json"), false);
    model = std::make_unique<DeviceListModel>(config.get());
    tester = std::make_unique<QAbstractItemModelTester>(
        model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void TestDeviceListModel::cleanup()
{
    tester.reset();
    model.reset();
    config.reset();
    home.reset();
}

QStringList TestDeviceListModel::namesInOrder() const
{
    QStringList names;
    for (int row = 0; row < model->rowCount(); ++row)
        names.append(model->index(row).data(DeviceListModel::NameRole).toString());
    return names;
}

void TestDeviceListModel::fill(int count)
{
    for (int n = 0; n < count; ++n)
        model->addDevice(decoder(n), -1);
}

void TestDeviceListModel::insertPosition_data()
{
    // Devices arrive in this order, each with its saved order (-1: none saved).
    QTest::addColumn<SavedOrders>("arrivals");
    QTest::addColumn<int>("lastRow");
    QTest::addColumn<QList<int>>("finalOrder"); // decoder numbers, top to bottom

    QTest::newRow("in front of an equal order")
        << SavedOrders {{"1", 0}, {"2", 2}, {"3", 5}, {"4", 2}} << 1 << QList<int> {1, 4, 2, 3};
    QTest::newRow("no saved order is appended")
        << SavedOrders {{"1", 0}, {"2", 2}, {"3", -1}} << 2 << QList<int> {1, 2, 3};
    QTest::newRow("beyond every order goes last, after unsaved rows")
        << SavedOrders {{"1", 0}, {"2", -1}, {"3", 1}} << 2 << QList<int> {1, 2, 3};
    QTest::newRow("order 0 goes first") << SavedOrders {{"1", 1}, {"2", -1}, {"3", 0}} << 0 << QList<int> {3, 1, 2};
    QTest::newRow("any arrival order ends sorted")
        << SavedOrders {{"3", 2}, {"1", 0}, {"4", 3}, {"2", 1}} << 1 << QList<int> {1, 2, 3, 4};
    QTest::newRow("unsaved rows never stop the scan")
        << SavedOrders {{"1", -1}, {"2", -1}, {"3", 4}, {"4", 3}} << 2 << QList<int> {1, 2, 4, 3};
}

void TestDeviceListModel::insertPosition()
{
    QFETCH(SavedOrders, arrivals);
    QFETCH(int, lastRow);
    QFETCH(QList<int>, finalOrder);

    QSignalSpy inserted(model.get(), &QAbstractItemModel::rowsInserted);
    int row = -1;
    for (const auto &arrival : arrivals) {
        const int n = arrival.first.toInt();
        if (arrival.second >= 0)
            config->setValue(QStringLiteral("orders/%1").arg(decoderName(n)), arrival.second);
        row = model->addDevice(decoder(n), arrival.second);
    }
    QCOMPARE(row, lastRow);
    QCOMPARE(inserted.count(), arrivals.size());
    QCOMPARE(inserted.last().at(1).toInt(), lastRow);
    QCOMPARE(inserted.last().at(2).toInt(), lastRow);
    QStringList expected;
    for (int n : finalOrder)
        expected.append(decoderName(n));
    QCOMPARE(namesInOrder(), expected);
}

void TestDeviceListModel::roles()
{
    const QHash<int, QByteArray> names = model->roleNames();
    const QHash<int, QByteArray> expectedNames {{266, "name"}, {267, "id"}, {268, "guid"}, {269, "alias"},
        {270, "surface"}, {271, "videoAvaiable"}, {272, "address"}, {273, "category"}, {274, "seq"}, {275, "online"},
        {276, "wallOnline"}};
    QCOMPARE(names, expectedNames);

    auto encoder = QSharedPointer<TxDevice>::create(
        parsedDiscoveryRecord(QStringLiteral("IPE3x-7c2e0d00aa01"), QStringLiteral("TX - 1"), QHostAddress::LocalHost));
    const RxDevicePtr single = decoder(1);
    single->setSeq(5);
    single->setOnline(false);
    const RxDevicePtr left = decoder(2);
    const RxDevicePtr right = decoder(3);
    auto wall = QSharedPointer<VWDevice>::create(QStringLiteral("VW:0001:42"), QStringLiteral("Lobby"), 3, 1, QString(),
        QStringList {decoderName(2), QString(), decoderName(3)});
    QVERIFY(wall->bind(left));
    QVERIFY(wall->bind(right));
    model->addDevice(encoder, -1);
    model->addDevice(single, -1);
    model->addDevice(wall, -1);

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
        {0, DeviceListModel::CategoryRole, QStringLiteral("tx")},
        {0, DeviceListModel::SeqRole, 0},
        {0, DeviceListModel::OnlineRole, true},
        {0, DeviceListModel::WallOnlineRole, QStringLiteral("1")},
        {0, DeviceListModel::VideoAvaiableRole, false},
        {1, DeviceListModel::CategoryRole, QStringLiteral("rx")},
        {1, DeviceListModel::SeqRole, 5},
        {1, DeviceListModel::OnlineRole, false},
        {1, DeviceListModel::WallOnlineRole, QStringLiteral("0")},
        {1, DeviceListModel::VideoAvaiableRole, false},
        {1, DeviceListModel::AddressRole, QString()},
        {2, DeviceListModel::NameRole, QStringLiteral("VW:0001:42")},
        {2, DeviceListModel::IdRole, QStringLiteral("VW:0001:42")},
        {2, DeviceListModel::AliasRole, QStringLiteral("Lobby")},
        {2, DeviceListModel::CategoryRole, QStringLiteral("vw")},
        {2, DeviceListModel::WallOnlineRole, QStringLiteral("1,0,1")},
    };
    for (const Expectation &e : expectations) {
        const QString where = QStringLiteral("row %1 role %2").arg(e.row).arg(e.role);
        QVERIFY2(model->index(e.row).data(e.role) == e.value, qPrintable(where));
    }

    QCOMPARE(model->index(0).data(DeviceListModel::SurfaceRole).value<QObject *>(),
        static_cast<QObject *>(encoder->videoSource()));
    encoder->videoSource()->setVideoAvaiable(true);
    QCOMPARE(model->index(0).data(DeviceListModel::VideoAvaiableRole).toBool(), true);
    QVERIFY(!model->index(1).data(DeviceListModel::SurfaceRole).isValid());
    QVERIFY(!model->index(2).data(DeviceListModel::SurfaceRole).isValid());
    QVERIFY(!model->index(0).data(Qt::UserRole).isValid());
    QVERIFY(!model->index(0).data(DeviceListModel::WallOnlineRole + 1).isValid());
    QVERIFY(!model->data(model->index(0).sibling(3, 0), DeviceListModel::NameRole).isValid());
    QCOMPARE(model->rowCount(model->index(0)), 0);

    QVERIFY(model->flags(model->index(1)).testFlag(Qt::ItemIsDragEnabled));
    QVERIFY(model->flags(model->index(1)).testFlag(Qt::ItemIsDropEnabled));
    QVERIFY(!model->flags(QModelIndex()).testFlag(Qt::ItemIsDropEnabled));
}

void TestDeviceListModel::editsOnlyTheAlias()
{
    fill(2);
    const DeviceBasePtr second = model->findDevice(decoderName(1), false);
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    QSignalSpy aliasChanged(second.data(), &DeviceBase::nameAliasChanged);

    QVERIFY(!model->setData(model->index(1), QStringLiteral("x"), DeviceListModel::NameRole));
    QVERIFY(!model->setData(model->index(1), QStringLiteral("x"), Qt::EditRole));
    QVERIFY(!model->setData(model->index(0).sibling(2, 0), QStringLiteral("x"), DeviceListModel::AliasRole));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(second->name(), decoderName(1));

    QVERIFY(model->setData(model->index(1), QStringLiteral("Stage"), DeviceListModel::AliasRole));
    QCOMPARE(second->nameAlias(), QStringLiteral("Stage"));
    QCOMPARE(aliasChanged.count(), 1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), model->index(1));
    QCOMPARE(changed.at(0).at(1).toModelIndex(), model->index(1));
    QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int> {DeviceListModel::AliasRole});
}

void TestDeviceListModel::move_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("n");
    QTest::addColumn<QList<int>>("order"); // decoder numbers after the call
    QTest::addColumn<int>("destination"); // announced row; -1: nothing announced

    QTest::newRow("up by two") << 3 << 1 << 1 << QList<int> {0, 3, 1, 2, 4} << 1;
    QTest::newRow("down by two") << 1 << 3 << 1 << QList<int> {0, 2, 3, 1, 4} << 4;
    QTest::newRow("first down by one") << 0 << 1 << 1 << QList<int> {1, 0, 2, 3, 4} << 2;
    QTest::newRow("block down") << 0 << 3 << 2 << QList<int> {2, 3, 4, 0, 1} << 5;
    QTest::newRow("block up") << 3 << 0 << 2 << QList<int> {3, 4, 0, 1, 2} << 0;
    QTest::newRow("overlapping block") << 1 << 2 << 3 << QList<int> {0, 4, 1, 2, 3} << 5;
    QTest::newRow("onto itself") << 2 << 2 << 1 << QList<int> {0, 1, 2, 3, 4} << -1;
    QTest::newRow("negative source") << -1 << 2 << 1 << QList<int> {0, 1, 2, 3, 4} << -1;
    QTest::newRow("source beyond the end") << 5 << 1 << 1 << QList<int> {0, 1, 2, 3, 4} << -1;
    QTest::newRow("block past the end") << 4 << 1 << 2 << QList<int> {0, 1, 2, 3, 4} << -1;
    QTest::newRow("target past the end") << 1 << 4 << 2 << QList<int> {0, 1, 2, 3, 4} << -1;
    QTest::newRow("no rows") << 1 << 3 << 0 << QList<int> {0, 1, 2, 3, 4} << -1;
}

void TestDeviceListModel::move()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, n);
    QFETCH(QList<int>, order);
    QFETCH(int, destination);

    fill(5);
    QSignalSpy moved(model.get(), &QAbstractItemModel::rowsMoved);
    QVERIFY(QMetaObject::invokeMethod(model.get(), "move", Q_ARG(int, from), Q_ARG(int, to), Q_ARG(int, n)));

    QStringList expected;
    for (int number : order)
        expected.append(decoderName(number));
    QCOMPARE(namesInOrder(), expected);
    QCOMPARE(moved.count(), destination < 0 ? 0 : 1);
    if (destination >= 0) {
        QCOMPARE(moved.at(0).at(1).toInt(), from);
        QCOMPARE(moved.at(0).at(2).toInt(), from + n - 1);
        QCOMPARE(moved.at(0).at(4).toInt(), destination);
    }
}

void TestDeviceListModel::lookups()
{
    const RxDevicePtr member = decoder(1);
    auto wall = QSharedPointer<VWDevice>::create(QStringLiteral("VW:0001:42"), QStringLiteral("Lobby"), 2, 2, QString(),
        QStringList {decoderName(1), decoderName(2)});
    QVERIFY(wall->bind(member));
    // A stand-alone object of the same name further down, as a stale entry would be.
    const RxDevicePtr namesake = decoder(1);
    const RxDevicePtr other = decoder(3);
    other->setSeq(9);
    model->addDevice(wall, -1);
    model->addDevice(namesake, -1);
    model->addDevice(other, -1);

    const QString lowerName = decoderName(1).toLower();
    QCOMPARE(model->findDevice(lowerName, true), DeviceBasePtr(member));
    QCOMPARE(model->findDevice(lowerName, false), DeviceBasePtr(namesake));
    QCOMPARE(model->findDevice(QStringLiteral("vw:0001:42"), true), DeviceBasePtr(wall));
    QVERIFY(!model->findDevice(decoderName(2), true));
    QCOMPARE(model->findDeviceByGuid(other->guid().toLower()), DeviceBasePtr(other));
    QVERIFY(!model->findDeviceByGuid(member->guid()));
    QCOMPARE(model->findDeviceBySeq(9), DeviceBasePtr(other));
    QVERIFY(!model->findDeviceBySeq(10));

    QVERIFY(model->containsName(QStringLiteral("VW:0001:42")));
    QVERIFY(model->containsName(lowerName));
    QVERIFY(!model->containsName(decoderName(2)));
    QVERIFY(model->containsAlias(QStringLiteral("lobby")));
    QVERIFY(model->containsAlias(QStringLiteral("rx - 3")));
    QVERIFY(!model->containsAlias(QStringLiteral("RX - 2")));
    // The wall counts as its one bound decoder.
    QCOMPARE(model->deviceCount(), 3);

    QSignalSpy removed(model.get(), &QAbstractItemModel::rowsRemoved);
    QVERIFY(!model->removeDevice(decoderName(2)));
    QCOMPARE(removed.count(), 0);
    QCOMPARE(model->removeDevice(decoderName(3).toLower()), DeviceBasePtr(other));
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(1).toInt(), 2);
    QCOMPARE(model->rowCount(), 2);
}

void TestDeviceListModel::onlineRefreshAndClear()
{
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    model->increaseOfflineCounters();
    QCOMPARE(changed.count(), 0);

    fill(3);
    for (int pass = 0; pass < DeviceBase::OFFLINE_THRESHOLD; ++pass)
        model->increaseOfflineCounters();
    QCOMPARE(changed.count(), DeviceBase::OFFLINE_THRESHOLD);
    QCOMPARE(changed.last().at(0).toModelIndex(), model->index(0));
    QCOMPARE(changed.last().at(1).toModelIndex(), model->index(2));
    QCOMPARE(changed.last().at(2).value<QVector<int>>(),
        (QVector<int> {DeviceListModel::OnlineRole, DeviceListModel::WallOnlineRole}));
    QCOMPARE(model->index(2).data(DeviceListModel::OnlineRole).toBool(), false);

    QSignalSpy reset(model.get(), &QAbstractItemModel::modelReset);
    model->clear();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model->rowCount(), 0);
    QCOMPARE(model->deviceCount(), 0);
}

QTEST_MAIN(TestDeviceListModel)
#include "tst_device_list_model.moc"
