#pragma once

#include <QTextStream>

#include <sys/resource.h>

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
