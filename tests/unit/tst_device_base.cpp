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

    // Old address, new address, and the record's address while the hook runs.
    QList<QList<QHostAddress>> addressChanges;

protected:
    void addressUpdated(const QHostAddress &oldAddress, const QHostAddress &newAddress) override
    {
        addressChanges.append(QList<QHostAddress> {oldAddress, newAddress, meta()->address});
    }
};

const QString NAME = QStringLiteral("IPD9DEMO-7C2E0DFE0001");

} // namespace

class TestDeviceBase : public QObject
{
    Q_OBJECT

private slots:
    void offlineCounting_data()
    {
        // Steps: i = a discovery pass without reply, r = a reply, o = the online property written false.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("online");
        QTest::addColumn<int>("counter");
        QTest::addColumn<int>("announced");
        QTest::addColumn<QStringList>("notes");

        const QString offline = NAME + QStringLiteral(" Offline!");
        const QString online = NAME + QStringLiteral(" Online!");
        // The reply comes while still online, so it is quiet.
        QTest::newRow("a reply restarts the count") << "iiiriii" << true << 3 << 0 << QStringList();
        QTest::newRow("fourth miss goes offline") << "iiii" << false << 4 << 1 << QStringList {offline};
        QTest::newRow("fifth miss changes nothing") << "iiiii" << false << 5 << 1 << QStringList {offline};
        QTest::newRow("written offline twice, told once; misses are quiet")
            << "ooiiii" << false << 4 << 1 << QStringList();
        QTest::newRow("back online, second outage told again")
            << "iiiiriiii" << false << 4 << 3 << QStringList {offline, online, offline};
    }

    void offlineCounting()
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
                QVERIFY(device.setProperty("online", false));
        }
        QCOMPARE(device.online(), online);
        QCOMPARE(device.offlineCounter(), counter);
        QCOMPARE(spy.count(), announced);
        QCOMPARE(log.messages(), notes);
    }

    void addressUpdates()
    {
        const QHostAddress first(QStringLiteral("192.0.2.10"));
        const QHostAddress second(QStringLiteral("192.0.2.11"));
        ProbeDevice device(parsedDiscoveryRecord(NAME, QString(), first));

        // The same address again is no change; the hook sees the record already pointing at the new one.
        device.updateAddress(first);
        device.updateAddress(second);
        QCOMPARE(device.addressChanges, (QList<QList<QHostAddress>> {{first, second, second}}));
        QCOMPARE(device.meta()->address, second);
    }

    void identityAndAlias()
    {
        const DeviceDiscoveryResponsePtr record = parsedDiscoveryRecord(NAME, QStringLiteral("Hall left"));
        ProbeDevice first(record);
        ProbeDevice second(record);

        QCOMPARE(first.name(), NAME);
        QCOMPARE(first.id(), QStringLiteral("7C2E0DFE0001"));
        QCOMPARE(first.nameAlias(), QStringLiteral("Hall left"));
        const QRegularExpression guidForm(
            QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
        QVERIFY2(guidForm.match(first.guid()).hasMatch(), qPrintable(first.guid()));
        QVERIFY(first.guid() != second.guid());

        // The settings list saves on every alias edit, so an unchanged alias is announced too.
        QSignalSpy spy(&first, &DeviceBase::nameAliasChanged);
        QVERIFY(first.setProperty("nameAlias", QStringLiteral("Lobby")));
        first.setNameAlias(QStringLiteral("Lobby"));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toString(), QStringLiteral("Lobby"));
        QCOMPARE(first.nameAlias(), QStringLiteral("Lobby"));
    }
};

QTEST_GUILESS_MAIN(TestDeviceBase)
#include "tst_device_base.moc"
