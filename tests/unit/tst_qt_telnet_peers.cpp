#include "qttelnet/qt_telnet.h"
#include "qttelnet/telnet_protocol.h"
#include "telnet_server_process.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

namespace {

const QString ShellPrompt = QStringLiteral("/ # ");

// Keeps a copy of everything the client writes, so that its side of a negotiation with a
// real server can be read afterwards.
class RecordingSocket : public QTcpSocket
{
public:
    QByteArray written;

protected:
    qint64 writeData(const char *data, qint64 size) override
    {
        written.append(data, int(size));
        return QTcpSocket::writeData(data, size);
    }
};

// A client as the decoder connection sets it up, with what it has shown and signalled.
class Client
{
public:
    explicit Client(const QString &password)
    {
        telnet.setSocket(socket);
        telnet.login("root\r\n", password);
        telnet.setPromptPattern(QRegExp("[\\/] [#] "));
        QObject::connect(&telnet, &QtTelnet::message, [this](const QString &text) { transcript += text; });
        QObject::connect(&telnet, &QtTelnet::loginRequired, [this] { events << "loginRequired"; });
        QObject::connect(&telnet, &QtTelnet::loggedIn, [this] { events << "loggedIn"; });
        QObject::connect(&telnet, &QtTelnet::loggedOut, [this] { events << "loggedOut"; });
    }

    // The server takes a moment to listen; until then the connection is refused.
    bool connectTo(const TelnetServerProcess &server)
    {
        QSignalSpy errors(&telnet, &QtTelnet::connectionError);
        QDeadlineTimer deadline(10000);
        while (server.isRunning() && !deadline.hasExpired()) {
            errors.clear();
            telnet.connectToHost("127.0.0.1", server.port());
            const auto connected = [this] { return socket->state() == QAbstractSocket::ConnectedState; };
            if (QTest::qWaitFor([&] { return connected() || !errors.isEmpty(); }, 5000) && connected())
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    // Sends a command line and returns what came back up to and including the next prompt.
    QString run(const QString &line)
    {
        transcript.clear();
        telnet.sendData(line + "\r\n");
        if (!QTest::qWaitFor([this] { return transcript.endsWith(ShellPrompt); }, 10000))
            return "no prompt after: " + transcript;
        return transcript;
    }

    RecordingSocket *socket = new RecordingSocket;
    QtTelnet telnet;
    QString transcript;
    QStringList events;
};

} // namespace

class TestQtTelnetPeers : public QObject
{
    Q_OBJECT

private slots:
    void busyboxShell();
    void inetutilsLogin();
};

void TestQtTelnetPeers::busyboxShell()
{
    TelnetServerProcess server(TelnetServerProcess::Busybox);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    Client client {QString()};
    QVERIFY2(client.connectTo(server), "busybox telnetd does not accept the connection");

    QTRY_VERIFY_WITH_TIMEOUT(client.transcript.endsWith(ShellPrompt), 10000);
    QCOMPARE(client.events, QStringList {"loggedIn"});
    // The decoders' contract: the line echoed, the output, the prompt.
    QCOMPARE(client.run("echo zentrova-$((6 * 7))"), QString("echo zentrova-$((6 * 7))\r\nzentrova-42\r\n/ # "));

    client.telnet.close();
    QCOMPARE(client.events, (QStringList {"loggedIn", "loggedOut"}));
}

void TestQtTelnetPeers::inetutilsLogin()
{
    TelnetServerProcess server(TelnetServerProcess::Inetutils);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    Client client(QString(TelnetServerProcess::Password) + "\r\n");
    QVERIFY2(client.connectTo(server), "socat does not accept the connection");

    QTRY_VERIFY_WITH_TIMEOUT(client.transcript.endsWith(ShellPrompt), 15000);
    QVERIFY2(client.transcript.contains("Welcome, root\r\n"), qPrintable(client.transcript));
    QCOMPARE(client.events, (QStringList {"loginRequired", "loggedIn"}));

    // The server offered authentication and asked for the terminal type; the terminal type
    // arrives in the shell's environment (inetutils writes it in lower case).
    using namespace telnet;
    const char nullAuth[] = {char(Iac), char(Sb), char(OptAuthentication), char(SubIs), 0, 0, char(Iac), char(Se)};
    QVERIFY(client.socket->written.contains(QByteArray(nullAuth, sizeof nullAuth)));
    QCOMPARE(client.run("echo term=$TERM"), QString("echo term=$TERM\r\nterm=unknown\r\n/ # "));

    client.telnet.close();
    QCOMPARE(client.events, (QStringList {"loginRequired", "loggedIn", "loggedOut"}));
}

QTEST_GUILESS_MAIN(TestQtTelnetPeers)
#include "tst_qt_telnet_peers.moc"
