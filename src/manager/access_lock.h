#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QTimer;

// The settings password: kept only as a salted HMAC-SHA1, it unlocks the settings, which
// lock again a fixed time after the unlock. The lock is a flag for the interface; nothing
// else checks it.
class AccessLock : public QObject
{
    Q_OBJECT

public:
    static constexpr int RELOCK_DELAY_MS = 15 * 60 * 1000;
    static constexpr int HASH_SIZE = 20;
    static constexpr int MIN_SALT_SIZE = 10;
    static constexpr int MAX_SALT_SIZE = 14;

    // Starts locked, with the default password in force under a fresh salt.
    explicit AccessLock(QObject *parent = nullptr, int relockDelayMs = RELOCK_DELAY_MS);

    bool locked() const { return isLocked; }
    // Announces the state every time; an unlock (re)starts the relock countdown.
    void setLocked(bool locked);

    // Unlocks when the password matches.
    bool login(const QString &password);
    // Takes a new salt and hash and locks; the owner saves them.
    bool changePassword(const QString &oldPassword, const QString &newPassword);

    // Stored data that cannot be a hash and its salt gives way to the default password.
    void load(const QString &hashBase64, const QString &saltBase64);
    QString hashBase64() const { return QString::fromLatin1(hash.toBase64()); }
    QString saltBase64() const { return QString::fromLatin1(salt.toBase64()); }

signals:
    void lockStateChanged(bool locked);

private:
    void setPassword(const QString &password);
    QByteArray hashOf(const QString &password) const;

    bool isLocked = true;
    QByteArray salt;
    QByteArray hash;
    QTimer *relockTimer;
};
