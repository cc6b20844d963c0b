#include "models/network_commands.h"

#include <QtTest>

class TestNetworkCommands : public QObject
{
    Q_OBJECT

private slots:
    // Bytes of a refused command are empty, so equal bytes also prove the command valid.
    void exactBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("expected");

        auto row = [](const char *name, const INetworkCommand &command, const QByteArray &expected) {
            QTest::newRow(name) << command.bytes() << expected;
        };
        row("query source", TelnetQuerySourceSelect(), "gbparam g source_select\r\n");
        row("query wall place", TelnetQueryVwInfo(), "gbparam g crop_param\r\n");
        row("switch source", TelnetSwitchSourceCommand(QStringLiteral("IPE3x-7c2e0d00aa01")),
            "gbconfig --source-select=IPE3x-7c2e0d00aa01;e e_reconnect\r\n");
        row("switch to no source", TelnetSwitchSourceCommand(QString()),
            "gbconfig --source-select=NULL;e e_reconnect\r\n");
        row("wall default", TelnetConfigVW(), "e e_vw_enable_0_0_0_0;e e_reconnect\r\n");
        row("wall 2 rows 3 columns at 1,2", TelnetConfigVW(2, 3, 1, 2), "e e_vw_enable_1_2_1_2;e e_reconnect\r\n");
        row("osd 0", TelnetOsdShow(0), "osd_show -o 1 -s \"0\" -f 800 -p 4300,2500\r\n");
        row("osd 12", TelnetOsdShow(12), "osd_show -o 1 -s \"12\" -f 800 -p 3700,2500\r\n");
        row("osd 100", TelnetOsdShow(100), "osd_show -o 1 -s \"100\" -f 800 -p 3200,2500\r\n");
        row("osd 1000", TelnetOsdShow(1000), "osd_show -o 1 -s \"1000\" -f 800 -p 2500,2500\r\n");
        row("osd 123456", TelnetOsdShow(123456), "osd_show -o 1 -s \"123456\" -f 800 -p 2500,2500\r\n");
        row("osd clear any negative", TelnetOsdShow(-42), "osd_show -c 1\r\n");
        row("display on", TelnetDisplayOn(), "e e_cec_one_touch_play\r\n");
        row("display off", TelnetDisplayOff(), "e e_cec_system_standby\r\n");
        row("cec plain", TelnetCecCustomCommand(QStringLiteral("40 04")), "cec -s  \"40 04\"\r\n");
        row("cec shell specials", TelnetCecCustomCommand(QStringLiteral("a\"$(x)`y`\\z'a;b'")),
            "cec -s  \"a\\\"\\$(x)\\`y\\`\\\\z'a;b'\"\r\n");
        row("cec utf-8", TelnetCecCustomCommand(QStringLiteral("\u00e9")), "cec -s  \"\xc3\xa9\"\r\n");
    }

    void exactBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, expected);
        QCOMPARE(bytes, expected);
    }

    void unsafeNamesAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("safe");

        QTest::newRow("encoder name") << QStringLiteral("IPE3x-7c2e0d00aa01") << true;
        QTest::newRow("dots underscores colons") << QStringLiteral("IPE_a.b:c-000000000000") << true;
        QTest::newRow("empty means no source") << QString() << true;
        QTest::newRow("semicolon and command") << QStringLiteral("IPE1-7c2e0d00aa01;reboot") << false;
        QTest::newRow("blank") << QStringLiteral("IPE1 x-7c2e0d00aa01") << false;
        QTest::newRow("command substitution") << QStringLiteral("IPE$(reboot)-7c2e0d00aa01") << false;
        QTest::newRow("backtick") << QStringLiteral("IPE`id`-7c2e0d00aa01") << false;
        QTest::newRow("pipe") << QStringLiteral("IPE1|sh-7c2e0d00aa01") << false;
        QTest::newRow("quote") << QStringLiteral("IPE1\"-7c2e0d00aa01") << false;
        QTest::newRow("line break") << QStringLiteral("IPE1-7c2e0d00aa01\r\nreboot") << false;
        QTest::newRow("slash") << QStringLiteral("IPE/../x-7c2e0d00aa01") << false;
        QTest::newRow("non-ASCII letter") << QStringLiteral("IPE\u00e9-7c2e0d00aa01") << false;
        QTest::newRow("NUL") << QString::fromLatin1("IPE1\0x-7c2e0d00aa01", 19) << false;
    }

    void unsafeNamesAreRefused()
    {
        QFETCH(QString, name);
        QFETCH(bool, safe);
        const QString decoder = QStringLiteral("IPD9-7c2e0d000001");
        // Valid, and bytes to send: a refused command must give neither.
        const auto passes
            = [](const INetworkCommand &command) { return qMakePair(command.isValid(), !command.bytes().isEmpty()); };

        QCOMPARE(isSafeDeviceName(name), safe);
        QCOMPARE(passes(TelnetSwitchSourceCommand(name)), qMakePair(safe, safe));
        QCOMPARE(passes(UdpConfigSources(name, {decoder})), qMakePair(safe, safe));
        // An empty decoder name would shift the list the encoder reads, so it never passes.
        const bool member = safe && !name.isEmpty();
        QCOMPARE(
            passes(UdpConfigSources(QStringLiteral("IPE3x-7c2e0d00aa01"), {decoder, name})), qMakePair(member, member));
    }

    void cecCommandReachesShellAsTyped_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("valid");

        QTest::newRow("quotes and backslashes") << QStringLiteral("say \"hi\" 'a;b' x\\\";reboot;\" x\\") << true;
        QTest::newRow("expansions") << QStringLiteral("$HOME ${PATH} $(touch pwned) `touch pwned`") << true;
        QTest::newRow("line break") << QStringLiteral("40 04\nreboot") << false;
        QTest::newRow("carriage return") << QStringLiteral("40 04\rreboot") << false;
        QTest::newRow("delete") << QStringLiteral("40 04\x7f") << false;
    }

    // The decoder's shell is a POSIX shell: let a real one read the command line with `cec`
    // standing in as a function that prints its arguments, and compare with what was typed.
    void cecCommandReachesShellAsTyped()
    {
        QFETCH(QString, command);
        QFETCH(bool, valid);

        const TelnetCecCustomCommand cec(command);
        QCOMPARE(cec.isValid(), valid);
        QByteArray line = cec.bytes();
        QCOMPARE(line.isEmpty(), !valid);
        if (!valid)
            return;
        line.chop(2); // the line end
        // dash here, busybox ash on the decoders: both must read it the same way.
        for (const QStringList &shell : {QStringList {"/bin/sh"}, QStringList {"busybox", "sh"}}) {
            if (QStandardPaths::findExecutable(shell.first()).isEmpty())
                continue;
            QTemporaryDir dir;
            QProcess process;
            process.setWorkingDirectory(dir.path());
            process.start(shell.first(),
                shell.mid(1) << "-c" << QStringLiteral("cec() { printf '%s|' \"$@\"; }; ") + QString::fromUtf8(line));
            QVERIFY(process.waitForFinished(10000));
            QCOMPARE(process.exitCode(), 0);
            QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), QString("-s|" + command + '|'));
            QVERIFY2(QDir(dir.path()).isEmpty(), "the command line ran something besides cec");
        }
    }

    void udpMessageNumbersCountUp()
    {
        const QString source = QStringLiteral("IPE3x-7c2e0d00aa01");
        const QStringList names {QStringLiteral("IPD9-7c2e0d000001"), QStringLiteral("IPD9-7c2e0d000002")};
        const QByteArray first = UdpConfigSources(source, names).bytes();
        const quint64 number = first.split(':').value(1).toULongLong();
        QVERIFY2(number >= 1, first.constData());
        const QByteArray tail = ":2 IPD9-7c2e0d000001 IPD9-7c2e0d000002";
        QCOMPARE(first, "msg_b_reconnect IPE3x-7c2e0d00aa01:" + QByteArray::number(number) + tail);
        QCOMPARE(UdpConfigSources(source, names).bytes(),
            "msg_b_reconnect IPE3x-7c2e0d00aa01:" + QByteArray::number(number + 1) + tail);
        // No names: a count of 0 and nothing after the blank; an empty source stays empty.
        QCOMPARE(UdpConfigSources(QString(), {}).bytes(), "msg_b_reconnect :" + QByteArray::number(number + 2) + ":0 ");
    }
};

QTEST_GUILESS_MAIN(TestNetworkCommands)
#include "tst_network_commands.moc"
