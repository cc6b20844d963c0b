#include "stop_signals.h"

#include <QDebug>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

const int STOP_SIGNALS[] = {SIGTERM, SIGINT, SIGHUP};

// The handler may only write a byte: the event loop reads it and does the work.
int selfPipe[2] = {-1, -1};

void onStopSignal(int number)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // A full pipe already holds a request; losing this one changes nothing.
    [[maybe_unused]] const ssize_t written = ::write(selfPipe[1], &byte, 1);
    errno = savedErrno;
}

QString signalName(int number)
{
    switch (number) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(number);
    }
}

void restoreDefaults()
{
    for (const int number : STOP_SIGNALS)
        std::signal(number, SIG_DFL);
}

void closePipe()
{
    for (int &end : selfPipe) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

} // namespace

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{
    restoreDefaults();
    closePipe();
    if (::pipe2(selfPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning().noquote() << "Stop signals cannot be caught:" << std::strerror(errno);
        return;
    }
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : STOP_SIGNALS) {
        if (::sigaction(number, &action, nullptr) != 0) {
            qWarning().noquote() << "Stop signals cannot be caught:" << std::strerror(errno);
            restoreDefaults();
            closePipe();
            return;
        }
    }
    notifier = new QSocketNotifier(selfPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &StopSignals::onReadable);
    active = true;
}

StopSignals::~StopSignals()
{
    if (!active)
        return;
    restoreDefaults();
    delete notifier;
    closePipe();
}

void StopSignals::onReadable()
{
    unsigned char bytes[16];
    ssize_t count;
    while ((count = ::read(selfPipe[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t n = 0; n < count; ++n)
            emit stopRequested(signalName(bytes[n]));
    }
}

} // namespace platform
