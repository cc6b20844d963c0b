// The decoder shell that the tests stand in for a decoder: driven with the controller's own
// command bytes over telnet on loopback, it must answer and keep state as a decoder does.
#include "free_port.h"
#include "models/network_commands.h"
#include "shell_session.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

using CommandFactory = std::function<INetworkCommand *()>;
Q_DECLARE_METATYPE(CommandFactory)

namespace {

// telnetd reaps its session shells only while it runs: wait for them before ending it.
bool waitForNoChildren(qint64 pid, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
        if (!children.open(QIODevice::ReadOnly) || children.readAll().trimmed().isEmpty())
            return true;
        QThread::msleep(20);
    } while (!deadline.hasExpired());
    return false;
}

} // namespace

class TestDecoderShell : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void answersQueriesLikeADecoder();
    void commandsKeepState_data();
    void commandsKeepState();

private:
    QString stateOf(const QString &key) const;
    QString query(const INetworkCommand &command);

    QTemporaryDir stateDir;
    QProcess server;
    ShellSession shell;
};

void TestDecoderShell::initTestCase()
{
    QVERIFY(stateDir.isValid());
    const quint16 port = freeTcpPort();
    QVERIFY(port != 0);
    server.setProcessChannelMode(QProcess::ForwardedChannels);
    server.start(QStringLiteral(ZENTROVA_SOURCE_DIR "/tools/device_simulator/decoder-shell/start-decoder-shell.sh"),
        {stateDir.path(), QString::number(port), QStringLiteral("127.0.0.1")});
    QVERIFY(server.waitForStarted(10000));
    QVERIFY(shell.connectTo(QHostAddress::LocalHost, port));
    QVERIFY2(shell.logIn(), qPrintable(shell.text()));
}

void TestDecoderShell::cleanupTestCase()
{
    shell.close();
    QVERIFY(waitForNoChildren(server.processId(), 5000));
    server.terminate();
    if (!server.waitForFinished(5000))
        server.kill();
}

QString TestDecoderShell::stateOf(const QString &key) const
{
    QFile file(stateDir.filePath(key));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    return QString::fromUtf8(file.readAll()).chopped(file.size() > 0 ? 1 : 0);
}

// What the decoder model reads: the line after the echo, before the prompt.
QString TestDecoderShell::query(const INetworkCommand &command)
{
    const QString response = shell.run(command.bytes());
    const QString echo = QString::fromUtf8(command.bytes());
    if (!response.startsWith(echo) || !response.endsWith(QLatin1String("/ # ")))
        return QStringLiteral("<unexpected: %1>").arg(response);
    return response.mid(echo.size()).chopped(4).trimmed();
}

void TestDecoderShell::answersQueriesLikeADecoder()
{
    // Echo, output, prompt: exactly what a decoder prints for a new connection's queries.
    QCOMPARE(shell.run(TelnetQuerySourceSelect().bytes()), QStringLiteral("gbparam g source_select\r\nNULL\r\n/ # "));
    QCOMPARE(shell.run(TelnetQueryVwInfo().bytes()), QStringLiteral("gbparam g crop_param\r\n0:0:0:0\r\n/ # "));
    // A command without output ends with the prompt right after its echo.
    QCOMPARE(shell.run(TelnetDisplayOn().bytes()), QStringLiteral("e e_cec_one_touch_play\r\n/ # "));
}

void TestDecoderShell::commandsKeepState_data()
{
    QTest::addColumn<CommandFactory>("make");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    auto row = [](const char *name, CommandFactory make, const char *key, const QString &expected) {
        QTest::newRow(name) << make << QString::fromLatin1(key) << expected;
    };
    row(
        "switch source", [] { return new TelnetSwitchSourceCommand(QStringLiteral("IPE3x-7c2e0d00aa01")); },
        "source_select", QStringLiteral("IPE3x-7c2e0d00aa01"));
    row(
        "no source", [] { return new TelnetSwitchSourceCommand(QString()); }, "source_select", QStringLiteral("NULL"));
    row(
        "wall place", [] { return new TelnetConfigVW(2, 3, 1, 2); }, "crop_param", QStringLiteral("1:2:1:2"));
    row(
        "stand-alone again", [] { return new TelnetConfigVW; }, "crop_param", QStringLiteral("0:0:0:0"));
    row(
        "show number", [] { return new TelnetOsdShow(12); }, "osd", QStringLiteral("12"));
    row(
        "clear number", [] { return new TelnetOsdShow(-1); }, "osd", QString());
    row(
        "standby", [] { return new TelnetDisplayOff; }, "power", QStringLiteral("standby"));
    row(
        "on", [] { return new TelnetDisplayOn; }, "power", QStringLiteral("on"));
    row(
        "custom CEC", [] { return new TelnetCecCustomCommand(QStringLiteral("40 04")); }, "cec",
        QStringLiteral("40 04"));
    const QString hostile = QStringLiteral("a\"b\\\" $(touch pwned) `touch pwned` ${HOME} \\");
    row(
        "custom CEC reaches cec as typed", [hostile] { return new TelnetCecCustomCommand(hostile); }, "cec", hostile);
}

void TestDecoderShell::commandsKeepState()
{
    QFETCH(CommandFactory, make);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    const std::unique_ptr<INetworkCommand> command(make());
    QVERIFY(command->isValid());
    const QString response = shell.run(command->bytes());
    QVERIFY2(response.endsWith(QLatin1String("/ # ")), qPrintable(response));
    QCOMPARE(stateOf(key), expected);
    QVERIFY(!QFile::exists(stateDir.filePath(QStringLiteral("pwned"))));

    // The queries read back what the commands wrote.
    if (key == QLatin1String("source_select"))
        QCOMPARE(query(TelnetQuerySourceSelect()), expected);
    if (key == QLatin1String("crop_param"))
        QCOMPARE(query(TelnetQueryVwInfo()), expected);
}

QTEST_GUILESS_MAIN(TestDecoderShell)
#include "tst_decoder_shell.moc"
