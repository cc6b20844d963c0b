#include "platform.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

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

bool syncFile(qintptr handle)
{
    int result;
    do {
        result = ::fsync(int(handle));
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool syncFolder(const QString &path)
{
    const int folder = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return false;
    const bool synced = syncFile(folder);
    ::close(folder);
    return synced;
}

bool linkReplacing(const QString &existing, const QString &link)
{
    const QByteArray temporary = QFile::encodeName(link + QStringLiteral(".new"));
    ::unlink(temporary.constData());
    if (::link(QFile::encodeName(existing).constData(), temporary.constData()) != 0)
        return false;
    if (std::rename(temporary.constData(), QFile::encodeName(link).constData()) != 0) {
        ::unlink(temporary.constData());
        return false;
    }
    return true;
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

qint64 residentMemoryBytes()
{
    // The second figure of statm is the resident set, in pages (Linux only).
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> figures = statm.readAll().split(' ');
    bool ok = false;
    const qint64 pages = figures.value(1).toLongLong(&ok);
    return ok ? pages * qint64(sysconf(_SC_PAGESIZE)) : -1;
}

} // namespace platform
