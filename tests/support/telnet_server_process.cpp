#include "telnet_server_process.h"

#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>

namespace {

// Seconds a server may live at most, whatever happens to the test.
constexpr int ServerLifetime = 120;
const QString DecoderShellStarter
    = QStringLiteral(ZENTROVA_SOURCE_DIR "/tools/device_simulator/decoder-shell/start-decoder-shell.sh");

// Without a terminal behind its input busybox sh reads plain lines: no line editing, so no
// cursor queries after the prompt; the terminal's own echo shows the line.
const char LoginScript[] = "#!/bin/sh\n"
                           "printf 'zentrova login: '\n"
                           "IFS= read -r user\n"
                           "printf 'Password: '\n"
                           "IFS= read -r password\n"
                           "if [ \"$user\" != root ] || [ \"$password\" != '%1' ]; then\n"
                           "  printf '\\nLogin incorrect\\n'\n"
                           "  exit 1\n"
                           "fi\n"
                           "printf '\\nWelcome, %s\\n' \"$user\"\n"
                           "export PS1='/ # '\n"
                           "cat | exec %2 sh +m -i\n";

// A loopback port nobody listens on right now, for the server to take; 0 when none.
quint16 freeTcpPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

constexpr char TelnetServerProcess::Password[];

TelnetServerProcess::TelnetServerProcess(Kind kind)
    : kind(kind)
{
}

TelnetServerProcess::~TelnetServerProcess()
{
    // timeout passes SIGTERM on to the server; the sessions die with their terminals.
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(5000);
}

bool TelnetServerProcess::start()
{
    QStringList programs {QStringLiteral("timeout"), QStringLiteral("busybox")};
    if (kind == Inetutils)
        programs << QStringLiteral("socat") << QStringLiteral("/usr/sbin/telnetd");
    for (const QString &program : programs) {
        if (QStandardPaths::findExecutable(program).isEmpty())
            error = program + QStringLiteral(" not found: run scripts/install-deps");
    }
    serverPort = freeTcpPort();
    if (!error.isEmpty() || serverPort == 0)
        return false;

    QStringList arguments {QStringLiteral("-k"), QStringLiteral("5"), QString::number(ServerLifetime)};
    if (kind == DecoderShell) {
        arguments << DecoderShellStarter << dir.filePath(QStringLiteral("state")) << QString::number(serverPort)
                  << QStringLiteral("127.0.0.1") << QStringLiteral("--line-editing");
    } else {
        const QString login = dir.filePath(QStringLiteral("login.sh"));
        QFile script(login);
        const QByteArray body = QString::fromLatin1(LoginScript)
                                    .arg(QLatin1String(Password), QStandardPaths::findExecutable("busybox"))
                                    .toLocal8Bit();
        if (!script.open(QIODevice::WriteOnly) || script.write(body) != body.size()
            || !script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner)) {
            error = QStringLiteral("cannot write ") + login;
            return false;
        }
        // One connection, handed to telnetd as inetd would hand it.
        arguments << QStringLiteral("socat") << QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(serverPort)
                  << QStringLiteral("EXEC:/usr/sbin/telnetd -E %1,nofork").arg(login);
    }
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("timeout"), arguments);
    if (!process.waitForStarted(5000))
        error = QStringLiteral("cannot start the server: ") + process.errorString();
    return error.isEmpty();
}
