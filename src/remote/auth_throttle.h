#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>

#include <functional>

// Slows down guessing without locking anyone out: a right credential is always checked and
// taken at once, whatever else came from its address (behind a NAT or a proxy, many clients
// share one). Only failures count, and they fade: each failure from an address past the
// first few makes the answer to the next failure from there wait longer, so a guesser gets
// few tries a second while a client with the right token never waits.
class AuthThrottle
{
public:
    // Failures answered at once.
    static constexpr int FREE_FAILURES = 3;
    static constexpr qint64 FIRST_WAIT_MS = 250;
    // Short of the sign-in deadline, so that a delayed refusal still reaches the client.
    static constexpr qint64 LONGEST_WAIT_MS = 4000;
    // One failure is forgotten after each such period without further ones.
    static constexpr qint64 FORGET_ONE_MS = 10000;
    // Addresses remembered at most; the quietest are forgotten first.
    static constexpr int REMEMBERED = 1024;

    // Records a failure from address: how long its answer waits.
    qint64 failed(const QHostAddress &address);
    // Failures from address still counted now.
    int failures(const QHostAddress &address) const;

    // For tests: the clock in milliseconds.
    void setClock(std::function<qint64()> clock) { clockOverride = std::move(clock); }

private:
    struct Record
    {
        int failures = 0;
        qint64 last = 0;
    };

    qint64 now() const;
    // What is left of the record after the time since its last failure.
    int fadedFailures(const Record &record) const;

    QHash<QHostAddress, Record> records;
    mutable QElapsedTimer clock;
    std::function<qint64()> clockOverride;
};
