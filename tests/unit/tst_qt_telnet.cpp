#include "log_capture.h"
#include "qttelnet/qt_telnet.h"
#include "qttelnet/telnet_protocol.h"
#include "scripted_shell_peer.h"

#include <QRegularExpression>
#include <QTextCodec>
#include <QtTest>

namespace {

QByteArray hex(const char *bytes)
{
    return QByteArray::fromHex(bytes);
}

// The client's opening requests: WILL AUTHENTICATION, DO SGA, DO STATUS.
const QByteArray opening = hex("fffb25 fffd03 fffd05");

// A connected client and everything it signalled, text runs as "message:<text>". A step is
// what the server sends, as one read, or one of "@reconnect", "@close" (close() called),
// "@hangup" (the server closes), "@send <text>", "@size [<width> <height>]".
struct Session
{
    Session()
    {
        QObject::connect(&telnet, &QtTelnet::message, [this](const QString &text) { events << "message:" + text; });
        QObject::connect(&telnet, &QtTelnet::loginRequired, [this] { events << "loginRequired"; });
        QObject::connect(&telnet, &QtTelnet::loggedIn, [this] { events << "loggedIn"; });
        QObject::connect(&telnet, &QtTelnet::loggedOut, [this] { events << "loggedOut"; });
        telnet.login("root\r\n", QString());
        telnet.setPromptPattern(QRegExp("[\\/] [#] "));
        opened = peer.accept();
    }

    void step(const QByteArray &step)
    {
        const QList<QByteArray> words = step.split(' ');
        if (step == "@reconnect")
            written += peer.accept();
        else if (step == "@close")
            telnet.close();
        else if (step == "@hangup")
            peer.hangUp();
        else if (step.startsWith("@send "))
            telnet.sendData(QString::fromLatin1(step.mid(6)));
        else if (words.first() == "@size")
            telnet.setWindowSize(words.size() == 3 ? QSize(words[1].toInt(), words[2].toInt()) : QSize());
        else
            peer.send(step);
        written += peer.takeWritten();
    }

    QtTelnet telnet;
    ScriptedShellPeer peer {&telnet};
    QByteArray opened;
    QByteArray written;
    QStringList events;
};

} // namespace

class TestQtTelnet : public QObject
{
    Q_OBJECT

private slots:
    void exchanges_data()
    {
        QTest::addColumn<QByteArray>("codec"); // the local encoding
        QTest::addColumn<QByteArrayList>("steps");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QStringList>("events");
        // By default byte 255 and the character U+00FF are the same thing on both sides.
        const auto row = [](const char *name, const QByteArrayList &steps, const QByteArray &written,
                             const QStringList &events = QStringList(), const QByteArray &codec = "ISO-8859-1") {
            QTest::newRow(name) << codec << steps << written << events;
        };

        // Captured from busybox telnetd running an interactive ash: DO ECHO, DO NAWS, WILL ECHO,
        // WILL SGA, the banner, and the first prompt followed by a cursor position query. The
        // answers are WONT ECHO, WONT NAWS and DONT ECHO; WILL SGA only confirms our DO SGA.
        const QByteArray banner
            = "\r\r\n\r\n\r\nBusyBox v1.35.0 (Debian 1:1.35.0-4+deb12u1+b1) built-in shell (ash)\r\n"
              "Enter 'help' for a list of built-in commands.\r\n\r\n/ # ";
        row("busybox telnetd, captured", {hex("fffd01 fffd1f fffb01 fffb03") + banner + "\x1b[6n"},
            hex("fffc01 fffc1f fffe01"), {"loggedIn", QString::fromLatin1("message:" + banner)});
        // RFC 1143, option by option: a request is answered once, an answer is never taken for
        // a request, and a request is never lost for looking like an earlier answer. Both sides
        // run the same state machine, so each transition is walked on one side only.
        row("DO accepted once, DONT once", {hex("fffd18 fffd18 fffe18 fffe18")}, hex("fffb18 fffc18"));
        row("DO refused every time, DONT then silent", {hex("fffd01"), hex("fffd22 fffd01 fffe01")},
            hex("fffc01 fffc22 fffc01"));
        row("our DO accepted, the next WILL only repeats", {hex("fffb03"), hex("fffb03")}, QByteArray());
        row("our DO refused, a later WILL accepted", {hex("fffc03"), hex("fffb03")}, hex("fffd03"));
        // The size goes out once the server has asked for it, bytes 255 doubled.
        row("window size", {"@size 255 511", hex("fffd1f"), "@size 80 24", "@size", hex("fffe1f")},
            hex("fffb1f fffa1f00ffff01ffff fff0 fffa1f00500018 fff0 fffc1f"));
        row("DO NAWS without a size", {hex("fffd1f fffe1f"), "@size 80 24"}, hex("fffc1f fffb1f"));
        // A change of mind while a request is in flight waits for the answer, then goes out.
        row("size withdrawn while offered", {"@size 80 24", "@size", hex("fffd1f"), hex("fffe1f"), "@size 1 2"},
            hex("fffb1f fffc1f fffb1f"));
        row("size back while withdrawn", {"@size 80 24", hex("fffd1f"), "@size", "@size 2 3", hex("fffe1f")},
            hex("fffb1f fffa1f00500018fff0 fffc1f fffb1f"));
        row("withdrawal answered by DO", {"@size 80 24", hex("fffd1f"), "@size", hex("fffd1f"), "@size 2 3"},
            hex("fffb1f fffa1f00500018fff0 fffc1f fffb1f"));
        QByteArrayList oneByteReads;
        for (char byte : hex("fffa1801 ffff f0 78 fff0"))
            oneByteReads << QByteArray(1, byte);
        row("terminal type asked byte by byte, an escaped IAC inside", oneByteReads,
            hex("fffa1800") + "UNKNOWN" + hex("fff0"));

        // A run ends at a NUL, which is dropped, and at a command; a Data Mark right after a
        // command is the urgent byte of a Synch.
        row("text runs", {QByteArray("a\r\0b", 4), hex("ffff") + "z" + hex("fffb01 f2") + "d", "@send x\xffy"},
            hex("fffe01") + "x" + hex("ffff") + "y",
            {"message:a\r", "message:b", QString::fromLatin1("message:\xffz"), "message:d"});
        row("character split over reads", {"a\xe5", "\xa4\xa7!"}, QByteArray(), {"message:a", "message:\u5927!"},
            "utf-8");
        row("control sequences split over reads", {"/ # \x1b", "[6", "nls\x1b]0;title\x07\r\n"}, QByteArray(),
            {"loggedIn", "message:/ # ", "message:ls\r\n"});
        // What bash prints around a prompt and a command: the bracketed-paste switch (a private
        // mode), colours, a character set choice and the keypad modes.
        row("an interactive shell's sequences",
            {"\x1b[?2004h/ # ", "ls\r\n\x1b[?2004l\r\x1b[01;34mdir\x1b[0m\r\n\x1b(B\x1b=\x1b>x\x1b[?1h\x1b[?25l"},
            QByteArray(), {"loggedIn", "message:/ # ", "message:ls\r\n\rdir\r\nx"});

        const QByteArray welcome = "Welcome\r\nlogin: ";
        const QStringList askedTwice {
            "message:Welcome\r\nlogin: ", "loginRequired", "message:Login incorrect\r\nlogin: ", "loginRequired"};
        // NULL authentication (RFC 2941) lets the server go on to its login prompt.
        row("authentication", {hex("fffa2501 02020200 fff0"), welcome}, hex("fffa2500 0000 fff0") + "root\r\n",
            {"message:Welcome\r\nlogin: ", "loginRequired"});
        row("login asked twice", {welcome, "Login incorrect\r\nlogin: "}, "root\r\n", askedTwice);
        row("shell prompt ends the login", {"/ # ", "Last login: "}, QByteArray(),
            {"loggedIn", "message:/ # ", "message:Last login: "});
        row("a new connection starts afresh",
            {hex("fffd18"), "login: ", "/ # ", "@reconnect", hex("fffd18"), "login: "},
            hex("fffb18") + "root\r\n" + opening + hex("fffb18"),
            {"message:login: ", "loginRequired", "loggedIn", "message:/ # ", "message:login: ", "loginRequired"});
        row("WONT LOGOUT closes once", {hex("fffc12"), "@hangup"}, QByteArray(), {"loggedOut"});
        row("close() closes once", {"@close", "@hangup"}, QByteArray(), {"loggedOut"});
    }

    void exchanges()
    {
        QFETCH(QByteArray, codec);
        QFETCH(QByteArrayList, steps);
        QFETCH(QByteArray, written);
        QFETCH(QStringList, events);
        QTextCodec::setCodecForLocale(QTextCodec::codecForName(codec));
        Session session;
        QCOMPARE(session.opened, opening);
        for (const QByteArray &step : steps)
            session.step(step);
        QCOMPARE(session.written, written);
        QCOMPARE(session.events, events);
    }

    // The codes that interrupt or discard output come with a Synch, whose urgent Data Mark goes
    // out of band; without a network it cannot go, and the client says so.
    void controls()
    {
        Session session;
        LogCapture warnings(QtWarningMsg);
        for (int control = QtTelnet::GoAhead; control <= QtTelnet::Abort; ++control)
            session.telnet.sendControl(QtTelnet::Control(control));
        QCOMPARE(session.peer.takeWritten(), hex("fff9 fff4 fff6 fff5 fff7 fff8 fff3 ffec ffed ffee"));
        QCOMPARE(warnings.matching("urgent Data Mark").size(), 3);
    }

    void longSubnegotiations()
    {
        // Byte by byte, each read goes on where the previous one stopped. When each read scanned
        // the pending subnegotiation from its start, this took seconds of CPU on the GUI thread.
        Session session;
        QElapsedTimer clock;
        clock.start();
        session.step(hex("fffa63"));
        for (int pending = 3; pending < telnet::MaxPendingBytes; ++pending)
            session.step("x");
        QTest::ignoreMessage(QtWarningMsg, "QtTelnetPrivate::parseIAC: unknown suboption 99");
        session.step(hex("fff0") + "after");
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QStringLiteral("%1 ms").arg(clock.elapsed())));

        // One byte more than may wait, and the pending bytes go; what follows flows again.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("dropping \\d+ pending bytes"));
        session.step(hex("fffa63") + QByteArray(telnet::MaxPendingBytes - 2, 'x'));
        session.step("again");
        QCOMPARE(session.events, (QStringList {"message:after", "message:again"}));
    }
};

QTEST_GUILESS_MAIN(TestQtTelnet)
#include "tst_qt_telnet.moc"
