#include "telnet_server_process.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTcpServer>

namespace {

// Seconds a server may live at most, whatever happens to the test.
constexpr int ServerLifetime = 120;
const QString InetutilsTelnetd = QStringLiteral("/usr/sbin/telnetd");

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

bool TelnetServerProcess::start()
{
    const QString timeout = findProgram(QStringLiteral("timeout"), QStringLiteral("coreutils"), &error);
    const QString busybox = findProgram(QStringLiteral("busybox"), QStringLiteral("busybox-static"), &error);
    if (!error.isEmpty())
        return false;

    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost)) {
        error = QStringLiteral("no free port on 127.0.0.1: ") + probe.errorString();
        return false;
    }
    serverPort = probe.serverPort();
    probe.close();

    const QString shell = writeScript(QStringLiteral("shell.sh"), QString::fromLatin1(ShellScript).arg(busybox));
    QStringList arguments {QStringLiteral("-k"), QStringLiteral("5"), QString::number(ServerLifetime)};
    if (kind == Busybox) {
        arguments << busybox << QStringLiteral("telnetd") << QStringLiteral("-F") << QStringLiteral("-K")
                  << QStringLiteral("-f") << QStringLiteral("/dev/null") << QStringLiteral("-b")
                  << QStringLiteral("127.0.0.1:%1").arg(serverPort) << QStringLiteral("-l") << shell;
    } else {
        const QString socat = findProgram(QStringLiteral("socat"), QStringLiteral("socat"), &error);
        if (!QFileInfo(InetutilsTelnetd).isExecutable())
            error = InetutilsTelnetd + QStringLiteral(" not found; scripts/install-deps installs inetutils-telnetd");
        if (!error.isEmpty())
            return false;
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
    return true;
}

bool TelnetServerProcess::isRunning() const
{
    return process.state() == QProcess::Running;
}

QString TelnetServerProcess::errorString() const
{
    return error;
}

quint16 TelnetServerProcess::port() const
{
    return serverPort;
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
