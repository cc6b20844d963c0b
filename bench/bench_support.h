#pragma once

#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>

// What every benchmark prints with and measures by.

inline QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

// User and system CPU time of this process so far.
inline double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU time of the calling thread so far: the controller's own work runs on its event-loop
// thread, while other threads (Qt's network thread, the decoders) add their own load.
inline double threadCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Microseconds on the system's monotonic clock, which every process and network namespace
// of the machine shares, so that times taken in two processes can be compared.
inline qint64 monotonicMicroseconds()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// Runs the event loop for a while without spinning, so that idle time costs no CPU.
inline void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}
