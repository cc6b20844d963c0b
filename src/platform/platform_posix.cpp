#include "platform.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <sys/socket.h>

namespace platform {

QString fileVersion()
{
    return QStringLiteral(ZENTROVA_VERSION);
}

QString executablePath()
{
    return QCoreApplication::applicationFilePath();
}

void writeDebuggerOutput(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

bool renameReplacing(const QString &from, const QString &to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

QTextCodec *logCodec()
{
    // Log files are read on other machines; UTF-8 whatever the locale says.
    return QTextCodec::codecForName("UTF-8");
}

bool isTabletMode()
{
    return false;
}

qint64 sendOutOfBand(qintptr socketDescriptor, const char *data, qint64 size)
{
    return ::send(int(socketDescriptor), data, size_t(size), MSG_OOB | MSG_NOSIGNAL);
}

} // namespace platform
