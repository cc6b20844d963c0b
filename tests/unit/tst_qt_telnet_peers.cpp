// The telnet client, the decoder model and the decoder shell stand-in against real telnet
// servers on loopback: busybox telnetd running the decoder shell, and inetutils telnetd.
#include "log_capture.h"
#include "models/network_commands.h"
#include "models/rx_device.h"
#include "qttelnet/telnet_protocol.h"
#include "telnet_server_process.h"
#include "test_records.h"

#include <QSignalSpy>
#include <QtTest>
#include <functional>
#include <memory>

Q_DECLARE_METATYPE(TelnetServerProcess::Kind)

namespace {

const QString Prompt = QStringLiteral("/ # ");

} // namespace

class TestQtTelnetPeers : public QObject
{
    Q_OBJECT

private slots:
    void decoderShell_data();
    void decoderShell();
    void inetutilsLogin();
    void decoderModelDrivesTheShell_data();
    void decoderModelDrivesTheShell();
};

void TestQtTelnetPeers::decoderShell_data()
{
    QTest::addColumn<bool>("login");
    QTest::newRow("with login") << true;
    QTest::newRow("without login") << false;
}

void TestQtTelnetPeers::decoderShell()
{
    QFETCH(bool, login);
    TelnetServerProcess server(login ? TelnetServerProcess::DecoderShell : TelnetServerProcess::DecoderShellNoLogin);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    ShellClient client;
    QVERIFY(client.connectTo(QHostAddress::LocalHost, server.port()));
    QVERIFY2(client.waitForPrompt(), qPrintable(client.transcript));
    const QStringList opened = login ? QStringList {"loginRequired", "loggedIn"} : QStringList {"loggedIn"};
    QCOMPARE(client.events, opened);

    // The decoders' contract: the line echoed, the output, the prompt; a command without
    // output ends with the prompt right after its echo.
    QCOMPARE(client.run(TelnetQuerySourceSelect().bytes()), QStringLiteral("gbparam g source_select\r\nNULL\r\n/ # "));
    QCOMPARE(client.run(TelnetQueryVwInfo().bytes()), QStringLiteral("gbparam g crop_param\r\n0:0:0:0\r\n/ # "));
    QCOMPARE(client.run(TelnetDisplayOn().bytes()), QStringLiteral("e e_cec_one_touch_play\r\n/ # "));

    // Each command keeps its state where the queries read it back; the CEC text reaches
    // cec as typed, nothing in it run by the shell.
    const QString hostile = QStringLiteral("a\"b\\\" $(touch pwned) `touch pwned` ${HOME} \\");
    const struct
    {
        std::function<INetworkCommand *()> make;
        const char *key;
        QString expected;
    } steps[] = {
        {[] { return new TelnetSwitchSourceCommand(QStringLiteral("IPE3x-7c2e0d00aa01")); }, "source_select",
            QStringLiteral("IPE3x-7c2e0d00aa01")},
        {[] { return new TelnetSwitchSourceCommand(QString()); }, "source_select", QStringLiteral("NULL")},
        {[] { return new TelnetConfigVW(2, 3, 1, 2); }, "crop_param", QStringLiteral("1:2:1:2")},
        {[] { return new TelnetConfigVW; }, "crop_param", QStringLiteral("0:0:0:0")},
        {[] { return new TelnetOsdShow(12); }, "osd", QStringLiteral("12")},
        {[] { return new TelnetOsdShow(-1); }, "osd", QString()},
        {[] { return new TelnetDisplayOff; }, "power", QStringLiteral("standby")},
        {[] { return new TelnetDisplayOn; }, "power", QStringLiteral("on")},
        {[] { return new TelnetCecCustomCommand(QStringLiteral("40 04")); }, "cec", QStringLiteral("40 04")},
        {[hostile] { return new TelnetCecCustomCommand(hostile); }, "cec", hostile},
    };
    for (const auto &step : steps) {
        const std::unique_ptr<INetworkCommand> command(step.make());
        QVERIFY(command->isValid());
        QVERIFY(client.run(command->bytes()).endsWith(Prompt));
        QCOMPARE(server.stateOf(step.key), step.expected);
        const QString key = QString::fromLatin1(step.key);
        if (key == QLatin1String("source_select") || key == QLatin1String("crop_param")) {
            const QByteArray query = key == QLatin1String("source_select") ? TelnetQuerySourceSelect().bytes()
                                                                           : TelnetQueryVwInfo().bytes();
            QCOMPARE(client.run(query), QString::fromLatin1(query) + step.expected + "\r\n" + Prompt);
        }
    }
    QVERIFY(!QFile::exists(server.statePath(QStringLiteral("pwned"))));

    client.telnet.close();
    QCOMPARE(client.events, opened + QStringList {"loggedOut"});
}

void TestQtTelnetPeers::inetutilsLogin()
{
    TelnetServerProcess server(TelnetServerProcess::Inetutils);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    ShellClient client(QString(TelnetServerProcess::Password) + "\r\n");
    QVERIFY2(client.connectTo(QHostAddress::LocalHost, server.port()), "socat does not accept the connection");

    QVERIFY2(client.waitForPrompt(), qPrintable(client.transcript));
    QVERIFY2(client.transcript.contains("Welcome, root\r\n"), qPrintable(client.transcript));
    QCOMPARE(client.events, (QStringList {"loginRequired", "loggedIn"}));

    // The server offered authentication and asked for the terminal type; the terminal type
    // arrives in the shell's environment (inetutils writes it in lower case).
    using namespace telnet;
    const char nullAuth[] = {char(Iac), char(Sb), char(OptAuthentication), char(SubIs), 0, 0, char(Iac), char(Se)};
    QVERIFY(client.written().contains(QByteArray(nullAuth, sizeof nullAuth)));
    QCOMPARE(client.run("echo term=$TERM\r\n"), QString("echo term=$TERM\r\nterm=unknown\r\n/ # "));

    client.telnet.close();
    QCOMPARE(client.events, (QStringList {"loginRequired", "loggedIn", "loggedOut"}));
}

void TestQtTelnetPeers::decoderModelDrivesTheShell_data()
{
    QTest::addColumn<TelnetServerProcess::Kind>("kind");
    QTest::newRow("read loop") << TelnetServerProcess::DecoderShell;
    QTest::newRow("ash with line editing") << TelnetServerProcess::DecoderShellLineEditing;
}

void TestQtTelnetPeers::decoderModelDrivesTheShell()
{
    QFETCH(TelnetServerProcess::Kind, kind);
    // The model's own login; the shell without one is no different for it than for the
    // client above, and the scripted peer covers it.
    TelnetServerProcess server(kind);
    // A decoder already placed in a 2 x 2 wall at row 1, column 0, showing an encoder.
    QVERIFY(server.writeState(QStringLiteral("source_select"), "IPE3x-7c2e0d00aa01"));
    QVERIFY(server.writeState(QStringLiteral("crop_param"), "1:1:1:0"));
    QVERIFY2(server.start(), qPrintable(server.errorString()));

    RxDevice device(parsedDiscoveryRecord(QStringLiteral("IPD9DEMO-7C2E0DFE0001"), QString(), QHostAddress::LocalHost),
        nullptr, server.port());
    QSignalSpy fetched(&device, &RxDevice::deviceInfoFetched);
    QVERIFY(fetched.wait(15000));
    QCOMPARE(device.currentSource(), QStringLiteral("IPE3x-7c2e0d00aa01"));
    QCOMPARE(device.vwInfo().size(), QSize(2, 2));
    QCOMPARE(QPoint(device.vwInfo().column, device.vwInfo().row), QPoint(0, 1));

    LogCapture warnings(QtWarningMsg);
    device.setSource(QStringLiteral("IPE1-00aabbccddee"));
    device.configVw(2, 3, 1, 2);
    device.setSeq(12);
    device.showOsdSeq();
    device.setDisplayPower(false, QString());
    QTRY_VERIFY_WITH_TIMEOUT(device.state() == RxDevice::Ready && device.pendingCommandCount() == 0, 15000);

    QCOMPARE(server.stateOf(QStringLiteral("source_select")), QStringLiteral("IPE1-00aabbccddee"));
    QCOMPARE(server.stateOf(QStringLiteral("crop_param")), QStringLiteral("1:2:1:2"));
    QCOMPARE(server.stateOf(QStringLiteral("osd")), QStringLiteral("12"));
    QCOMPARE(server.stateOf(QStringLiteral("power")), QStringLiteral("standby"));
    // Every line reached the shell as exactly one command: no stray empty lines or echoes
    // were taken for the end of an answer.
    QCOMPARE(warnings.matching(QStringLiteral("unexpected state")).size(), 0);
    if (kind == TelnetServerProcess::DecoderShell)
        QCOMPARE(server.stateOf(QStringLiteral("commands.log")).split(QLatin1Char('\n')).size(), 6);
}

QTEST_GUILESS_MAIN(TestQtTelnetPeers)
#include "tst_qt_telnet_peers.moc"
