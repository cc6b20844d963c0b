#pragma once

#include "control/access.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class ApiUsers;

// One-time codes that make a phone or tablet a user of its own: the window opens a code with
// the rights chosen there, the device sends it back once and is given a credential of its
// own, kept on the device. A code works once and for VALID_MS.
//
// Guessing: a code is CODE_DIGITS digits from the system's CSPRNG, at most MAX_OPEN are open
// at once, and after MAX_WRONG wrong codes (from all addresses together) every open code is
// withdrawn. One guess finds one of 16 codes among 10^10 with a chance of 1.6e-9, so the
// 1000 guesses a round allows win with at most 1.6e-6; each further round needs an admin to
// open new codes, and the withdrawal is logged. The per-address throttle slows each guesser
// on top of that.
class DevicePairing : public QObject
{
    Q_OBJECT

public:
    static constexpr int CODE_DIGITS = 10;
    static constexpr qint64 VALID_MS = 5 * 60 * 1000;
    static constexpr int MAX_OPEN = 16;
    static constexpr int MAX_WRONG = 1000;
    // Names of paired devices for which the window gave none: "device-1", "device-2", ...
    static const QString DEFAULT_NAME;

    // The users must outlive the pairing.
    explicit DevicePairing(ApiUsers *users, QObject *parent = nullptr);

    // A new code for a user with these rights (an empty name: one is made when the code is
    // traded); empty, with error, when refused.
    QString open(const Actor &user, QString *error);
    // The new user's credential for a code that is open (spaces and dashes in it are ignored);
    // empty when refused, whatever the reason, so that an answer tells nothing about other
    // codes. The code is spent either way. A credential with an error was made but not saved.
    QString trade(const QString &code, QString *user, QString *error);
    // The window closed without the code being used: it must not outlive the place it was shown.
    void withdraw(const QString &code);
    int openCount();
    // The web remote's address with the code, as a phone opens it; empty while the page is
    // not served.
    QString link(const QString &code) const { return linkFor ? linkFor(code) : QString(); }
    void setLinks(std::function<QString(const QString &code)> links) { linkFor = std::move(links); }

    // For tests: the clock in milliseconds.
    void setClock(std::function<qint64()> clock) { clockOverride = std::move(clock); }

signals:
    void traded(const QString &code, const QString &user);

private:
    struct Grant
    {
        QString code;
        qint64 expires = 0;
        Actor user;
    };

    qint64 now() const;
    void dropExpired();
    // The index of the open code equal to given, comparing every code in full, or -1.
    int find(const QString &given) const;
    QString freeName() const;

    ApiUsers *users;
    QList<Grant> grants;
    int wrong = 0;
    mutable QElapsedTimer clock;
    std::function<qint64()> clockOverride;
    std::function<QString(const QString &)> linkFor;
};
