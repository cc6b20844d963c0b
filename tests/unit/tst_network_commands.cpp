#include "models/network_commands.h"

#include <QtTest>

namespace {

// The decoder's shell is a POSIX shell: let the real ones here read the command line, with
// `program` and `e` standing in as functions, and compare the arguments `program` got.
// dash here, busybox ash on the decoders: both must read it the same way.
void expectShellReads(QByteArray line, const QString &program, const QStringList &arguments)
{
    QVERIFY(line.endsWith("\r\n"));
    line.chop(2);
    // Script and output travel as bytes, whatever the locale of the test run.
    const QByteArray script = program.toUtf8() + "() { printf '%s|' \"$@\"; }; e() { :; }; " + line + '\n';
    for (const QStringList &shell : {QStringList {"/bin/sh"}, QStringList {"busybox", "sh"}}) {
        if (QStandardPaths::findExecutable(shell.first()).isEmpty())
            continue;
        QTemporaryDir dir;
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(shell.first(), shell.mid(1) << "-s");
        process.write(script);
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(process.readAllStandardOutput(), (arguments.join(QLatin1Char('|')) + '|').toUtf8());
        QVERIFY2(QDir(dir.path()).isEmpty(), "the command line ran something besides the command");
    }
}

} // namespace

class TestNetworkCommands : public QObject
{
    Q_OBJECT

private slots:
    // Runs first: no other datagram of this process has taken a number yet.
    void udpMessageNumbersCountFromOne()
    {
        const QString source = QStringLiteral("IPE3x-7c2e0d00aa01");
        const QStringList names {QStringLiteral("IPD9-7c2e0d000001"), QStringLiteral("IPD9-7c2e0d000002")};
        const QByteArray tail = ":2 IPD9-7c2e0d000001 IPD9-7c2e0d000002";
        QCOMPARE(UdpConfigSources(source, names).bytes(), "msg_b_reconnect IPE3x-7c2e0d00aa01:1" + tail);
        QCOMPARE(UdpConfigSources(source, names).bytes(), "msg_b_reconnect IPE3x-7c2e0d00aa01:2" + tail);
        // No names: a count of 0 and nothing after the blank; an empty source stays empty.
        QCOMPARE(UdpConfigSources(QString(), {}).bytes(), QByteArray("msg_b_reconnect :3:0 "));
    }

    // Bytes of a refused command are empty, so equal bytes also prove the command valid.
    void exactBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("expected");

        auto row = [](const char *name, const INetworkCommand &command, const QByteArray &expected) {
            QTest::newRow(name) << command.bytes() << expected;
        };
        // The other commands are pinned where a decoder receives them.
        row("osd 100", TelnetOsdShow(100), "osd_show -o 1 -s \"100\" -f 800 -p 3200,2500\r\n");
        row("osd 1000", TelnetOsdShow(1000), "osd_show -o 1 -s \"1000\" -f 800 -p 2500,2500\r\n");
        row("cec utf-8", TelnetCecCustomCommand(QStringLiteral("\u00e9")), "cec -s  \"\xc3\xa9\"\r\n");
    }

    void exactBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, expected);
        QCOMPARE(bytes, expected);
    }

    void sourceNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("shellValid");
        QTest::addColumn<bool>("datagramValid");

        QTest::newRow("encoder name") << QStringLiteral("IPE3x-7c2e0d00aa01") << true << true;
        QTest::newRow("colon splits the datagram") << QStringLiteral("IPE1:x-7c2e0d00aa01") << true << false;
        QTest::newRow("empty means no source") << QString() << true << true;
        QTest::newRow("blank splits the datagram") << QStringLiteral("IPE1 x-7c2e0d00aa01") << true << false;
        QTest::newRow("expansions") << QStringLiteral("IPE1;touch${IFS}x;$(touch${IFS}pwned)`touch${IFS}x`$HOME\\")
                                    << true << true;
        QTest::newRow("quotes") << QStringLiteral("IPE'1\"'';touch${IFS}pwned;'") << true << true;
        QTest::newRow("line break") << QStringLiteral("IPE1-7c2e0d00aa01\r\nreboot") << false << false;
    }

    // A refused command is invalid and has no bytes, so nothing can reach the wire.
    void sourceNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, shellValid);
        QFETCH(bool, datagramValid);

        const TelnetSwitchSourceCommand command(name);
        QCOMPARE(command.isValid(), shellValid);
        QCOMPARE(command.bytes().isEmpty(), !shellValid);
        if (shellValid) {
            const QString word = name.isEmpty() ? QStringLiteral("NULL") : name;
            expectShellReads(command.bytes(), QStringLiteral("gbconfig"), {"--source-select=" + word});
        }

        const QString decoder = QStringLiteral("IPD9-7c2e0d000001");
        const UdpConfigSources asSource(name, {decoder});
        QCOMPARE(asSource.isValid(), datagramValid);
        QCOMPARE(asSource.bytes().isEmpty(), !datagramValid);
        if (datagramValid)
            QVERIFY(asSource.bytes().startsWith("msg_b_reconnect " + name.toUtf8() + ':'));
        // An empty decoder name would shift the list the encoder reads, so it never passes.
        const bool member = datagramValid && !name.isEmpty();
        const UdpConfigSources asMember(QStringLiteral("IPE3x-7c2e0d00aa01"), {decoder, name});
        QCOMPARE(asMember.isValid(), member);
        QCOMPARE(asMember.bytes().isEmpty(), !member);
        if (member)
            QVERIFY(asMember.bytes().endsWith(":2 " + decoder.toUtf8() + ' ' + name.toUtf8()));
    }

    void cecCommandReachesShellAsTyped_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("valid");

        QTest::newRow("quotes and backslashes") << QStringLiteral("say \"hi\" 'a;b' x\\\";reboot;\" x\\") << true;
        QTest::newRow("expansions") << QStringLiteral("$HOME ${PATH} $(touch pwned) `touch pwned`") << true;
        QTest::newRow("line break") << QStringLiteral("40 04\nreboot") << false;
        QTest::newRow("delete") << QStringLiteral("40 04\x7f") << false;
    }

    void cecCommandReachesShellAsTyped()
    {
        QFETCH(QString, command);
        QFETCH(bool, valid);

        const TelnetCecCustomCommand cec(command);
        QCOMPARE(cec.isValid(), valid);
        QCOMPARE(cec.bytes().isEmpty(), !valid);
        if (valid)
            expectShellReads(cec.bytes(), QStringLiteral("cec"), {"-s", command});
    }
};

QTEST_GUILESS_MAIN(TestNetworkCommands)
#include "tst_network_commands.moc"
