// The device manager on the test LAN: a simulated encoder, two simulated decoders with real
// shells and a device of no known kind. Run by lan_manager_test.sh inside the controller's
// namespace, which it describes in LAN_* variables.
#include "manager/device_manager.h"
#include "models/device_list_model.h"
#include "oem_setting.h"
#include "test_home.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

namespace {

constexpr int WAIT_MS = 20000;

QStringList listFromEnvironment(const char *name)
{
    return qEnvironmentVariable(name).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

QString stateOf(const QString &stateDir, const char *key)
{
    QFile file(stateDir + QLatin1Char('/') + QLatin1String(key));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

int rowOf(const DeviceListModel &list, const QString &name)
{
    for (int row = 0; row < list.rowCount(); ++row) {
        if (list.at(row)->name() == name)
            return row;
    }
    return -1;
}

// Every datagram the controller broadcasts to the encoders' command ports; the kernel
// hands a copy of each broadcast to listeners on the sending host too.
class EncoderPorts
{
public:
    EncoderPorts()
    {
        for (const quint16 port : {5010, 5011}) {
            auto *socket = new QUdpSocket;
            sockets.emplace_back(socket);
            bound = socket->bind(QHostAddress::AnyIPv4, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)
                && bound;
            QObject::connect(socket, &QUdpSocket::readyRead, [this, socket, port] {
                while (socket->hasPendingDatagrams())
                    received[port] << socket->receiveDatagram().data();
            });
        }
    }
    bool bound = true;
    QHash<quint16, QList<QByteArray>> received;

private:
    std::vector<std::unique_ptr<QUdpSocket>> sockets;
};

} // namespace

class TestLanManager : public QObject
{
    Q_OBJECT

private slots:
    void discoversRoutesAndBuildsWalls();
};

void TestLanManager::discoversRoutesAndBuildsWalls()
{
    const QString encoder = qEnvironmentVariable("LAN_ENCODER");
    const QStringList decoders = listFromEnvironment("LAN_DECODERS");
    const QStringList states = listFromEnvironment("LAN_DECODER_STATES");
    QCOMPARE(decoders.size(), 2);
    const TestHome home;
    OemSetting oem;
    DeviceManager manager(&oem);
    EncoderPorts ports;
    QVERIFY(ports.bound);

    // Found by kind; decoders wait in the pending list until their shells have answered.
    QSignalSpy pendingInserts(manager.pendingRxList(), &QAbstractItemModel::rowsInserted);
    manager.startDiscovery(true);
    QTRY_COMPARE_WITH_TIMEOUT(manager.rxlist()->rowCount(), 2, WAIT_MS);
    QCOMPARE(pendingInserts.count(), 2);
    QCOMPARE(manager.pendingRxList()->rowCount(), 0);
    QCOMPARE(manager.txlist()->rowCount(), 1);
    QCOMPARE(manager.txlist()->at(0)->name(), encoder);
    QCOMPARE(manager.deviceFound(), 3);

    // One decoder: its shell switches, the encoders are not told.
    manager.setCurrentRxDevice(decoders.at(0));
    manager.changeRxDeviceSource(QStringLiteral("TX:") + encoder, false);
    QTRY_COMPARE_WITH_TIMEOUT(stateOf(states.at(0), "source_select"), encoder, WAIT_MS);
    QCOMPARE(stateOf(states.at(1), "source_select"), QStringLiteral("NULL"));

    // A wall of both: each shell learns its place; the encoders hear of it only once it is routed.
    QSignalSpy created(&manager, &DeviceManager::videoWallCreated);
    const int seq0 = manager.rxlist()->at(rowOf(*manager.rxlist(), decoders.at(0)))->seq();
    const int seq1 = manager.rxlist()->at(rowOf(*manager.rxlist(), decoders.at(1)))->seq();
    manager.createVideoWall(QStringLiteral("Wall"), 1, 2, QStringLiteral("%1,%2").arg(seq1).arg(seq0));
    QCOMPARE(created.count(), 1);
    QCOMPARE(manager.rxlist()->rowCount(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(stateOf(states.at(1), "crop_param"), QStringLiteral("0:1:0:0"), WAIT_MS);
    QTRY_COMPARE_WITH_TIMEOUT(stateOf(states.at(0), "crop_param"), QStringLiteral("0:1:0:1"), WAIT_MS);
    QTest::qWait(500);
    QVERIFY2(ports.received.isEmpty(), ports.received.value(5010).value(0).constData());

    // Numbers are for placing plain decoders: wall members keep their picture. The wall
    // command itself is the e2e scenario's part.
    manager.osdShowSeq();
    manager.setCurrentRxDevice(manager.rxlist()->at(created.at(0).at(0).toInt())->name());
    manager.changeRxDeviceSource(QStringLiteral("TX:") + encoder, false);
    QTRY_COMPARE_WITH_TIMEOUT(stateOf(states.at(1), "source_select"), encoder, WAIT_MS);
    QCOMPARE(stateOf(states.at(1), "osd"), QString());

    // To all screens: the wall's encoders are told too, or the wall could stay dark.
    QTRY_VERIFY_WITH_TIMEOUT(!ports.received.value(5010).isEmpty(), WAIT_MS);
    ports.received.clear();
    manager.changeRxDeviceSource(QStringLiteral("TX:"), true);
    const QRegularExpression emptied(
        QStringLiteral("^msg_b_reconnect :\\d+:2 %1 %2$").arg(decoders.at(1), decoders.at(0)));
    QTRY_VERIFY_WITH_TIMEOUT(!ports.received.value(5010).isEmpty(), WAIT_MS);
    QVERIFY(emptied.match(QString::fromLatin1(ports.received.value(5010).first())).hasMatch());
    for (const QString &state : states)
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(state, "source_select"), QStringLiteral("NULL"), WAIT_MS);

    // Demo mode: the LAN's answers are ignored and walls are not announced.
    manager.enterDemoMode();
    const int demoDevices = manager.deviceFound();
    ports.received.clear();
    manager.startDiscovery(true);
    manager.createVideoWall(QStringLiteral("Demo wall"), 1, 2,
        QStringLiteral("%1,%2").arg(manager.rxlist()->at(1)->seq()).arg(manager.rxlist()->at(2)->seq()));
    QCOMPARE(created.count(), 2);
    manager.setCurrentRxDevice(manager.rxlist()->at(created.at(1).at(0).toInt())->name());
    manager.changeRxDeviceSource(QStringLiteral("TX:IPE9DEMO-7C2E0DFF0002"), false);
    QTest::qWait(3000);
    QCOMPARE(manager.deviceFound(), demoDevices);
    QVERIFY(ports.received.isEmpty());
}

QTEST_MAIN(TestLanManager)
#include "tst_lan_manager.moc"
