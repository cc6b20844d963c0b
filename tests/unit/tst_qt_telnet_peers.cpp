// The telnet client against real telnet servers on loopback: busybox telnetd running the
// decoder shell, and inetutils telnetd, which offers authentication and asks for a password.
#include "qttelnet/qt_telnet.h"
#include "telnet_server_process.h"

#include <QTcpSocket>
#include <QtTest>

Q_DECLARE_METATYPE(TelnetServerProcess::Kind)

class TestQtTelnetPeers : public QObject
{
    Q_OBJECT

private slots:
    void session_data()
    {
        QTest::addColumn<TelnetServerProcess::Kind>("kind");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("answer"); // how the text up to the next prompt ends
        QTest::newRow("busybox telnetd, ash with line editing")
            << TelnetServerProcess::DecoderShell << "gbparam g crop_param\r\n"
            << "\r\n0:0:0:0\r\n/ # ";
        // The terminal type arrives in the shell's environment, in lower case. Without LINEMODE
        // the server works character by character and, its ECHO refused, echoes nothing.
        QTest::newRow("inetutils telnetd") << TelnetServerProcess::Inetutils << "echo term=$TERM\r\n"
                                           << "term=unknown\r\n/ # ";
    }

    void session()
    {
        QFETCH(TelnetServerProcess::Kind, kind);
        QFETCH(QString, command);
        QFETCH(QString, answer);
        TelnetServerProcess server(kind);
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QtTelnet telnet;
        telnet.login(QStringLiteral("root\r\n"), QString(TelnetServerProcess::Password) + "\r\n");
        telnet.setPromptPattern(QRegExp(QStringLiteral("[\\/] [#] ")));
        QString transcript;
        QStringList events;
        connect(&telnet, &QtTelnet::message, this, [&](const QString &text) { transcript += text; });
        connect(&telnet, &QtTelnet::loginRequired, this, [&] { events << "loginRequired"; });
        connect(&telnet, &QtTelnet::loggedIn, this, [&] { events << "loggedIn"; });
        connect(&telnet, &QtTelnet::loggedOut, this, [&] { events << "loggedOut"; });
        // The server may take a moment to listen; until then the connection is refused.
        const auto connected = [&] {
            if (telnet.socket()->state() == QAbstractSocket::UnconnectedState)
                telnet.connectToHost(QStringLiteral("127.0.0.1"), server.port());
            return telnet.socket()->waitForConnected(200);
        };
        QVERIFY2(QTest::qWaitFor(connected, 10000), "the server does not accept the connection");
        QTRY_VERIFY2_WITH_TIMEOUT(transcript.endsWith("/ # "), qPrintable(transcript), 15000);
        QCOMPARE(events, (QStringList {"loginRequired", "loggedIn"}));

        transcript.clear();
        telnet.sendData(command);
        QTRY_VERIFY2_WITH_TIMEOUT(transcript.endsWith(answer), qPrintable(transcript), 10000);
        QVERIFY2(!transcript.contains(QChar(0x1b)), qPrintable(transcript));

        // The decoder shell ends and the server hangs up; the inetutils session, whose shell
        // reads through a pipe that outlives it, is closed from here.
        if (kind == TelnetServerProcess::DecoderShell)
            telnet.sendData(QStringLiteral("exit\r\n"));
        else
            telnet.close();
        QTRY_COMPARE_WITH_TIMEOUT(events, (QStringList {"loginRequired", "loggedIn", "loggedOut"}), 10000);
    }
};

QTEST_GUILESS_MAIN(TestQtTelnetPeers)
#include "tst_qt_telnet_peers.moc"
