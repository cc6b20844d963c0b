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

    // A text a user or a device gave, as a source name (in the shell command and in the wall
    // datagram) and as a custom CEC command. A refused command has no bytes, so nothing can
    // reach the wire; an accepted one reaches the program exactly as given.
    void untrustedTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("datagramValid");

        QTest::newRow("encoder name") << QStringLiteral("IPE3x-7c2e0d00aa01") << true << true;
        QTest::newRow("colon splits the datagram") << QStringLiteral("IPE1:x-7c2e0d00aa01") << true << false;
        QTest::newRow("empty") << QString() << true << true;
        QTest::newRow("expansions") << QStringLiteral("IPE1;touch${IFS}x;$(touch${IFS}pwned)`touch${IFS}x`$HOME\\")
                                    << true << true;
        QTest::newRow("quotes") << QStringLiteral("IPE'1\"'';touch${IFS}pwned;'") << true << true;
        QTest::newRow("line break") << QStringLiteral("IPE1-7c2e0d00aa01\r\nreboot") << false << false;
        QTest::newRow("delete") << QStringLiteral("IPE1-7c2e0d00aa01\x7f") << false << false;
    }

    void untrustedTexts()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(bool, datagramValid);

        const TelnetSwitchSourceCommand source(text);
        const TelnetCecCustomCommand cec(text);
        QCOMPARE(source.isValid(), valid);
        QCOMPARE(cec.isValid(), valid);
        if (!valid) {
            QVERIFY(source.bytes().isEmpty() && cec.bytes().isEmpty());
        } else {
            expectShellReads(source.bytes(), QStringLiteral("gbconfig"),
                {"--source-select=" + (text.isEmpty() ? QStringLiteral("NULL") : text)});
            expectShellReads(cec.bytes(), QStringLiteral("cec"), {"-s", text});
        }

        const QString decoder = QStringLiteral("IPD9-7c2e0d000001");
        const UdpConfigSources asSource(text, {decoder});
        QCOMPARE(asSource.bytes().startsWith("msg_b_reconnect " + text.toUtf8() + ':'), datagramValid);
        // An empty decoder name would shift the list the encoder reads, so it never passes.
        const bool member = datagramValid && !text.isEmpty();
        const UdpConfigSources asMember(QStringLiteral("IPE3x-7c2e0d00aa01"), {decoder, text});
        QCOMPARE(asMember.bytes().endsWith(":2 " + decoder.toUtf8() + ' ' + text.toUtf8()), member);
    }
};

QTEST_GUILESS_MAIN(TestNetworkCommands)
#include "tst_network_commands.moc"
