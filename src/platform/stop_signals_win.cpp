#include "stop_signals.h"

#include <QCoreApplication>
#include <QPointer>

#include <windows.h>

namespace platform {
namespace {

QPointer<StopSignals> receiver;

QString eventName(DWORD type)
{
    switch (type) {
    case CTRL_C_EVENT:
        return QStringLiteral("Ctrl+C");
    case CTRL_BREAK_EVENT:
        return QStringLiteral("Ctrl+Break");
    case CTRL_CLOSE_EVENT:
        return QStringLiteral("console closed");
    case CTRL_LOGOFF_EVENT:
        return QStringLiteral("log-off");
    default:
        return QStringLiteral("shutdown");
    }
}

// Runs on a thread of its own that Windows makes for the event; the program is ended when
// it returns for a close, so it waits a moment for the event loop to save.
BOOL WINAPI onConsoleEvent(DWORD type)
{
    StopSignals *target = receiver.data();
    if (!target)
        return FALSE;
    const QString reason = eventName(type);
    QMetaObject::invokeMethod(
        target, [target, reason] { emit target->stopRequested(reason); }, Qt::QueuedConnection);
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
        ::Sleep(2000);
    return TRUE;
}

} // namespace

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{
    receiver = this;
    active = ::SetConsoleCtrlHandler(onConsoleEvent, TRUE) != 0;
}

StopSignals::~StopSignals()
{
    if (active)
        ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    receiver.clear();
}

void StopSignals::onReadable()
{
}

} // namespace platform
