#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>

// Slows down guessing: after failed attempts from an address, that address has to wait,
// longer after each further failure, before it may try again.
class AuthThrottle
{
public:
    // Failures allowed before the first wait.
    static constexpr int FREE_ATTEMPTS = 3;
    static constexpr qint64 FIRST_WAIT_MS = 1000;
    static constexpr qint64 LONGEST_WAIT_MS = 60000;
    // Addresses remembered at most; the oldest are forgotten first.
    static constexpr int REMEMBERED = 1024;

    bool mayTry(const QHostAddress &address) const;
    void failed(const QHostAddress &address);
    void succeeded(const QHostAddress &address);

private:
    struct Record
    {
        int failures = 0;
        qint64 blockedUntil = 0;
    };

    qint64 now() const;

    QHash<QHostAddress, Record> records;
    mutable QElapsedTimer clock;
};
