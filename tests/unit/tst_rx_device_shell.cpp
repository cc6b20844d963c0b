// The decoder model against a real telnet server: busybox telnetd running the decoder
// shell stand-in on loopback, whose commands keep the decoder's state in files.
#include "free_port.h"
#include "log_capture.h"
#include "models/rx_device.h"
#include "test_records.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

constexpr int WAIT_MS = 15000;
const QString NAME = QStringLiteral("IPD9DEMO-7C2E0DFE0001");

} // namespace

class TestRxDeviceShell : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void drivesARealDecoderShell_data();
    void drivesARealDecoderShell();

private:
    QString stateOf(const QString &key) const;
    void writeState(const QString &key, const QByteArray &value);
    bool startShell(bool login);

    std::unique_ptr<QTemporaryDir> stateDir;
    std::unique_ptr<QProcess> server;
    quint16 port = 0;
};

void TestRxDeviceShell::init()
{
    stateDir = std::make_unique<QTemporaryDir>();
    QVERIFY(stateDir->isValid());
    server = std::make_unique<QProcess>();
}

void TestRxDeviceShell::cleanup()
{
    if (server->state() != QProcess::NotRunning) {
        // The session shells end with their terminals when telnetd goes.
        server->terminate();
        if (!server->waitForFinished(5000))
            server->kill();
        server->waitForFinished(5000);
    }
    server.reset();
    stateDir.reset();
}

QString TestRxDeviceShell::stateOf(const QString &key) const
{
    QFile file(stateDir->filePath(key));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    return QString::fromUtf8(file.readAll()).trimmed();
}

void TestRxDeviceShell::writeState(const QString &key, const QByteArray &value)
{
    QFile file(stateDir->filePath(key));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(value + '\n');
}

bool TestRxDeviceShell::startShell(bool login)
{
    port = freeTcpPort();
    QStringList arguments {stateDir->path(), QString::number(port), QStringLiteral("127.0.0.1")};
    if (!login)
        arguments.append(QStringLiteral("--no-login"));
    server->setProcessChannelMode(QProcess::ForwardedChannels);
    server->start(
        QStringLiteral(ZENTROVA_SOURCE_DIR "/tools/device_simulator/decoder-shell/start-decoder-shell.sh"), arguments);
    if (port == 0 || !server->waitForStarted(WAIT_MS))
        return false;
    // Ready once telnetd accepts connections.
    return QTest::qWaitFor(
        [this] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            return probe.waitForConnected(200);
        },
        WAIT_MS);
}

void TestRxDeviceShell::drivesARealDecoderShell_data()
{
    QTest::addColumn<bool>("login");
    QTest::newRow("with login") << true;
    QTest::newRow("without login") << false;
}

void TestRxDeviceShell::drivesARealDecoderShell()
{
    QFETCH(bool, login);

    // A decoder already placed in a 2 x 2 wall at row 1, column 0, showing an encoder.
    writeState(QStringLiteral("source_select"), "IPE3x-7c2e0d00aa01");
    writeState(QStringLiteral("crop_param"), "1:1:1:0");
    QVERIFY(startShell(login));

    RxDevice device(parsedDiscoveryRecord(NAME, QString(), QHostAddress::LocalHost), nullptr, port);
    QSignalSpy fetched(&device, &RxDevice::deviceInfoFetched);
    QVERIFY(fetched.wait(WAIT_MS));
    QCOMPARE(device.currentSource(), QStringLiteral("IPE3x-7c2e0d00aa01"));
    QCOMPARE(device.vwInfo().size(), QSize(2, 2));
    QCOMPARE(QPoint(device.vwInfo().column, device.vwInfo().row), QPoint(0, 1));

    LogCapture warnings(QtWarningMsg);
    device.setSource(QStringLiteral("IPE1-00aabbccddee;touch pwned"));
    device.setSource(QStringLiteral("IPE1-00aabbccddee"));
    device.configVw(2, 3, 1, 2);
    device.setSeq(12);
    device.showOsdSeq();
    device.setDisplayPower(false, QString());
    QTRY_VERIFY_WITH_TIMEOUT(device.state() == RxDevice::Ready && device.pendingCommandCount() == 0, WAIT_MS);

    QCOMPARE(stateOf(QStringLiteral("source_select")), QStringLiteral("IPE1-00aabbccddee"));
    QCOMPARE(stateOf(QStringLiteral("crop_param")), QStringLiteral("1:2:1:2"));
    QCOMPARE(stateOf(QStringLiteral("osd")), QStringLiteral("12"));
    QCOMPARE(stateOf(QStringLiteral("power")), QStringLiteral("standby"));
    QVERIFY(!QFile::exists(stateDir->filePath(QStringLiteral("pwned"))));
    QCOMPARE(warnings.matching(QStringLiteral("unsafe source name")).size(), 1);
    // Every line reached the shell as exactly one command: no stray empty lines or echoes
    // were taken for the end of an answer.
    QCOMPARE(warnings.matching(QStringLiteral("unexpected state")).size(), 0);
    QCOMPARE(stateOf(QStringLiteral("commands.log")).split(QLatin1Char('\n')).size(), 6);
}

QTEST_GUILESS_MAIN(TestRxDeviceShell)
#include "tst_rx_device_shell.moc"
