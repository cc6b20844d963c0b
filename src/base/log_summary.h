#pragma once

#include <QHash>
#include <QString>
#include <QtGlobal>

#include <functional>

// Lines that anyone on the network can cause (a connection, a refusal, a wrong token) are
// written at most once a minute per kind and address; the rest are counted and told in one
// line when that minute is over, so that a flood of connections cannot push the log's
// history out of its rotation. Used on one thread.
class LogSummary
{
public:
    static constexpr qint64 WINDOW_MS = 60000;
    // Addresses followed at once; lines about further ones are counted together, so that a
    // flood from many addresses costs bounded memory too.
    static constexpr int MAX_ADDRESSES = 1024;
    // Milliseconds from any steady start.
    using Clock = std::function<qint64()>;

    // Without a clock, the monotonic one; the minutes' summaries are then written on time by
    // a timer of the application. With one, flush() writes them.
    explicit LogSummary(Clock clock = Clock());
    // The one every connection's lines share.
    static LogSummary &shared();

    // True when the line of `kind` about `address` is to be written now; otherwise it has
    // been counted. `type` is the summary's level.
    bool admit(QtMsgType type, const QString &kind, const QString &address);
    // Writes "KIND … and N more from ADDRESS in the last minute" for each minute that has ended.
    void flush();

private:
    struct Window
    {
        QtMsgType type;
        QString kind;
        QString address;
        qint64 start;
        int more = 0;
    };
    void scheduleFlush();

    Clock clock;
    bool ownClock;
    bool flushScheduled = false;
    QHash<QString, Window> windows;
};
