#include "small_disk.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

const char *const FILLING = "/filling";

} // namespace

SmallDisk::SmallDisk(int kibibytes)
{
    if (!dir.isValid()) {
        reason = QStringLiteral("no temporary folder");
        return;
    }
    // Private, so that the mount never shows outside this process.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        reason = QStringLiteral("no mount namespace of its own: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    const QByteArray options = "size=" + QByteArray::number(kibibytes) + "k,mode=0755";
    if (::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData())
        != 0) {
        reason = QStringLiteral("tmpfs not mounted: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    mounted = true;
}

SmallDisk::~SmallDisk()
{
    if (mounted)
        ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
}

bool SmallDisk::fill()
{
    const int fd = ::open(QFile::encodeName(dir.path() + QLatin1String(FILLING)).constData(),
        O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    static const char block[4096] = {};
    bool full = false;
    // One byte at a time at the end, so that not even a small file fits any more.
    for (size_t size : {sizeof block, size_t(1)}) {
        while (true) {
            if (::write(fd, block, size) < 0) {
                full = errno == ENOSPC;
                break;
            }
        }
    }
    ::close(fd);
    return full;
}

void SmallDisk::clear()
{
    QFile::remove(dir.path() + QLatin1String(FILLING));
}
