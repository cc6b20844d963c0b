#include "telnet_server_process.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

namespace {

// Seconds a server may live at most, whatever happens to the test.
constexpr int ServerLifetime = 120;
constexpr int StartMs = 15000;
const QString InetutilsTelnetd = QStringLiteral("/usr/sbin/telnetd");
const QString ShellPrompt = QStringLiteral("/ # ");

// Without a terminal behind its input busybox sh reads plain lines: no line editing, so no
// cursor queries after the prompt; the terminal's own echo shows the line.
const char ShellScript[] = "#!/bin/sh\n"
                           "export PS1='/ # '\n"
                           "cat | exec %1 sh +m -i\n";

const char LoginScript[] = "#!/bin/sh\n"
                           "printf 'zentrova login: '\n"
                           "IFS= read -r user\n"
                           "printf 'Password: '\n"
                           "IFS= read -r password\n"
                           "if [ \"$user\" != '%1' ] || [ \"$password\" != '%2' ]; then\n"
                           "  printf '\\nLogin incorrect\\n'\n"
                           "  exit 1\n"
                           "fi\n"
                           "printf '\\nWelcome, %s\\n' \"$user\"\n"
                           "exec %3\n";

QString findProgram(const QString &name, const QString &package, QString *error)
{
    const QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        *error = QStringLiteral("%1 not found; scripts/install-deps installs %2").arg(name, package);
    return path;
}

} // namespace

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

constexpr char TelnetServerProcess::LoginName[];
constexpr char TelnetServerProcess::Password[];

TelnetServerProcess::TelnetServerProcess(Kind kind)
    : kind(kind)
{
}

TelnetServerProcess::~TelnetServerProcess()
{
    if (process.state() == QProcess::NotRunning)
        return;
    // timeout passes SIGTERM on to the server; the sessions die with their terminals.
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool TelnetServerProcess::writeState(const QString &key, const QByteArray &value)
{
    QDir().mkpath(statePath(QString()));
    QFile file(statePath(key));
    return file.open(QIODevice::WriteOnly) && file.write(value + '\n') == value.size() + 1;
}

QString TelnetServerProcess::stateOf(const QString &key) const
{
    QFile file(statePath(key));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    const QString text = QString::fromUtf8(file.readAll());
    return text.endsWith(QLatin1Char('\n')) ? text.chopped(1) : text;
}

bool TelnetServerProcess::start()
{
    const QString timeout = findProgram(QStringLiteral("timeout"), QStringLiteral("coreutils"), &error);
    const QString busybox = findProgram(QStringLiteral("busybox"), QStringLiteral("busybox-static"), &error);
    serverPort = freeTcpPort();
    if (serverPort == 0)
        error = QStringLiteral("no free port on 127.0.0.1");
    if (!error.isEmpty())
        return false;

    QStringList arguments {QStringLiteral("-k"), QStringLiteral("5"), QString::number(ServerLifetime)};
    if (kind != Inetutils) {
        arguments << QStringLiteral(ZENTROVA_SOURCE_DIR "/tools/device_simulator/decoder-shell/start-decoder-shell.sh")
                  << statePath(QString()) << QString::number(serverPort) << QStringLiteral("127.0.0.1");
        if (kind == DecoderShellNoLogin)
            arguments << QStringLiteral("--no-login");
        if (kind == DecoderShellLineEditing)
            arguments << QStringLiteral("--line-editing");
    } else {
        const QString socat = findProgram(QStringLiteral("socat"), QStringLiteral("socat"), &error);
        if (!QFileInfo(InetutilsTelnetd).isExecutable())
            error = InetutilsTelnetd + QStringLiteral(" not found; scripts/install-deps installs inetutils-telnetd");
        const QString shell = writeScript(QStringLiteral("shell.sh"), QString::fromLatin1(ShellScript).arg(busybox));
        const QString login = writeScript(QStringLiteral("login.sh"),
            QString::fromLatin1(LoginScript).arg(QLatin1String(LoginName), QLatin1String(Password), shell));
        // One connection, handed to telnetd as inetd would hand it.
        arguments << socat << QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(serverPort)
                  << QStringLiteral("EXEC:%1 -E %2,nofork").arg(InetutilsTelnetd, login);
    }
    if (!error.isEmpty())
        return false;

    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(timeout, arguments);
    if (!process.waitForStarted(5000)) {
        error = QStringLiteral("cannot start the server: ") + process.errorString();
        return false;
    }
    if (kind == Inetutils)
        return true;
    const bool listening = QTest::qWaitFor(
        [this] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, serverPort);
            return probe.waitForConnected(200) || !isRunning();
        },
        StartMs);
    if (!listening || !isRunning())
        error = QStringLiteral("the decoder shell does not accept connections");
    return error.isEmpty();
}

QString TelnetServerProcess::writeScript(const QString &name, const QString &body)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(body.toLocal8Bit()) != body.toLocal8Bit().size()) {
        error = QStringLiteral("cannot write ") + path;
        return path;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

ShellClient::ShellClient(const QString &password)
    : socket(new RecordingSocket)
{
    telnet.setSocket(socket);
    telnet.login(QStringLiteral("root\r\n"), password);
    telnet.setPromptPattern(QRegExp(QStringLiteral("[\\/] [#] ")));
    QObject::connect(&telnet, &QtTelnet::message, [this](const QString &text) { transcript += text; });
    QObject::connect(&telnet, &QtTelnet::loginRequired, [this] { events << QStringLiteral("loginRequired"); });
    QObject::connect(&telnet, &QtTelnet::loggedIn, [this] { events << QStringLiteral("loggedIn"); });
    QObject::connect(&telnet, &QtTelnet::loggedOut, [this] { events << QStringLiteral("loggedOut"); });
}

bool ShellClient::connectTo(const QHostAddress &address, quint16 port, int msecs)
{
    QSignalSpy errors(&telnet, &QtTelnet::connectionError);
    QDeadlineTimer deadline(msecs);
    const auto connected = [this] { return socket->state() == QAbstractSocket::ConnectedState; };
    while (!deadline.hasExpired()) {
        errors.clear();
        telnet.connectToHost(address.toString(), port);
        if (QTest::qWaitFor([&] { return connected() || !errors.isEmpty(); }, 5000) && connected())
            return true;
        QTest::qWait(100);
    }
    return false;
}

bool ShellClient::waitForPrompt(int msecs)
{
    return QTest::qWaitFor([this] { return transcript.endsWith(ShellPrompt); }, msecs);
}

QString ShellClient::run(const QByteArray &line)
{
    transcript.clear();
    telnet.sendData(QString::fromUtf8(line));
    return waitForPrompt(10000) ? transcript : QStringLiteral("no prompt after: ") + transcript;
}

QByteArray ShellClient::written() const
{
    return socket->written;
}

quint16 freeTcpPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

quint16 freeUdpPort()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::LocalHost, 0) ? probe.localPort() : 0;
}
