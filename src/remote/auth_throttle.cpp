#include "remote/auth_throttle.h"

qint64 AuthThrottle::failed(const QHostAddress &address)
{
    const qint64 at = now();
    if (!records.contains(address) && records.size() >= REMEMBERED) {
        // The address whose failures fade first loses least by being forgotten.
        auto quietest = records.begin();
        for (auto it = records.begin(); it != records.end(); ++it) {
            if (it->last < quietest->last)
                quietest = it;
        }
        records.erase(quietest);
    }
    Record &record = records[address];
    record.failures = fadedFailures(record) + 1;
    record.last = at;
    if (record.failures <= FREE_FAILURES)
        return 0;
    const int doublings = qMin(record.failures - FREE_FAILURES - 1, 16);
    return qMin(FIRST_WAIT_MS << doublings, LONGEST_WAIT_MS);
}

int AuthThrottle::failures(const QHostAddress &address) const
{
    const auto it = records.constFind(address);
    return it == records.constEnd() ? 0 : fadedFailures(*it);
}

int AuthThrottle::fadedFailures(const Record &record) const
{
    const qint64 forgotten = (now() - record.last) / FORGET_ONE_MS;
    return int(qMax<qint64>(0, record.failures - forgotten));
}

qint64 AuthThrottle::now() const
{
    if (clockOverride)
        return clockOverride();
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}
