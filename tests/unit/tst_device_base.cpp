#include "log_capture.h"
#include "models/device_base.h"
#include "test_records.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

class ProbeDevice : public DeviceBase
{
public:
    using DeviceBase::DeviceBase;
    DeviceModel deviceModel() const override { return DeviceModel::Rx; }
    QString category() const override { return QStringLiteral("rx"); }
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

    void guidAndAlias()
    {
        ProbeDevice first(parsedDiscoveryRecord(NAME));
        QVERIFY(first.guid() != ProbeDevice(parsedDiscoveryRecord(NAME)).guid());

        // The settings list saves on every alias edit, so an unchanged alias is announced too.
        QSignalSpy spy(&first, &DeviceBase::nameAliasChanged);
        QVERIFY(first.setProperty("nameAlias", QStringLiteral("Lobby")));
        first.setNameAlias(QStringLiteral("Lobby"));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toString(), QStringLiteral("Lobby"));
    }
};

QTEST_GUILESS_MAIN(TestDeviceBase)
#include "tst_device_base.moc"
