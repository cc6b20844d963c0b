#include "platform.h"

#include <QCoreApplication>
#include <QFile>

#include <QHostAddress>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
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

namespace {

bool endpointIs(const sockaddr_storage &address, const QHostAddress &host, quint16 port)
{
    QHostAddress found;
    quint16 foundPort = 0;
    if (address.ss_family == AF_INET) {
        const auto &in = reinterpret_cast<const sockaddr_in &>(address);
        found.setAddress(reinterpret_cast<const sockaddr *>(&in));
        foundPort = ntohs(in.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto &in6 = reinterpret_cast<const sockaddr_in6 &>(address);
        found.setAddress(reinterpret_cast<const sockaddr *>(&in6));
        foundPort = ntohs(in6.sin6_port);
    } else {
        return false;
    }
    return foundPort == port && (host.isNull() || found.isEqual(host, QHostAddress::TolerantConversion));
}

// Ends reading on each open descriptor that `matches` (until it answers true for `last`).
bool shutDownSockets(const std::function<bool(int fd, bool *last)> &matches)
{
    DIR *descriptors = opendir("/proc/self/fd");
    if (!descriptors)
        return false;
    bool stopped = false;
    bool last = false;
    while (const dirent *entry = readdir(descriptors)) {
        bool number = false;
        const int fd = QByteArray(entry->d_name).toInt(&number);
        if (!number || fd == dirfd(descriptors) || !matches(fd, &last))
            continue;
        stopped = ::shutdown(fd, SHUT_RD) == 0 || stopped;
        if (last)
            break;
    }
    closedir(descriptors);
    return stopped;
}

} // namespace

bool stopReading(quint16 localPort, const QString &peerAddress, quint16 peerPort)
{
    const QHostAddress peer(peerAddress);
    return shutDownSockets([&](int fd, bool *last) {
        sockaddr_storage local {};
        sockaddr_storage remote {};
        socklen_t localSize = sizeof local;
        socklen_t remoteSize = sizeof remote;
        *last = getpeername(fd, reinterpret_cast<sockaddr *>(&remote), &remoteSize) == 0
            && getsockname(fd, reinterpret_cast<sockaddr *>(&local), &localSize) == 0
            && endpointIs(remote, peer, peerPort) && endpointIs(local, QHostAddress(), localPort);
        return *last;
    });
}

// A listening socket shut down for reading wakes whatever polls it, and takes no more
// connections.
bool stopListening(quint16 localPort)
{
    return shutDownSockets([&](int fd, bool *) {
        int listening = 0;
        socklen_t size = sizeof listening;
        sockaddr_storage local {};
        socklen_t localSize = sizeof local;
        return getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) == 0 && listening
            && getsockname(fd, reinterpret_cast<sockaddr *>(&local), &localSize) == 0
            && endpointIs(local, QHostAddress(), localPort);
    });
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
