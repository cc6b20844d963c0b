#include "fake_telnet_peer.h"
#include "qttelnet/qt_telnet.h"
#include "qttelnet/qt_telnet_private.h"
#include "qttelnet/telnet_protocol.h"

#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTcpSocket>
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

const QByteArray opening
    = bytes({Iac, Will, OptAuthentication, Iac, Do, OptSga, Iac, Will, OptLinemode, Iac, Do, OptStatus});
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
        if (!QTest::qWaitFor([this] { return peer.received().endsWith(ttypeReply); }, 5000))
            return "no answer to the terminal-type probe: " + peer.received().toHex(' ');
        QByteArray result = peer.takeReceived();
        result.chop(ttypeReply.size());
        return result;
    }

    FakeTelnetPeer peer;
    QtTelnet telnet;
    QStringList events;
};

} // namespace

class TestQtTelnet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void openingRequests_data();
    void openingRequests();
    void negotiation_data();
    void negotiation();
    void windowSizeChanges_data();
    void windowSizeChanges();
    void authentication_data();
    void authentication();
    void textRuns_data();
    void textRuns();
    void loginPrompts_data();
    void loginPrompts();
    void loggedOutOnce_data();
    void loggedOutOnce();
    void reconnectStartsAfresh();
    void replacingTheSocketLogsOut();
    void controls_data();
    void controls();
    void dataByte255IsDoubled();
    void unendingSubnegotiationIsBounded();
};

void TestQtTelnet::initTestCase()
{
    // Byte 255 and the character U+00FF are then the same thing on both sides.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
}

void TestQtTelnet::openingRequests_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("no window size") << QSize() << opening;
    QTest::newRow("window size known") << QSize(80, 24) << opening + bytes({Iac, Will, OptNaws});
}

void TestQtTelnet::openingRequests()
{
    QFETCH(QSize, size);
    QFETCH(QByteArray, expected);
    Session session(size);
    QCOMPARE(session.start(), expected);
}

void TestQtTelnet::negotiation_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QByteArray>("expected");
    const QSize none;
    QTest::newRow("DO allowed") << none << QByteArrayList {bytes({Iac, Do, OptTtype})} << bytes({Iac, Will, OptTtype});
    QTest::newRow("DO refused") << none << QByteArrayList {bytes({Iac, Do, Echo})} << bytes({Iac, Wont, Echo});
    QTest::newRow("DO again while on") << none << QByteArrayList {bytes({Iac, Do, OptTtype, Iac, Do, OptTtype})}
                                       << bytes({Iac, Will, OptTtype});
    QTest::newRow("DONT while off") << none << QByteArrayList {bytes({Iac, Dont, OptTtype})} << QByteArray();
    QTest::newRow("DONT after DO") << none << QByteArrayList {bytes({Iac, Do, OptTtype, Iac, Dont, OptTtype})}
                                   << bytes({Iac, Will, OptTtype, Iac, Wont, OptTtype});
    QTest::newRow("DO echoing our WILL") << none
                                         << QByteArrayList {bytes({Iac, Do, OptAuthentication, Iac, Do, OptLinemode})}
                                         << QByteArray();
    QTest::newRow("WILL echoing our DO") << none << QByteArrayList {bytes({Iac, Will, OptSga})} << QByteArray();
    QTest::newRow("second WILL SGA") << none << QByteArrayList {bytes({Iac, Will, OptSga, Iac, Will, OptSga})}
                                     << bytes({Iac, Do, OptSga});
    QTest::newRow("WILL allowed") << none << QByteArrayList {bytes({Iac, Will, OptLogout})}
                                  << bytes({Iac, Do, OptLogout});
    QTest::newRow("WILL refused") << none << QByteArrayList {bytes({Iac, Will, Echo})} << bytes({Iac, Dont, Echo});
    QTest::newRow("WONT") << none << QByteArrayList {bytes({Iac, Wont, Echo})} << bytes({Iac, Dont, Echo});
    QTest::newRow("DO NAWS without size")
        << none << QByteArrayList {bytes({Iac, Do, OptNaws})} << bytes({Iac, Wont, OptNaws});
    QTest::newRow("DO NAWS with size") << QSize(80, 24) << QByteArrayList {bytes({Iac, Do, OptNaws})} << naws(80, 24);
    QTest::newRow("command split over reads")
        << none << QByteArrayList {bytes({Iac}), bytes({Do}), bytes({OptTtype})} << bytes({Iac, Will, OptTtype});
    QTest::newRow("TTYPE SEND split over reads")
        << none << QByteArrayList {ttypeSend.left(3), ttypeSend.mid(3, 2), ttypeSend.mid(5)} << ttypeReply;
    QTest::newRow("two-byte commands in between")
        << none << QByteArrayList {bytes({Iac, 241, Iac, Ga, Iac, Dm, Iac, Se, Iac, Do, OptTtype})}
        << bytes({Iac, Will, OptTtype});
    QTest::newRow("escaped IAC inside a subnegotiation")
        << none << QByteArrayList {bytes({Iac, Sb, OptTtype, SubSend, Iac, Iac, Se, Iac, Se, Iac, Do, OptTtype})}
        << ttypeReply + bytes({Iac, Will, OptTtype});
}

void TestQtTelnet::negotiation()
{
    QFETCH(QSize, size);
    QFETCH(QByteArrayList, chunks);
    QFETCH(QByteArray, expected);
    Session session(size);
    QVERIFY(!session.start().isEmpty());
    session.feed(chunks);
    QCOMPARE(session.replies(), expected);
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

void TestQtTelnet::authentication_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("SEND") << QByteArrayList {authSend} << nullAuthReply << QStringList {"loggedIn"};
    QTest::newRow("IS from the server") << QByteArrayList {bytes({Iac, Sb, OptAuthentication, SubIs, 0, 0, Iac, Se})}
                                        << QByteArray() << QStringList();
    QTest::newRow("no code") << QByteArrayList {bytes({Iac, Sb, OptAuthentication, Iac, Se})} << QByteArray()
                             << QStringList();
    QTest::newRow("refused") << QByteArrayList {bytes({Iac, Dont, OptAuthentication})} << QByteArray()
                             << QStringList {"loggedIn"};
}

void TestQtTelnet::authentication()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(QByteArray, expected);
    QFETCH(QStringList, events);
    // Without prompts to answer, the outcome of the authentication is the login. (With them,
    // the login prompt still follows: see loginPrompts.)
    Session session;
    session.telnet.setLoginPattern(QRegExp());
    session.telnet.setPasswordPattern(QRegExp());
    QVERIFY(!session.start().isEmpty());
    session.feed(chunks);
    QCOMPARE(session.replies(), expected);
    QCOMPARE(session.events, events);
}

void TestQtTelnet::textRuns_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QStringList>("messages");
    const QString y = QString(QChar(0xff));
    QTest::newRow("NUL splits a run") << QByteArrayList {QByteArray("abc\0def", 7)} << QStringList {"abc", "def"};
    QTest::newRow("CR NUL") << QByteArrayList {QByteArray("a\r\0\r\nb", 6)} << QStringList {"a\r", "\r\nb"};
    QTest::newRow("a run per read") << QByteArrayList {"ab", "cd\r\n"} << QStringList {"ab", "cd\r\n"};
    QTest::newRow("escaped IAC is data") << QByteArrayList {"a" + bytes({Iac, Iac}) + "b"}
                                         << QStringList {"a" + y + "b"};
    QTest::newRow("escaped IAC split over reads")
        << QByteArrayList {"a" + bytes({Iac}), bytes({Iac}) + "b"} << QStringList {"a", y + "b"};
    QTest::newRow("commands end runs") << QByteArrayList {"ab" + bytes({Iac, 241}) + "cd" + bytes({Iac, Ga}) + "ef"}
                                       << QStringList {"ab", "cd", "ef"};
    QTest::newRow("negotiation inside text")
        << QByteArrayList {"ab" + bytes({Iac, Will, Echo}) + "cd"} << QStringList {"ab", "cd"};
    QTest::newRow("bare Data Mark") << QByteArrayList {bytes({Dm}) + "abc"} << QStringList {"abc"};
    QTest::newRow("subnegotiation split over reads")
        << QByteArrayList {"x" + ttypeSend.left(3), ttypeSend.mid(3) + "y"} << QStringList {"x", "y"};
}

void TestQtTelnet::textRuns()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(QStringList, messages);
    Session session;
    QVERIFY(!session.start().isEmpty());
    session.feed(chunks);
    QStringList expected;
    for (const QString &text : messages)
        expected << "message:" + text;
    QCOMPARE(session.events, expected);
}

void TestQtTelnet::loginPrompts_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("rearm");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QByteArray>("expected");
    const QStringList asked {"message:Welcome\r\nlogin: ", "loginRequired"};
    QTest::newRow("prompt in first run") << QByteArrayList {"Welcome\r\nlogin: "} << ""
                                         << "" << asked << QByteArray("root\r\n");
    QTest::newRow("re-armed from loginRequired") << QByteArrayList {"Welcome\r\nlogin: "} << ""
                                                 << "admin\r\n"
                                                 << asked << QByteArray("admin\r\n");
    QTest::newRow("password") << QByteArrayList {"Welcome\r\nlogin: ", "root\r\nPassword: "} << "secret\r\n"
                              << "" << asked + QStringList {"message:root\r\nPassword: "}
                              << QByteArray("root\r\nsecret\r\n");
    QTest::newRow("empty password") << QByteArrayList {"Welcome\r\nlogin: ", "root\r\nPassword: "} << ""
                                    << "" << asked + QStringList {"message:root\r\nPassword: "}
                                    << QByteArray("root\r\n");
    QTest::newRow("asked again") << QByteArrayList {"Welcome\r\nlogin: ", "Login incorrect\r\nlogin: "} << ""
                                 << "" << asked + QStringList {"message:Login incorrect\r\nlogin: ", "loginRequired"}
                                 << QByteArray("root\r\n");
    QTest::newRow("shell prompt ends the login")
        << QByteArrayList {"/ # ", "Last login: "} << ""
        << "" << QStringList {"loggedIn", "message:/ # ", "message:Last login: "} << QByteArray();
    QTest::newRow("after refused authentication")
        << QByteArrayList {bytes({Iac, Dont, OptAuthentication}), "Welcome\r\nlogin: "} << ""
        << "" << asked << QByteArray("root\r\n");
    QTest::newRow("after NULL authentication") << QByteArrayList {authSend, "Welcome\r\nlogin: "} << ""
                                               << "" << asked << nullAuthReply + "root\r\n";
}

void TestQtTelnet::loginPrompts()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(QString, password);
    QFETCH(QString, rearm);
    QFETCH(QStringList, events);
    QFETCH(QByteArray, expected);
    Session session(QSize(), password);
    if (!rearm.isEmpty())
        connect(&session.telnet, &QtTelnet::loginRequired, this, [&] { session.telnet.login(rearm, QString()); });
    QVERIFY(!session.start().isEmpty());
    session.feed(chunks);
    QCOMPARE(session.replies(), expected);
    QCOMPARE(session.events, events);
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
        session.peer.client()->disconnectFromHost();
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
    session.peer.client()->disconnectFromHost();
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
    QCOMPARE(session.peer.received(), bytes({Iac, Do, OptLogout}));
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
    QCOMPARE(session.peer.received(), expected);
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

QTEST_GUILESS_MAIN(TestQtTelnet)
#include "tst_qt_telnet.moc"
