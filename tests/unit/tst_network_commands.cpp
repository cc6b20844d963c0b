#include "models/network_commands.h"

#include <QRegularExpression>
#include <QtTest>

#include <functional>
#include <memory>

using CommandFactory = std::function<INetworkCommand *()>;
Q_DECLARE_METATYPE(CommandFactory)

class TestNetworkCommands : public QObject
{
    Q_OBJECT

private slots:
    void exactBytes_data();
    void exactBytes();
    void unsafeNamesAreRefused_data();
    void unsafeNamesAreRefused();
    void cecCommandReachesShellAsTyped_data();
    void cecCommandReachesShellAsTyped();
    void udpMessageNumbersCountUp();
};

void TestNetworkCommands::exactBytes_data()
{
    QTest::addColumn<CommandFactory>("make");
    QTest::addColumn<QByteArray>("expected");

    auto row = [](const char *name, CommandFactory make, const QByteArray &expected) {
        QTest::newRow(name) << make << expected;
    };
    row(
        "query source", [] { return new TelnetQuerySourceSelect; }, "gbparam g source_select\r\n");
    row(
        "query wall place", [] { return new TelnetQueryVwInfo; }, "gbparam g crop_param\r\n");
    row(
        "switch source", [] { return new TelnetSwitchSourceCommand(QStringLiteral("IPE3x-7c2e0d00aa01")); },
        "gbconfig --source-select=IPE3x-7c2e0d00aa01;e e_reconnect\r\n");
    row(
        "switch to no source", [] { return new TelnetSwitchSourceCommand(QString()); },
        "gbconfig --source-select=NULL;e e_reconnect\r\n");
    row(
        "switch to NULL by name", [] { return new TelnetSwitchSourceCommand(QStringLiteral("NULL")); },
        "gbconfig --source-select=NULL;e e_reconnect\r\n");
    row(
        "wall default", [] { return new TelnetConfigVW; }, "e e_vw_enable_0_0_0_0;e e_reconnect\r\n");
    row(
        "wall 1x1 equals default", [] { return new TelnetConfigVW(1, 1, 0, 0); },
        "e e_vw_enable_0_0_0_0;e e_reconnect\r\n");
    row(
        "wall 2 rows 3 columns at 1,2", [] { return new TelnetConfigVW(2, 3, 1, 2); },
        "e e_vw_enable_1_2_1_2;e e_reconnect\r\n");
    row(
        "wall 8x8 last cell", [] { return new TelnetConfigVW(8, 8, 7, 7); }, "e e_vw_enable_7_7_7_7;e e_reconnect\r\n");
    row(
        "osd 0", [] { return new TelnetOsdShow(0); }, "osd_show -o 1 -s \"0\" -f 800 -p 4300,2500\r\n");
    row(
        "osd 9", [] { return new TelnetOsdShow(9); }, "osd_show -o 1 -s \"9\" -f 800 -p 4300,2500\r\n");
    row(
        "osd 12", [] { return new TelnetOsdShow(12); }, "osd_show -o 1 -s \"12\" -f 800 -p 3700,2500\r\n");
    row(
        "osd 100", [] { return new TelnetOsdShow(100); }, "osd_show -o 1 -s \"100\" -f 800 -p 3200,2500\r\n");
    row(
        "osd 999", [] { return new TelnetOsdShow(999); }, "osd_show -o 1 -s \"999\" -f 800 -p 3200,2500\r\n");
    row(
        "osd 1000", [] { return new TelnetOsdShow(1000); }, "osd_show -o 1 -s \"1000\" -f 800 -p 2500,2500\r\n");
    row(
        "osd 123456", [] { return new TelnetOsdShow(123456); }, "osd_show -o 1 -s \"123456\" -f 800 -p 2500,2500\r\n");
    row(
        "osd clear", [] { return new TelnetOsdShow(-1); }, "osd_show -c 1\r\n");
    row(
        "osd clear any negative", [] { return new TelnetOsdShow(-42); }, "osd_show -c 1\r\n");
    row(
        "display on", [] { return new TelnetDisplayOn; }, "e e_cec_one_touch_play\r\n");
    row(
        "display off", [] { return new TelnetDisplayOff; }, "e e_cec_system_standby\r\n");
    row(
        "cec plain", [] { return new TelnetCecCustomCommand(QStringLiteral("40 04")); }, "cec -s  \"40 04\"\r\n");
    row(
        "cec empty", [] { return new TelnetCecCustomCommand(QString()); }, "cec -s  \"\"\r\n");
    row(
        "cec quote", [] { return new TelnetCecCustomCommand(QStringLiteral("a\"b")); }, "cec -s  \"a\\\"b\"\r\n");
    row(
        "cec dollar backtick backslash", [] { return new TelnetCecCustomCommand(QStringLiteral("$(x)`y`\\z")); },
        "cec -s  \"\\$(x)\\`y\\`\\\\z\"\r\n");
    row(
        "cec utf-8", [] { return new TelnetCecCustomCommand(QStringLiteral("\u00e9")); }, "cec -s  \"\xc3\xa9\"\r\n");
    row(
        "cec single quote and semicolon kept", [] { return new TelnetCecCustomCommand(QStringLiteral("'a;b'")); },
        "cec -s  \"'a;b'\"\r\n");
}

void TestNetworkCommands::exactBytes()
{
    QFETCH(CommandFactory, make);
    QFETCH(QByteArray, expected);
    const std::unique_ptr<INetworkCommand> command(make());
    QVERIFY(command->isValid());
    QCOMPARE(command->bytes(), expected);
}

void TestNetworkCommands::unsafeNamesAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");

    QTest::newRow("encoder name") << QStringLiteral("IPE3x-7c2e0d00aa01") << true;
    QTest::newRow("decoder name upper case") << QStringLiteral("IPD9DEMO-7C2E0DFE0001") << true;
    QTest::newRow("dots underscores colons") << QStringLiteral("IPE_a.b:c-000000000000") << true;
    QTest::newRow("empty means no source") << QString() << true;
    QTest::newRow("NULL") << QStringLiteral("NULL") << true;
    QTest::newRow("semicolon and command") << QStringLiteral("IPE1-7c2e0d00aa01;reboot") << false;
    QTest::newRow("blank") << QStringLiteral("IPE1 x-7c2e0d00aa01") << false;
    QTest::newRow("command substitution") << QStringLiteral("IPE$(reboot)-7c2e0d00aa01") << false;
    QTest::newRow("backtick") << QStringLiteral("IPE`id`-7c2e0d00aa01") << false;
    QTest::newRow("pipe") << QStringLiteral("IPE1|sh-7c2e0d00aa01") << false;
    QTest::newRow("ampersand") << QStringLiteral("IPE1&-7c2e0d00aa01") << false;
    QTest::newRow("redirection") << QStringLiteral("IPE1>x-7c2e0d00aa01") << false;
    QTest::newRow("quote") << QStringLiteral("IPE1\"-7c2e0d00aa01") << false;
    QTest::newRow("glob") << QStringLiteral("IPE*-7c2e0d00aa01") << false;
    QTest::newRow("line break") << QStringLiteral("IPE1-7c2e0d00aa01\r\nreboot") << false;
    QTest::newRow("slash") << QStringLiteral("IPE/../x-7c2e0d00aa01") << false;
    QTest::newRow("non-ASCII letter") << QStringLiteral("IPE\u00e9-7c2e0d00aa01") << false;
    QTest::newRow("NUL") << QString::fromLatin1("IPE1\0x-7c2e0d00aa01", 19) << false;
}

void TestNetworkCommands::unsafeNamesAreRefused()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);

    QCOMPARE(isSafeDeviceName(name), safe);

    const TelnetSwitchSourceCommand switchSource(name);
    QCOMPARE(switchSource.isValid(), safe);
    QCOMPARE(switchSource.bytes().isEmpty(), !safe);

    const UdpConfigSources asSource(name, {QStringLiteral("IPD9-7c2e0d000001")});
    QCOMPARE(asSource.isValid(), safe);
    QCOMPARE(asSource.bytes().isEmpty(), !safe);

    // An empty decoder name would shift the list the encoder reads, so it never passes.
    const UdpConfigSources asMember(QStringLiteral("IPE3x-7c2e0d00aa01"), {QStringLiteral("IPD9-7c2e0d000001"), name});
    QCOMPARE(asMember.isValid(), safe && !name.isEmpty());
    QCOMPARE(asMember.bytes().isEmpty(), !asMember.isValid());
}

void TestNetworkCommands::cecCommandReachesShellAsTyped_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("valid");

    QTest::newRow("hex bytes") << QStringLiteral("40 04") << true;
    QTest::newRow("quote") << QStringLiteral("say \"hi\"") << true;
    QTest::newRow("trailing backslash") << QStringLiteral("x\\") << true;
    QTest::newRow("backslash before quote") << QStringLiteral("x\\\";reboot;\"") << true;
    QTest::newRow("variable") << QStringLiteral("$HOME ${PATH}") << true;
    QTest::newRow("command substitution") << QStringLiteral("$(touch pwned) `touch pwned`") << true;
    QTest::newRow("line break") << QStringLiteral("40 04\nreboot") << false;
    QTest::newRow("carriage return") << QStringLiteral("40 04\rreboot") << false;
    QTest::newRow("tab") << QStringLiteral("40\t04") << false;
    QTest::newRow("interrupt") << QStringLiteral("40 04\x03") << false;
    QTest::newRow("delete") << QStringLiteral("40 04\x7f") << false;
}

// The decoder's shell is a POSIX shell: let a real one read the command line with `cec`
// standing in as a function that prints its arguments, and compare with what was typed.
void TestNetworkCommands::cecCommandReachesShellAsTyped()
{
    QFETCH(QString, command);
    QFETCH(bool, valid);

    const TelnetCecCustomCommand cec(command);
    QCOMPARE(cec.isValid(), valid);
    if (!valid) {
        QVERIFY(cec.bytes().isEmpty());
        return;
    }

    QByteArray line = cec.bytes();
    QVERIFY(line.endsWith("\r\n"));
    line.chop(2);
    // dash here, busybox ash on the decoders: both must read it the same way.
    const QList<QStringList> shells {{QStringLiteral("/bin/sh")}, {QStringLiteral("busybox"), QStringLiteral("sh")}};
    for (const QStringList &shellCommand : shells) {
        if (QStandardPaths::findExecutable(shellCommand.first()).isEmpty())
            continue;
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess shell;
        shell.setWorkingDirectory(dir.path());
        shell.start(shellCommand.first(),
            shellCommand.mid(1) << QStringLiteral("-c")
                                << QStringLiteral("cec() { printf '%s|' \"$@\"; }; ") + QString::fromUtf8(line));
        QVERIFY(shell.waitForFinished(10000));
        QCOMPARE(shell.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), QStringLiteral("-s|") + command + QLatin1Char('|'));
        QVERIFY2(QDir(dir.path()).isEmpty(), "the command line ran something besides cec");
    }
}

void TestNetworkCommands::udpMessageNumbersCountUp()
{
    static const QRegularExpression shape(QStringLiteral("^msg_b_reconnect IPE3x-7c2e0d00aa01:(\\d+):2 "
                                                         "IPD9-7c2e0d000001 IPD9-7c2e0d000002$"));
    const QStringList names {QStringLiteral("IPD9-7c2e0d000001"), QStringLiteral("IPD9-7c2e0d000002")};
    const QByteArray first = UdpConfigSources(QStringLiteral("IPE3x-7c2e0d00aa01"), names).bytes();
    const QByteArray second = UdpConfigSources(QStringLiteral("IPE3x-7c2e0d00aa01"), names).bytes();
    const QRegularExpressionMatch firstMatch = shape.match(QString::fromUtf8(first));
    const QRegularExpressionMatch secondMatch = shape.match(QString::fromUtf8(second));
    QVERIFY2(firstMatch.hasMatch(), first.constData());
    QVERIFY2(secondMatch.hasMatch(), second.constData());
    QVERIFY(firstMatch.captured(1).toULongLong() >= 1);
    QCOMPARE(secondMatch.captured(1).toULongLong(), firstMatch.captured(1).toULongLong() + 1);

    // No names: a count of 0 and nothing after the blank; an empty source stays empty.
    const QByteArray empty = UdpConfigSources(QString(), {}).bytes();
    QCOMPARE(empty, "msg_b_reconnect :" + QByteArray::number(secondMatch.captured(1).toULongLong() + 1) + ":0 ");
}

QTEST_GUILESS_MAIN(TestNetworkCommands)
#include "tst_network_commands.moc"
