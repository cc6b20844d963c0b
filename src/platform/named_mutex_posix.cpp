#include "named_mutex.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {
namespace {

QString lockDirectory()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    // Without a runtime folder of the user's own, the program's folder in the user's home: in a
    // folder every user shares, anyone could hold the lock or put a link in its place.
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.zentrova");
    QDir().mkpath(dir);
    return dir;
}

bool tryLock(int fd)
{
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

} // namespace

std::unique_ptr<NamedMutex> NamedMutex::createOrOpen(const QString &name, OpenResult *result)
{
    const QByteArray path = QFile::encodeName(lockDirectory() + QLatin1Char('/') + name + QStringLiteral(".lock"));
    // Close-on-exec, so that a restarted copy of the program does not inherit the lock; a link
    // in the lock file's place is refused rather than followed.
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *result = OpenResult::Failed;
        return nullptr;
    }
    // An unheld lock file is a mutex nobody has open: taking it is creating it.
    const bool taken = tryLock(fd);
    *result = taken ? OpenResult::Created : OpenResult::AlreadyExisted;
    return std::unique_ptr<NamedMutex>(new NamedMutex(fd, taken));
}

NamedMutex::NamedMutex(qintptr handle, bool owned)
    : handle(handle)
    , owned(owned)
{
}

NamedMutex::~NamedMutex()
{
    release();
    ::close(int(handle));
}

void NamedMutex::release()
{
    if (owned)
        ::flock(int(handle), LOCK_UN);
    owned = false;
}

bool NamedMutex::wait(int timeoutMs)
{
    // flock cannot wait with a deadline, so poll it.
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (owned || tryLock(int(handle))) {
            owned = true;
            return true;
        }
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
}

} // namespace platform
