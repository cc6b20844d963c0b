#include "remote/auth_throttle.h"

bool AuthThrottle::mayTry(const QHostAddress &address) const
{
    const auto it = records.constFind(address);
    return it == records.constEnd() || now() >= it->blockedUntil;
}

void AuthThrottle::failed(const QHostAddress &address)
{
    if (!records.contains(address) && records.size() >= REMEMBERED) {
        // The address that may try again soonest loses least by being forgotten.
        auto oldest = records.begin();
        for (auto it = records.begin(); it != records.end(); ++it) {
            if (it->blockedUntil < oldest->blockedUntil)
                oldest = it;
        }
        records.erase(oldest);
    }
    Record &record = records[address];
    ++record.failures;
    if (record.failures <= FREE_ATTEMPTS)
        return;
    const int doublings = qMin(record.failures - FREE_ATTEMPTS - 1, 16);
    record.blockedUntil = now() + qMin(FIRST_WAIT_MS << doublings, LONGEST_WAIT_MS);
}

void AuthThrottle::succeeded(const QHostAddress &address)
{
    records.remove(address);
}

qint64 AuthThrottle::now() const
{
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}
