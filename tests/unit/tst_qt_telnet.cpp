#include "qttelnet/qt_telnet.h"
#include "qttelnet/qt_telnet_private.h"
#include "qttelnet/telnet_protocol.h"
#include "scripted_shell_peer.h"

#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTextCodec>
#include <QtTest>

using namespace telnet;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(char(value));
    return result;
}

// The client's opening requests, written out byte for byte: WILL AUTHENTICATION, DO SGA,
// WILL LINEMODE, DO STATUS.
const QByteArray opening = QByteArray::fromHex("fffb25 fffd03 fffb22 fffd05");
const QByteArray ttypeSend = bytes({Iac, Sb, OptTtype, SubSend, Iac, Se});
const QByteArray ttypeReply = bytes({Iac, Sb, OptTtype, SubIs}) + "UNKNOWN" + bytes({Iac, Se});
const QByteArray nullAuthReply = bytes({Iac, Sb, OptAuthentication, SubIs, 0, 0, Iac, Se});
const QByteArray authSend = bytes({Iac, Sb, OptAuthentication, SubSend, 2, 2, 2, 0, Iac, Se});
constexpr int Echo = 1;

QByteArray naws(int width, int height)
{
    return bytes({Iac, Sb, OptNaws, width >> 8, width & 0xff, height >> 8, height & 0xff, Iac, Se});
}

// One client connected to a scripted server, with everything the client signalled, in order.
class Session
{
public:
    explicit Session(const QSize &size = QSize(), const QString &password = QString())
    {
        QObject::connect(&telnet, &QtTelnet::message, [this](const QString &text) { events << "message:" + text; });
        QObject::connect(&telnet, &QtTelnet::loginRequired, [this] { events << "loginRequired"; });
        QObject::connect(&telnet, &QtTelnet::loginFailed, [this] { events << "loginFailed"; });
        QObject::connect(&telnet, &QtTelnet::loggedIn, [this] { events << "loggedIn"; });
        QObject::connect(&telnet, &QtTelnet::loggedOut, [this] { events << "loggedOut"; });
        telnet.login("root\r\n", password);
        telnet.setPromptPattern(QRegExp("[\\/] [#] "));
        if (size.isValid())
            telnet.setWindowSize(size);
    }

    // Connects and returns the opening requests.
    QByteArray start()
    {
        telnet.connectToHost("127.0.0.1", peer.port());
        if (!peer.waitForClient() || !peer.waitForBytes(opening.size()))
            return "no connection";
        return replies();
    }

    // Hands each chunk to the client as one read.
    void feed(const QByteArrayList &chunks)
    {
        for (const QByteArray &chunk : chunks) {
            peer.send(chunk);
            telnet.socket()->waitForReadyRead(5000);
        }
    }

    // Everything the client has written since the last call. A terminal-type request goes
    // behind; its answer, written last, marks the end.
    QByteArray replies()
    {
        feed({ttypeSend});
        if (!QTest::qWaitFor([this] { return peer.rawBytes().endsWith(ttypeReply); }, 5000))
            return "no answer to the terminal-type probe: " + peer.rawBytes().toHex(' ');
        QByteArray result = peer.takeRawBytes();
        result.chop(ttypeReply.size());
        return result;
    }

    ScriptedShellPeer peer {ScriptedShellPeer::Raw};
    QtTelnet telnet;
    QStringList events;
};

} // namespace

class TestQtTelnet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exchanges_data();
    void exchanges();
    void windowSizeChanges_data();
    void windowSizeChanges();
    void loggedOutOnce_data();
    void loggedOutOnce();
    void reconnectStartsAfresh();
    void replacingTheSocketLogsOut();
    void controls_data();
    void controls();
    void dataByte255IsDoubled();
    void unendingSubnegotiationIsBounded();
    void longSubnegotiationInOneByteReads();
};

void TestQtTelnet::initTestCase()
{
    // Byte 255 and the character U+00FF are then the same thing on both sides.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
}

// What the server sends, each chunk as one read; what the client answers on the wire; what it
// signals, text runs as "message:<text>". The setup: "" plain, "utf-8" with that locale,
// "window" with an 80 x 24 size, "password" with one to give, "rearm" with a new login name
// given from loginRequired, "no prompts" without login and password patterns (the
// authentication outcome is then the login).
void TestQtTelnet::exchanges_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QByteArray>("replies");
    QTest::addColumn<QStringList>("events");
    const auto row = [](const char *name, const QByteArrayList &chunks, const QByteArray &replies,
                         const QStringList &events = QStringList(), const QString &setup = QString()) {
        QTest::newRow(name) << setup << chunks << replies << events;
    };

    // Option negotiation: DO and DONT are answered only when they change the state, our own
    // requests coming back are not answered again.
    row("DO refused", {bytes({Iac, Do, Echo})}, bytes({Iac, Wont, Echo}));
    row("DO again while on", {bytes({Iac, Do, OptTtype, Iac, Do, OptTtype})}, bytes({Iac, Will, OptTtype}));
    row("DONT while off", {bytes({Iac, Dont, OptTtype})}, QByteArray());
    row("DONT after DO", {bytes({Iac, Do, OptTtype, Iac, Dont, OptTtype})},
        bytes({Iac, Will, OptTtype, Iac, Wont, OptTtype}));
    row("DO echoing our WILL", {bytes({Iac, Do, OptAuthentication, Iac, Do, OptLinemode})}, QByteArray());
    // The first WILL SGA only confirms our DO; a second is answered like any WILL.
    row("second WILL SGA", {bytes({Iac, Will, OptSga, Iac, Will, OptSga})}, bytes({Iac, Do, OptSga}));
    row("WILL allowed", {bytes({Iac, Will, OptLogout})}, bytes({Iac, Do, OptLogout}));
    row("WILL refused", {bytes({Iac, Will, Echo})}, bytes({Iac, Dont, Echo}));
    row("WONT", {bytes({Iac, Wont, Echo})}, bytes({Iac, Dont, Echo}));
    row("DO NAWS without size", {bytes({Iac, Do, OptNaws})}, bytes({Iac, Wont, OptNaws}));
    row("DO NAWS with size", {bytes({Iac, Do, OptNaws})}, naws(80, 24), {}, "window");
    row("command split over reads", {bytes({Iac}), bytes({Do}), bytes({OptTtype})}, bytes({Iac, Will, OptTtype}));
    row("TTYPE SEND split over reads", {ttypeSend.left(3), ttypeSend.mid(3, 2), ttypeSend.mid(5)}, ttypeReply);
    row("two-byte commands in between", {bytes({Iac, 241, Iac, Ga, Iac, Dm, Iac, Se, Iac, Do, OptTtype})},
        bytes({Iac, Will, OptTtype}));
    const QByteArray escapedIacInside = bytes({Iac, Sb, OptTtype, SubSend, Iac, Iac, Se, 'x', Iac, Se});
    row("escaped IAC inside a subnegotiation", {escapedIacInside + bytes({Iac, Do, OptTtype})},
        ttypeReply + bytes({Iac, Will, OptTtype}));
    QByteArrayList oneByteReads;
    for (char byte : escapedIacInside)
        oneByteReads << QByteArray(1, byte);
    row("escaped IAC inside a subnegotiation, byte by byte", oneByteReads, ttypeReply);

    // Captured from busybox telnetd running an interactive ash: DO ECHO, DO NAWS, WILL ECHO,
    // WILL SGA, the banner, and the first prompt followed by a cursor position query. The
    // answers are WONT ECHO, WONT NAWS and DONT ECHO; WILL SGA only confirms our DO SGA.
    const QByteArray banner = "\r\r\n\r\n\r\nBusyBox v1.35.0 (Debian 1:1.35.0-4+deb12u1+b1) built-in shell (ash)\r\n"
                              "Enter 'help' for a list of built-in commands.\r\n\r\n/ # ";
    row("busybox telnetd, captured", {QByteArray::fromHex("fffd01 fffd1f fffb01 fffb03") + banner + "\x1b[6n"},
        QByteArray::fromHex("fffc01 fffc1f fffe01"), {"loggedIn", QString::fromLatin1("message:" + banner)});

    // Authentication.
    row("auth SEND", {authSend}, nullAuthReply, {"loggedIn"}, "no prompts");
    row("auth IS from the server", {bytes({Iac, Sb, OptAuthentication, SubIs, 0, 0, Iac, Se})}, QByteArray(), {},
        "no prompts");
    row("auth without code", {bytes({Iac, Sb, OptAuthentication, Iac, Se})}, QByteArray(), {}, "no prompts");
    row("auth refused", {bytes({Iac, Dont, OptAuthentication})}, QByteArray(), {"loggedIn"}, "no prompts");

    // Text runs.
    const QString y = QString(QChar(0xff));
    row("NUL splits a run", {QByteArray("abc\0def", 7)}, QByteArray(), {"message:abc", "message:def"});
    row("CR NUL", {QByteArray("a\r\0\r\nb", 6)}, QByteArray(), {"message:a\r", "message:\r\nb"});
    row("a run per read", {"ab", "cd\r\n"}, QByteArray(), {"message:ab", "message:cd\r\n"});
    row("escaped IAC is data", {"a" + bytes({Iac, Iac}) + "b"}, QByteArray(), {"message:a" + y + "b"});
    row("escaped IAC split over reads", {"a" + bytes({Iac}), bytes({Iac}) + "b"}, QByteArray(),
        {"message:a", "message:" + y + "b"});
    row("commands end runs", {"ab" + bytes({Iac, 241}) + "cd" + bytes({Iac, Ga}) + "ef"}, QByteArray(),
        {"message:ab", "message:cd", "message:ef"});
    row("negotiation inside text", {"ab" + bytes({Iac, Will, Echo}) + "cd"}, bytes({Iac, Dont, Echo}),
        {"message:ab", "message:cd"});
    row("bare Data Mark", {bytes({Dm}) + "abc"}, QByteArray(), {"message:abc"});
    row("character split over reads", {"a\xe5", "\xa4\xa7!"}, QByteArray(), {"message:a", "message:\u5927!"}, "utf-8");
    // Shells with line editing ask for the cursor position after the prompt.
    row("control sequences taken out", {"\x1b[1;32mok\x1b[0m\r\n/ # \x1b[6n"}, QByteArray(),
        {"loggedIn", "message:ok\r\n/ # "});
    row("control sequence split over reads", {"/ # \x1b", "[6", "nls\x1b]0;title\x07\r\n"}, QByteArray(),
        {"loggedIn", "message:/ # ", "message:ls\r\n"});
    row("subnegotiation split over reads", {"x" + ttypeSend.left(3), ttypeSend.mid(3) + "y"}, ttypeReply,
        {"message:x", "message:y"});

    // Login and password prompts.
    const QByteArray welcome = "Welcome\r\nlogin: ";
    const QStringList asked {"message:Welcome\r\nlogin: ", "loginRequired"};
    const QStringList askedPassword = asked + QStringList {"message:root\r\nPassword: "};
    row("prompt in first run", {welcome}, "root\r\n", asked);
    row("re-armed from loginRequired", {welcome}, "admin\r\n", asked, "rearm");
    row("password", {welcome, "root\r\nPassword: "}, "root\r\nsecret\r\n", askedPassword, "password");
    row("empty password", {welcome, "root\r\nPassword: "}, "root\r\n", askedPassword);
    row("asked again", {welcome, "Login incorrect\r\nlogin: "}, "root\r\n",
        asked + QStringList {"message:Login incorrect\r\nlogin: ", "loginRequired"});
    row("shell prompt ends the login", {"/ # ", "Last login: "}, QByteArray(),
        {"loggedIn", "message:/ # ", "message:Last login: "});
    row("login after refused authentication", {bytes({Iac, Dont, OptAuthentication}), welcome}, "root\r\n", asked);
    row("login after NULL authentication", {authSend, welcome}, nullAuthReply + "root\r\n", asked);
}

void TestQtTelnet::exchanges()
{
    QFETCH(QString, setup);
    QFETCH(QByteArrayList, chunks);
    QFETCH(QByteArray, replies);
    QFETCH(QStringList, events);
    QTextCodec *const locale = QTextCodec::codecForLocale();
    const auto restoreLocale = qScopeGuard([locale] { QTextCodec::setCodecForLocale(locale); });
    if (setup == "utf-8")
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    Session session(setup == "window" ? QSize(80, 24) : QSize(), setup == "password" ? "secret\r\n" : QString());
    if (setup == "rearm")
        connect(&session.telnet, &QtTelnet::loginRequired, this, [&] { session.telnet.login("admin\r\n", QString()); });
    if (setup == "no prompts") {
        session.telnet.setLoginPattern(QRegExp());
        session.telnet.setPasswordPattern(QRegExp());
    }
    // The opening requests: a window size is offered only when there is one.
    QCOMPARE(session.start(), setup == "window" ? opening + bytes({Iac, Will, OptNaws}) : opening);
    session.feed(chunks);
    QCOMPARE(session.replies(), replies);
    QCOMPARE(session.events, events);
}

void TestQtTelnet::windowSizeChanges_data()
{
    QTest::addColumn<QSize>("before");
    QTest::addColumn<QSize>("after");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("new size") << QSize(80, 24) << QSize(132, 43) << naws(132, 43);
    QTest::newRow("bytes 255 doubled") << QSize(80, 24) << QSize(255, 511)
                                       << bytes({Iac, Sb, OptNaws, 0, 255, 255, 1, 255, 255, Iac, Se});
    QTest::newRow("size withdrawn") << QSize(80, 24) << QSize() << bytes({Iac, Wont, OptNaws});
    QTest::newRow("size after WONT NAWS") << QSize() << QSize(80, 24) << bytes({Iac, Will, OptNaws});
}

void TestQtTelnet::windowSizeChanges()
{
    QFETCH(QSize, before);
    QFETCH(QSize, after);
    QFETCH(QByteArray, expected);
    Session session(before);
    QVERIFY(!session.start().isEmpty());
    session.feed({bytes({Iac, Do, OptNaws})});
    session.replies();
    session.telnet.setWindowSize(after);
    QCOMPARE(session.replies(), expected);
    // The server's DO NAWS has switched the option on, with or without a size at the time.
    QCOMPARE(session.telnet.windowSize(), after);
}

void TestQtTelnet::loggedOutOnce_data()
{
    QTest::addColumn<int>("ending");
    QTest::newRow("server says WONT LOGOUT") << 0;
    QTest::newRow("close()") << 1;
    QTest::newRow("server hangs up") << 2;
}

void TestQtTelnet::loggedOutOnce()
{
    QFETCH(int, ending);
    Session session;
    QVERIFY(!session.start().isEmpty());
    if (ending == 0)
        session.feed({bytes({Iac, Wont, OptLogout})});
    else if (ending == 1)
        session.telnet.close();
    else
        session.peer.dropConnection();
    QVERIFY(session.peer.waitForDisconnected());
    QTRY_COMPARE(session.telnet.socket()->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(session.events, QStringList {"loggedOut"});
}

void TestQtTelnet::reconnectStartsAfresh()
{
    Session session;
    connect(&session.telnet, &QtTelnet::loginRequired, this, [&] { session.telnet.login("root\r\n", QString()); });
    QVERIFY(!session.start().isEmpty());
    session.feed({bytes({Iac, Do, OptTtype}) + "login: "});
    session.feed({"/ # "});
    QCOMPARE(session.replies(), QByteArray(bytes({Iac, Will, OptTtype}) + "root\r\n"));
    session.peer.dropConnection();
    QTRY_COMPARE(session.telnet.socket()->state(), QAbstractSocket::UnconnectedState);
    session.events.clear();

    // The options, the pending requests and the login state of the old connection are gone.
    QCOMPARE(session.start(), opening);
    session.feed({bytes({Iac, Do, OptTtype})});
    QCOMPARE(session.replies(), bytes({Iac, Will, OptTtype}));
    session.feed({"login: "});
    QCOMPARE(session.replies(), QByteArray("root\r\n"));
    QCOMPARE(session.events, (QStringList {"message:login: ", "loginRequired"}));
}

void TestQtTelnet::replacingTheSocketLogsOut()
{
    Session session;
    QVERIFY(!session.start().isEmpty());
    auto *replacement = new QTcpSocket;
    session.telnet.setSocket(replacement);
    QCOMPARE(session.telnet.socket(), replacement);
    QVERIFY(session.peer.waitForBytes(3));
    QCOMPARE(session.peer.rawBytes(), bytes({Iac, Do, OptLogout}));
    QVERIFY(session.peer.waitForDisconnected());
}

void TestQtTelnet::controls_data()
{
    QTest::addColumn<QtTelnet::Control>("control");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("urgent");
    QTest::newRow("GoAhead") << QtTelnet::GoAhead << int(Ga) << false;
    QTest::newRow("InterruptProcess") << QtTelnet::InterruptProcess << int(Ip) << true;
    QTest::newRow("AreYouThere") << QtTelnet::AreYouThere << int(Ayt) << true;
    QTest::newRow("AbortOutput") << QtTelnet::AbortOutput << int(Ao) << true;
    QTest::newRow("EraseCharacter") << QtTelnet::EraseCharacter << int(Ec) << false;
    QTest::newRow("EraseLine") << QtTelnet::EraseLine << int(El) << false;
    QTest::newRow("Break") << QtTelnet::Break << int(Brk) << false;
    QTest::newRow("EndOfFile") << QtTelnet::EndOfFile << int(Eof) << false;
    QTest::newRow("Suspend") << QtTelnet::Suspend << int(Susp) << false;
    QTest::newRow("Abort") << QtTelnet::Abort << int(Abort) << false;
}

void TestQtTelnet::controls()
{
    QFETCH(QtTelnet::Control, control);
    QFETCH(int, code);
    QFETCH(bool, urgent);
    Session session;
    QVERIFY(!session.start().isEmpty());
    // Urgent data shows as an exception condition on the receiving socket; Qt reads the
    // urgent byte itself in line with the rest.
    QSocketNotifier notifier(session.peer.client()->socketDescriptor(), QSocketNotifier::Exception);
    bool urgentSeen = false;
    connect(&notifier, &QSocketNotifier::activated, this, [&] {
        urgentSeen = true;
        notifier.setEnabled(false);
    });
    session.telnet.sendControl(control);
    session.telnet.sendData(".");
    const QByteArray expected = bytes({Iac, code}) + (urgent ? bytes({Dm}) : QByteArray()) + ".";
    QVERIFY(session.peer.waitForBytes(expected.size()));
    QCOMPARE(session.peer.rawBytes(), expected);
    QTRY_COMPARE(urgentSeen, urgent);
    QCoreApplication::processEvents();
    QCOMPARE(urgentSeen, urgent);
}

void TestQtTelnet::dataByte255IsDoubled()
{
    Session session;
    QVERIFY(!session.start().isEmpty());
    session.telnet.sendData("a" + QString(QChar(0xff)) + "b");
    QCOMPARE(session.replies(), QByteArray("a" + bytes({Iac, Iac}) + "b"));
}

void TestQtTelnet::unendingSubnegotiationIsBounded()
{
    Session session;
    QtTelnetPrivate *receivePath = session.telnet.findChild<QtTelnetPrivate *>();
    // Up to the limit a subnegotiation waits for its end.
    receivePath->receive(bytes({Iac, Sb, 99}) + QByteArray(MaxPendingBytes - 3, 'x'));
    QTest::ignoreMessage(QtWarningMsg, "QtTelnetPrivate::parseIAC: unknown suboption 99");
    receivePath->receive(bytes({Iac, Se}) + "after");
    QCOMPARE(session.events, QStringList {"message:after"});

    // One byte more and the pending bytes go; what follows flows again.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("dropping \\d+ pending bytes"));
    receivePath->receive(bytes({Iac, Sb, 99}) + QByteArray(MaxPendingBytes - 2, 'x'));
    receivePath->receive("again");
    QCOMPARE(session.events, (QStringList {"message:after", "message:again"}));
}

void TestQtTelnet::longSubnegotiationInOneByteReads()
{
    // Every read goes on where the previous one stopped. When each read scanned the pending
    // subnegotiation from its start, these reads took seconds of CPU on the GUI thread.
    Session session;
    QtTelnetPrivate *receivePath = session.telnet.findChild<QtTelnetPrivate *>();
    QElapsedTimer clock;
    clock.start();
    receivePath->receive(bytes({Iac, Sb, 99}));
    for (int i = 0; i < MaxPendingBytes - 100; ++i)
        receivePath->receive(QByteArray(1, 'x'));
    QTest::ignoreMessage(QtWarningMsg, "QtTelnetPrivate::parseIAC: unknown suboption 99");
    receivePath->receive(bytes({Iac, Se}) + "after");
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QStringLiteral("%1 ms").arg(clock.elapsed())));
    QCOMPARE(session.events, QStringList {"message:after"});
}

QTEST_GUILESS_MAIN(TestQtTelnet)
#include "tst_qt_telnet.moc"
