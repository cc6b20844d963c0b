#include "app/process_control.h"

#include "platform/platform.h"

#include <QCoreApplication>
#include <QDebug>
#include <QProcess>

const char *const SINGLETON_MUTEX_NAME = "ZENTROVA_SINGLETON_MUTEX";
const char *const RESTART_MUTEX_NAME = "ZENTROVA_RESTART_MUTEX";

NamedMutexSlot singletonMutex;
NamedMutexSlot restartMutex;

bool takeNamedMutex(NamedMutexSlot &slot, const QString &name, int timeoutMs)
{
    if (slot)
        return true;
    platform::NamedMutex::OpenResult opened;
    slot = platform::NamedMutex::createOrOpen(name, &opened);
    if (!slot)
        return false;
    if (opened == platform::NamedMutex::OpenResult::Created)
        return true;
    return slot->wait(timeoutMs);
}

bool restartApplication()
{
    const QString program = platform::executablePath();
    if (!restartMutex) {
        platform::NamedMutex::OpenResult ignored;
        restartMutex = platform::NamedMutex::createOrOpen(QString::fromLatin1(RESTART_MUTEX_NAME), &ignored);
    }
    // The new copy must find the single-instance guard free, and waits on the restart
    // guard until this one has ended.
    singletonMutex.reset();
    qint64 pid = 0;
    if (!QProcess::startDetached(program, {QStringLiteral("/reset")}, QString(), &pid)) {
        qWarning().noquote() << "Could not start" << program << "for the restart";
        restartMutex.reset();
        takeNamedMutex(singletonMutex, QString::fromLatin1(SINGLETON_MUTEX_NAME), 0);
        return false;
    }
    qInfo().noquote() << "Restarted as process" << pid;
    QCoreApplication::exit(0);
    return true;
}
