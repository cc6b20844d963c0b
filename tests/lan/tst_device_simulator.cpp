// The simulated devices on loopback: the LAN tests and anyone checking the controller by
// hand rely on them answering as encoders and decoders do.
#include "discovery/broadcast_socket.h"
#include "discovery/device_discovery_response.h"
#include "telnet_server_process.h"
#include "wire_fixtures.h"

#include <QImage>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

Q_DECLARE_METATYPE(ResponseKind)

namespace {

const QString ENCODER_NAME = QStringLiteral("IPE3x-7c2e0d00aa01");

// One zentrova-devsim on 127.0.0.1, ended with the object.
class Simulator
{
public:
    bool start(const QStringList &arguments)
    {
        discoveryPort = freeUdpPort();
        httpPort = freeTcpPort();
        commandPort = freeUdpPort();
        process.start(QStringLiteral(DEVSIM_PROGRAM),
            QStringList {QStringLiteral("--address"), QStringLiteral("127.0.0.1"), QStringLiteral("--discovery-port"),
                QString::number(discoveryPort), QStringLiteral("--http-port"), QString::number(httpPort),
                QStringLiteral("--command-ports"), QString::number(commandPort), QStringLiteral("--faults"),
                faults.path()}
                + arguments);
        return process.waitForStarted(10000) && waitForOutput("ready ");
    }
    ~Simulator()
    {
        process.kill();
        process.waitForFinished(5000);
    }

    // Waits until the simulator has printed the text.
    bool waitForOutput(const QByteArray &text)
    {
        while (!output.contains(text)) {
            if (!process.waitForReadyRead(10000))
                return false;
            output += process.readAllStandardOutput();
        }
        return true;
    }
    bool switchFault(const QString &fault, bool on)
    {
        QFile file(faults.filePath(fault));
        return on ? file.open(QIODevice::WriteOnly) : file.remove();
    }

    QProcess process;
    QByteArray output;
    QTemporaryDir faults;
    quint16 discoveryPort = 0;
    quint16 httpPort = 0;
    quint16 commandPort = 0;
};

// Reads from `socket` until `data` holds at least `size` bytes.
bool readAtLeast(QTcpSocket &socket, QByteArray &data, int size)
{
    while (data.size() < size) {
        if (!socket.waitForReadyRead(10000))
            return false;
        data += socket.readAll();
    }
    return true;
}

// Reads one header block from `socket` into `data` and takes it off; empty on a timeout.
QByteArray takeHeaders(QTcpSocket &socket, QByteArray &data)
{
    int end;
    while ((end = data.indexOf("\r\n\r\n")) < 0) {
        if (!readAtLeast(socket, data, data.size() + 1))
            return QByteArray();
    }
    const QByteArray headers = data.left(end);
    data.remove(0, end + 4);
    return headers;
}

} // namespace

class TestDeviceSimulator : public QObject
{
    Q_OBJECT

private slots:
    void answersOnlyTheDiscoveryRequest_data();
    void answersOnlyTheDiscoveryRequest();
    void streamsJpegParts_data();
    void streamsJpegParts();
};

void TestDeviceSimulator::answersOnlyTheDiscoveryRequest_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("alias");
    QTest::addColumn<ResponseKind>("kind");

    QTest::newRow("encoder") << QStringList {"--name", ENCODER_NAME, "--alias", "Camera"} << ENCODER_NAME << "Camera"
                             << ResponseKind::Encoder;
    QTest::newRow("decoder") << QStringList {"--name", "IPD9-7c2e0d000001", "--alias", "Lobby"} << "IPD9-7c2e0d000001"
                             << "Lobby" << ResponseKind::Decoder;
}

void TestDeviceSimulator::answersOnlyTheDiscoveryRequest()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, name);
    QFETCH(QString, alias);
    QFETCH(ResponseKind, kind);

    Simulator device;
    QVERIFY(device.start(arguments));
    QUdpSocket controller;
    QVERIFY(controller.bind(QHostAddress::LocalHost, 0));
    // Anything but the request goes unanswered, and so does the request while the device is
    // silent: the first reply is the one to the last request.
    QVERIFY(device.switchFault(QStringLiteral("silent"), true));
    controller.writeDatagram(DISCOVERY_REQUEST, QHostAddress::LocalHost, device.discoveryPort);
    QVERIFY(device.waitForOutput("silent to request from 127.0.0.1:"));
    QVERIFY(device.switchFault(QStringLiteral("silent"), false));
    controller.writeDatagram(QByteArray(8, '\x01'), QHostAddress::LocalHost, device.discoveryPort);
    controller.writeDatagram(DISCOVERY_REQUEST + '\0', QHostAddress::LocalHost, device.discoveryPort);
    controller.writeDatagram(DISCOVERY_REQUEST, QHostAddress::LocalHost, device.discoveryPort);
    QVERIFY(controller.waitForReadyRead(10000));
    const QNetworkDatagram reply = controller.receiveDatagram();
    QCOMPARE(reply.data().size(), DISCOVERY_RECORD_SIZE);
    QCOMPARE(reply.senderPort(), int(device.discoveryPort));
    QVERIFY(!controller.hasPendingDatagrams());
    if (kind == ResponseKind::Encoder)
        QCOMPARE(reply.data(), encoderReplyFixture());

    const DeviceDiscoveryResponsePtr record
        = DeviceDiscoveryResponse::parse(reply.data(), reply.senderAddress(), reply.senderPort());
    QVERIFY(record);
    QCOMPARE(record->name(), name);
    QCOMPARE(record->alias(), alias);
    QCOMPARE(record->deviceKind(), kind);

    QVERIFY(device.waitForOutput("\nrequest from 127.0.0.1:"));
    QCOMPARE(device.output.count("\nrequest from 127.0.0.1:"), 1);
    QCOMPARE(device.output.count("ignored "), 2);

    // Only encoders serve a preview and take commands.
    QTcpSocket preview;
    preview.connectToHost(QHostAddress::LocalHost, device.httpPort);
    QCOMPARE(preview.waitForConnected(10000), kind == ResponseKind::Encoder);
    if (kind == ResponseKind::Encoder) {
        controller.writeDatagram("msg_b_reconnect x:1:0 ", QHostAddress::LocalHost, device.commandPort);
        QVERIFY(device.waitForOutput(
            "command on " + QByteArray::number(device.commandPort) + " from 127.0.0.1: msg_b_reconnect x:1:0 \n"));
    }
}

void TestDeviceSimulator::streamsJpegParts_data()
{
    QTest::addColumn<bool>("fromFolder");
    QTest::newRow("drawn frames") << false;
    QTest::newRow("files of a folder") << true;
}

void TestDeviceSimulator::streamsJpegParts()
{
    QFETCH(bool, fromFolder);

    QTemporaryDir folder;
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QVERIFY(picture.save(folder.filePath(QStringLiteral("a.jpg")), "JPG"));
    QStringList arguments {"--name", ENCODER_NAME, "--fps", "20"};
    if (fromFolder)
        arguments << "--frames" << folder.path();

    Simulator encoder;
    QVERIFY(encoder.start(arguments));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, encoder.httpPort);
    QVERIFY(client.waitForConnected(10000));
    client.write("GET /stream HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: test\r\n\r\n");

    QByteArray data;
    const QByteArray headers = takeHeaders(client, data);
    QVERIFY2(headers.startsWith("HTTP/1.0 200 OK\r\n"), headers.constData());
    QVERIFY(headers.contains("Content-Type: multipart/x-mixed-replace; boundary=zentrovaframe"));

    // Two parts in a row, each cut by its Content-Length, each a decodable picture.
    QImage previous;
    for (int part = 0; part < 2; ++part) {
        const QByteArray partHeaders = takeHeaders(client, data);
        QVERIFY2(partHeaders.startsWith("--zentrovaframe\r\n"), partHeaders.constData());
        const int lengthAt = partHeaders.indexOf("Content-Length: ");
        QVERIFY(lengthAt > 0);
        bool ok = false;
        const int length = partHeaders.mid(lengthAt + 16).trimmed().toInt(&ok);
        QVERIFY(ok && length > 0);
        QVERIFY(readAtLeast(client, data, length + 2));
        const QImage image = QImage::fromData(data.left(length), "JPG");
        QCOMPARE(image.size(), fromFolder ? QSize(64, 48) : QSize(320, 180));
        QCOMPARE(data.mid(length, 2), QByteArray("\r\n"));
        // Drawn frames move, so that a frozen preview shows; a single file repeats.
        QCOMPARE(image != previous, fromFolder ? part == 0 : true);
        previous = image;
        data.remove(0, length + 2);
    }

    // Spoilt frames announce more than anyone accepts; a cut closes the connection.
    QVERIFY(encoder.switchFault(QStringLiteral("oversize"), true));
    QByteArray spoilt;
    do
        spoilt = takeHeaders(client, data);
    while (!spoilt.isEmpty() && !spoilt.contains("Content-Length: 67108864"));
    QVERIFY(!spoilt.isEmpty());
    QVERIFY(encoder.switchFault(QStringLiteral("cut"), true));
    QVERIFY(client.state() == QAbstractSocket::UnconnectedState || client.waitForDisconnected(10000));
    QVERIFY(encoder.switchFault(QStringLiteral("cut"), false));

    QTcpSocket other;
    other.connectToHost(QHostAddress::LocalHost, encoder.httpPort);
    QVERIFY(other.waitForConnected(10000));
    other.write("GET / HTTP/1.1\r\n\r\n");
    QByteArray answer;
    QVERIFY(readAtLeast(other, answer, 12));
    QVERIFY2(answer.startsWith("HTTP/1.0 404 "), answer.constData());
}

QTEST_GUILESS_MAIN(TestDeviceSimulator)
#include "tst_device_simulator.moc"
