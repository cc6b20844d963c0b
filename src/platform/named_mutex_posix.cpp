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
    if (dir.isEmpty())
        dir = QDir::tempPath();
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
    // Close-on-exec, so that a restarted copy of the program does not inherit the lock.
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        *result = OpenResult::Failed;
        return nullptr;
    }
    // An unheld lock file is a mutex nobody has open: taking it is creating it.
    *result = tryLock(fd) ? OpenResult::Created : OpenResult::AlreadyExisted;
    return std::unique_ptr<NamedMutex>(new NamedMutex(fd));
}

NamedMutex::NamedMutex(qintptr handle) : handle(handle) {}

NamedMutex::~NamedMutex()
{
    ::close(int(handle));
}

bool NamedMutex::wait(int timeoutMs)
{
    // flock cannot wait with a deadline, so poll it.
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (tryLock(int(handle)))
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
}

} // namespace platform
