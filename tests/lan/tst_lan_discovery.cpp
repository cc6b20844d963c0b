// Discovery over real interfaces. Run by lan_discovery_test.sh: `loopbackOnly` in a
// namespace with nothing but loopback, the rest inside the controller's namespace of the
// test LAN, which the script describes in LAN_* variables.
#include "discovery/broadcast_socket.h"
#include "discovery/device_discovery_response.h"
#include "discovery/interface_selection.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

namespace {

QStringList listFromEnvironment(const char *name)
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

// Restores ZENTROVA_INTERFACES when the test ends, whatever happens.
class InterfacesVariable
{
public:
    explicit InterfacesVariable(const QByteArray &value)
        : old(qgetenv(INTERFACES_VARIABLE))
    {
        qputenv(INTERFACES_VARIABLE, value);
    }
    ~InterfacesVariable() { qputenv(INTERFACES_VARIABLE, old); }

private:
    QByteArray old;
};

} // namespace

class TestLanDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void loopbackOnly();
    void discoversEveryDeviceThroughEveryAddress();
    void partialBindFailure();
    void interfaceSelection_data();
    void interfaceSelection();
};

void TestLanDiscovery::loopbackOnly()
{
    BroadcastSocket sockets;
    QVERIFY(sockets.interfaceSockets().isEmpty());
    QVERIFY(!sockets.bind(DISCOVERY_REPLY_PORT));
    QCOMPARE(sockets.errorString(), QString());
}

void TestLanDiscovery::discoversEveryDeviceThroughEveryAddress()
{
    // "name@address" of every simulated device, and the controller's own addresses.
    const QStringList devices = listFromEnvironment("LAN_DEVICES");
    const QStringList controllerAddresses = listFromEnvironment("LAN_CONTROLLER_ADDRESSES");
    QVERIFY(!devices.isEmpty());

    BroadcastSocket sockets;
    QCOMPARE(socketAddresses(sockets), controllerAddresses);
    for (const InterfaceSocket &entry : sockets.interfaceSockets())
        QCOMPARE(entry.broadcast, QHostAddress(QStringLiteral("192.0.2.255")));
    QVERIFY(sockets.bind(DISCOVERY_REPLY_PORT));
    QCOMPARE(sockets.errorString(), QString());
    // Binding again leaves the bound sockets as they are.
    QVERIFY(sockets.bind(DISCOVERY_REPLY_PORT));
    for (const InterfaceSocket &entry : sockets.interfaceSockets())
        QCOMPARE(entry.socket->localPort(), DISCOVERY_REPLY_PORT);

    // Which devices answered on which of the controller's addresses.
    QMap<QString, QStringList> heard;
    connect(&sockets, &BroadcastSocket::readyRead, this, [&heard](QUdpSocket *socket) {
        while (socket->hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket->receiveDatagram();
            const DeviceDiscoveryResponsePtr reply
                = DeviceDiscoveryResponse::parse(datagram.data(), datagram.senderAddress(), datagram.senderPort());
            if (reply)
                heard[socket->localAddress().toString()]
                    << reply->name() + QLatin1Char('@') + reply->address.toString();
        }
    });
    sockets.writeDatagram(DISCOVERY_REQUEST, DISCOVERY_REQUEST_PORT);

    QStringList expected = devices;
    expected.sort();
    for (const QString &address : controllerAddresses) {
        QTRY_COMPARE_WITH_TIMEOUT(heard.value(address).size(), devices.size(), 10000);
        QStringList got = heard.value(address);
        got.sort();
        QCOMPARE(got, expected);
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

void TestLanDiscovery::interfaceSelection_data()
{
    QTest::addColumn<QByteArray>("selection");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("warning");

    const QString interface = qEnvironmentVariable("LAN_CONTROLLER_INTERFACE");
    QTest::newRow("by interface") << interface.toLatin1() << listFromEnvironment("LAN_CONTROLLER_ADDRESSES")
                                  << QString();
    QTest::newRow("by subnet") << QByteArray("192.0.2.2/32") << QStringList {"192.0.2.2"} << QString();
    QTest::newRow("nothing matches")
        << QByteArray("nosuch0") << QStringList()
        << QStringLiteral("ZENTROVA_INTERFACES entry 'nosuch0' matches no usable IPv4 interface address");
}

void TestLanDiscovery::interfaceSelection()
{
    QFETCH(QByteArray, selection);
    QFETCH(QStringList, expected);
    QFETCH(QString, warning);

    const InterfacesVariable variable(selection);
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    BroadcastSocket sockets;
    QCOMPARE(socketAddresses(sockets), expected);
}

QTEST_GUILESS_MAIN(TestLanDiscovery)
#include "tst_lan_discovery.moc"
