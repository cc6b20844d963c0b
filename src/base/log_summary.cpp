#include "base/log_summary.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QTimer>

namespace {

const QString OTHER_ADDRESSES = QStringLiteral("other addresses");

} // namespace

LogSummary::LogSummary(Clock given)
    : clock(std::move(given))
    , ownClock(!clock)
{
    if (ownClock) {
        clock = [started = QElapsedTimer()]() mutable {
            if (!started.isValid())
                started.start();
            return started.elapsed();
        };
    }
}

LogSummary &LogSummary::shared()
{
    static LogSummary summary;
    return summary;
}

bool LogSummary::admit(QtMsgType type, const QString &kind, const QString &address)
{
    flush();
    QString key = kind + QLatin1Char('\n') + address;
    if (!windows.contains(key) && windows.size() >= MAX_ADDRESSES)
        key = kind + QLatin1Char('\n') + OTHER_ADDRESSES;
    const auto found = windows.find(key);
    if (found == windows.end()) {
        const bool others = key.endsWith(OTHER_ADDRESSES);
        windows.insert(key, {type, kind, others ? OTHER_ADDRESSES : address, clock()});
        return true;
    }
    ++found->more;
    scheduleFlush();
    return false;
}

void LogSummary::flush()
{
    const qint64 now = clock();
    for (auto it = windows.begin(); it != windows.end();) {
        if (now - it->start < WINDOW_MS) {
            ++it;
            continue;
        }
        if (it->more > 0) {
            const QString line = QStringLiteral("%1 … and %2 more from %3 in the last minute")
                                     .arg(it->kind)
                                     .arg(it->more)
                                     .arg(it->address);
            if (it->type == QtWarningMsg)
                qWarning().noquote() << line;
            else
                qInfo().noquote() << line;
        }
        it = windows.erase(it);
    }
}

void LogSummary::scheduleFlush()
{
    if (!ownClock || flushScheduled || !QCoreApplication::instance())
        return;
    // At the end of the first minute that has something to tell.
    const qint64 now = clock();
    qint64 due = -1;
    for (const Window &window : qAsConst(windows)) {
        if (window.more > 0) {
            const qint64 left = qMax<qint64>(0, window.start + WINDOW_MS - now);
            due = due < 0 ? left : qMin(due, left);
        }
    }
    if (due < 0)
        return;
    flushScheduled = true;
    QTimer::singleShot(int(due), QCoreApplication::instance(), [this] {
        flushScheduled = false;
        flush();
        scheduleFlush();
    });
}
