#include "shell_session.h"

#include <QDeadlineTimer>
#include <QThread>

namespace {

const QString PROMPT = QStringLiteral("/ # ");
constexpr uchar IAC = 255;
constexpr uchar SB = 250;
constexpr uchar SE = 240;
constexpr uchar WILL = 251;

QByteArray withoutTelnetCommands(const QByteArray &data)
{
    QByteArray text;
    for (int i = 0; i < data.size(); ++i) {
        if (uchar(data.at(i)) != IAC) {
            text += data.at(i);
            continue;
        }
        if (i + 1 >= data.size())
            break;
        const uchar command = uchar(data.at(++i));
        if (command == IAC) {
            text += char(IAC);
        } else if (command >= WILL) {
            ++i;
        } else if (command == SB) {
            while (i + 1 < data.size() && !(uchar(data.at(i)) == IAC && uchar(data.at(i + 1)) == SE))
                ++i;
            ++i;
        }
    }
    return text;
}

} // namespace

bool ShellSession::connectTo(const QHostAddress &address, quint16 port, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        socket.connectToHost(address, port);
        if (socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime()))))
            return true;
        socket.abort();
        QThread::msleep(50);
    }
    return false;
}

bool ShellSession::waitForSuffix(const QString &suffix, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!text().endsWith(suffix)) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            return text().endsWith(suffix);
        received += socket.readAll();
    }
    return true;
}

bool ShellSession::logIn(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!text().endsWith(PROMPT) && !text().endsWith(QLatin1String("ogin: "))) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            return false;
        received += socket.readAll();
    }
    if (text().endsWith(PROMPT))
        return true;
    socket.write("root\r\n");
    return waitForSuffix(PROMPT, int(qMax<qint64>(1, deadline.remainingTime())));
}

QString ShellSession::run(const QByteArray &bytes, int timeoutMs)
{
    received.clear();
    socket.write(bytes);
    return waitForSuffix(PROMPT, timeoutMs) ? text() : QString();
}

QString ShellSession::text() const
{
    return QString::fromUtf8(withoutTelnetCommands(received));
}

void ShellSession::close()
{
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState)
        socket.waitForDisconnected(5000);
}
