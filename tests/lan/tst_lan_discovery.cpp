// Discovery over real interfaces, run by lan_discovery_test.sh inside the controller's
// namespace of the test LAN, which the script describes in LAN_* variables.
#include "discovery/broadcast_socket.h"
#include "discovery/device_discovery_response.h"
#include "discovery/interface_selection.h"
#include "wire_fixtures.h"

#include <QUdpSocket>
#include <QtTest>

#include <memory>

namespace {

QStringList fromEnvironment(const char *name)
{
    return qEnvironmentVariable(name).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

QStringList socketAddresses(const BroadcastSocket &sockets)
{
    QStringList addresses;
    for (const InterfaceSocket &entry : sockets.interfaceSockets())
        addresses << entry.ip.toString();
    return addresses;
}

} // namespace

class TestLanDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void discoversEveryDeviceThroughEveryAddress();
    void partialBindFailure();
    void interfaceSelection();
};

void TestLanDiscovery::discoversEveryDeviceThroughEveryAddress()
{
    // "name@address" of every simulated device, and the controller's own addresses.
    QStringList devices = fromEnvironment("LAN_DEVICES");
    const QStringList controllerAddresses = fromEnvironment("LAN_CONTROLLER_ADDRESSES");
    BroadcastSocket sockets;
    QCOMPARE(socketAddresses(sockets), controllerAddresses);
    QVERIFY(sockets.bind(DISCOVERY_REPLY_PORT));

    // Which devices answered on which of the controller's addresses; the encoder's reply is
    // the one its simulator was started for, byte for byte.
    QMap<QString, QStringList> heard;
    connect(&sockets, &BroadcastSocket::repliesRead, this, [&heard](const DiscoveryReplies &replies) {
        for (const DiscoveryReply &datagram : replies) {
            const DeviceDiscoveryResponsePtr reply
                = DeviceDiscoveryResponse::parse(datagram.data, datagram.sender, datagram.port);
            QVERIFY(reply);
            QCOMPARE(datagram.name, reply->name());
            QVERIFY(reply->deviceKind() != ResponseKind::Encoder || datagram.data == encoderReplyFixture());
            heard[datagram.receiver.toString()] << reply->name() + QLatin1Char('@') + reply->address.toString();
        }
    });
    sockets.writeDatagram(DISCOVERY_REQUEST, DISCOVERY_REQUEST_PORT);
    devices.sort();
    for (const QString &address : controllerAddresses)
        QTRY_COMPARE_WITH_TIMEOUT(heard.value(address).size(), devices.size(), 10000);
    // One request from each address, so one answer each: late doubles would show here.
    QTest::qWait(500);
    for (const QString &address : controllerAddresses) {
        QStringList got = heard.value(address);
        got.sort();
        QCOMPARE(got, devices);
    }
}

// One address taken by another program: discovery goes on through the others, the failed
// socket sends nothing (the system would bind it to a port of its own), keeps its error, and
// the next bind retries it on the discovery port.
void TestLanDiscovery::partialBindFailure()
{
    const quint16 port = DISCOVERY_REPLY_PORT + 1;
    auto blocker = std::make_unique<QUdpSocket>();
    QVERIFY(blocker->bind(QHostAddress(QStringLiteral("192.0.2.2")), port, QAbstractSocket::DontShareAddress));

    BroadcastSocket sockets;
    QCOMPARE(sockets.interfaceSockets().size(), 2);
    QVERIFY(sockets.bind(port));
    const QString error = sockets.errorString();
    QVERIFY(!error.isEmpty());
    QCOMPARE(sockets.interfaceSockets().at(1).error, error);
    // Nobody listens on the port the request goes to; it only has to leave.
    sockets.writeDatagram(DISCOVERY_REQUEST, port + 1);
    QCOMPARE(sockets.interfaceSockets().at(1).socket->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(sockets.bind(port));
    QCOMPARE(sockets.errorString(), error);

    blocker.reset();
    QVERIFY(sockets.bind(port));
    QCOMPARE(sockets.errorString(), QString());
    for (const InterfaceSocket &entry : sockets.interfaceSockets())
        QCOMPARE(entry.socket->localPort(), port);
}

// Discovery limited by the variable: to one address, or to nothing, which is said.
void TestLanDiscovery::interfaceSelection()
{
    qputenv(INTERFACES_VARIABLE, "192.0.2.2/32");
    QCOMPARE(socketAddresses(BroadcastSocket()), QStringList {"192.0.2.2"});
    qputenv(INTERFACES_VARIABLE, "nosuch0");
    QTest::ignoreMessage(QtWarningMsg, "ZENTROVA_INTERFACES entry 'nosuch0' matches no usable IPv4 interface address");
    QCOMPARE(socketAddresses(BroadcastSocket()), QStringList());
    qunsetenv(INTERFACES_VARIABLE);
}

QTEST_GUILESS_MAIN(TestLanDiscovery)
#include "tst_lan_discovery.moc"
