#include "log_capture.h"
#include "models/device_base.h"
#include "test_records.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

namespace {

// The smallest device: records what the base hands to its address hook.
class ProbeDevice : public DeviceBase
{
public:
    using DeviceBase::DeviceBase;
    DeviceModel deviceModel() const override { return DeviceModel::Rx; }
    QString category() const override { return QStringLiteral("rx"); }

    struct AddressChange
    {
        QHostAddress oldAddress;
        QHostAddress newAddress;
        QHostAddress recordAddress;
    };
    QList<AddressChange> addressChanges;

protected:
    void addressUpdated(const QHostAddress &oldAddress, const QHostAddress &newAddress) override
    {
        addressChanges.append({oldAddress, newAddress, meta()->address});
    }
};

const QString NAME = QStringLiteral("IPD9DEMO-7C2E0DFE0001");

} // namespace

class TestDeviceBase : public QObject
{
    Q_OBJECT

private slots:
    void offlineCounting_data();
    void offlineCounting();
    void writesAndTheirSignals();
    void addressUpdates();
    void identity();
};

void TestDeviceBase::offlineCounting_data()
{
    // Steps: i = a discovery pass without reply, r = a reply, o = the online flag written false.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("online");
    QTest::addColumn<int>("counter");
    QTest::addColumn<int>("announced");
    QTest::addColumn<QStringList>("notes");

    const QString offline = NAME + QStringLiteral(" Offline!");
    const QString online = NAME + QStringLiteral(" Online!");
    QTest::newRow("three misses stay online") << "iii" << true << 3 << 0 << QStringList();
    QTest::newRow("a reply restarts the count") << "iiiriii" << true << 3 << 0 << QStringList();
    QTest::newRow("fourth miss goes offline") << "iiii" << false << 4 << 1 << QStringList {offline};
    QTest::newRow("fifth miss changes nothing") << "iiiii" << false << 5 << 1 << QStringList {offline};
    QTest::newRow("reply when online is quiet") << "r" << true << 0 << 0 << QStringList();
    QTest::newRow("reply brings it back") << "iiiiir" << true << 0 << 2 << QStringList {offline, online};
    QTest::newRow("already offline reaches four quietly") << "oiiii" << false << 4 << 1 << QStringList();
    QTest::newRow("second outage is told again")
        << "iiiiriiii" << false << 4 << 3 << QStringList {offline, online, offline};
}

void TestDeviceBase::offlineCounting()
{
    QFETCH(QString, steps);
    QFETCH(bool, online);
    QFETCH(int, counter);
    QFETCH(int, announced);
    QFETCH(QStringList, notes);

    ProbeDevice device(parsedDiscoveryRecord(NAME));
    QSignalSpy spy(&device, &DeviceBase::onlineStatusChanged);
    LogCapture log(QtInfoMsg);
    for (const QChar step : steps) {
        if (step == QLatin1Char('i'))
            device.offlineCounterIncrease();
        else if (step == QLatin1Char('r'))
            device.offlineCounterReset();
        else
            device.setOnline(false);
    }
    QCOMPARE(device.online(), online);
    QCOMPARE(device.offlineCounter(), counter);
    QCOMPARE(spy.count(), announced);
    QCOMPARE(log.messages(), notes);
}

void TestDeviceBase::writesAndTheirSignals()
{
    ProbeDevice device(parsedDiscoveryRecord(NAME));
    QSignalSpy aliasSpy(&device, &DeviceBase::nameAliasChanged);
    QSignalSpy onlineSpy(&device, &DeviceBase::onlineStatusChanged);

    // The settings list saves on every alias edit, so an unchanged alias is announced too.
    QVERIFY(device.setProperty("nameAlias", QStringLiteral("Lobby")));
    device.setNameAlias(QStringLiteral("Lobby"));
    QCOMPARE(aliasSpy.count(), 2);
    QCOMPARE(aliasSpy.at(1).at(0).toString(), QStringLiteral("Lobby"));
    QCOMPARE(device.nameAlias(), QStringLiteral("Lobby"));

    QVERIFY(device.setProperty("online", true));
    QCOMPARE(onlineSpy.count(), 0);
    device.setOnline(false);
    device.setOnline(false);
    QCOMPARE(onlineSpy.count(), 1);
    QCOMPARE(device.property("online").toBool(), false);
}

void TestDeviceBase::addressUpdates()
{
    const QHostAddress first(QStringLiteral("192.0.2.10"));
    const QHostAddress second(QStringLiteral("192.0.2.11"));
    ProbeDevice device(parsedDiscoveryRecord(NAME, QString(), first));

    device.updateAddress(first);
    QVERIFY(device.addressChanges.isEmpty());

    device.updateAddress(second);
    QCOMPARE(device.addressChanges.size(), 1);
    QCOMPARE(device.addressChanges.at(0).oldAddress, first);
    QCOMPARE(device.addressChanges.at(0).newAddress, second);
    // The hook sees the record already pointing at the new address.
    QCOMPARE(device.addressChanges.at(0).recordAddress, second);
    QCOMPARE(device.meta()->address, second);
}

void TestDeviceBase::identity()
{
    const DeviceDiscoveryResponsePtr record = parsedDiscoveryRecord(NAME, QStringLiteral("Hall left"));
    ProbeDevice first(record);
    ProbeDevice second(record);

    QCOMPARE(first.name(), NAME);
    QCOMPARE(first.id(), QStringLiteral("7C2E0DFE0001"));
    QCOMPARE(second.name(), first.name());
    QCOMPARE(second.id(), first.id());
    QCOMPARE(first.nameAlias(), QStringLiteral("Hall left"));
    QVERIFY(first.online());
    QCOMPARE(first.seq(), 0);
    QCOMPARE(first.meta(), record.data());

    const QRegularExpression guidForm(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    QVERIFY2(guidForm.match(first.guid()).hasMatch(), qPrintable(first.guid()));
    QVERIFY(first.guid() != second.guid());
}

QTEST_GUILESS_MAIN(TestDeviceBase)
#include "tst_device_base.moc"
