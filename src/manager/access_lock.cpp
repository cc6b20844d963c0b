#include "manager/access_lock.h"

#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QTimer>
#include <algorithm>

namespace {

const QString DEFAULT_PASSWORD = QStringLiteral("tulpe");

// Per installation and per password; unpredictable, so that it comes from the system's
// secure source and may hold every byte value.
QByteArray newSalt()
{
    QRandomGenerator *random = QRandomGenerator::system();
    QByteArray salt(random->bounded(AccessLock::MIN_SALT_SIZE, AccessLock::MAX_SALT_SIZE + 1), '\0');
    for (char &byte : salt)
        byte = char(random->bounded(256));
    return salt;
}

bool isLatin1(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 256; });
}

// Hashes stored so far were made from Latin-1 bytes and must stay valid; text outside
// Latin-1 would turn into question marks there, so it is hashed as UTF-8.
QByteArray passwordBytes(const QString &password)
{
    return isLatin1(password) ? password.toLatin1() : password.toUtf8();
}

QByteArray decodedBase64(const QString &text)
{
    const QByteArray::FromBase64Result result = QByteArray::fromBase64Encoding(
        text.trimmed().toLatin1(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    return result ? result.decoded : QByteArray();
}

} // namespace

AccessLock::AccessLock(QObject *parent, int relockDelayMs)
    : QObject(parent)
    , relockTimer(new QTimer(this))
{
    relockTimer->setObjectName(QStringLiteral("relockTimer"));
    relockTimer->setSingleShot(true);
    relockTimer->setInterval(relockDelayMs);
    connect(relockTimer, &QTimer::timeout, this, [this] { setLocked(true); });
    setPassword(DEFAULT_PASSWORD);
}

void AccessLock::setLocked(bool locked)
{
    isLocked = locked;
    emit lockStateChanged(locked);
    if (locked)
        relockTimer->stop();
    else
        relockTimer->start();
}

bool AccessLock::login(const QString &password)
{
    if (hashOf(password) != hash)
        return false;
    setLocked(false);
    return true;
}

bool AccessLock::changePassword(const QString &oldPassword, const QString &newPassword)
{
    if (hashOf(oldPassword) != hash)
        return false;
    setPassword(newPassword);
    setLocked(true);
    return true;
}

void AccessLock::load(const QString &hashBase64, const QString &saltBase64)
{
    const QByteArray storedHash = decodedBase64(hashBase64);
    const QByteArray storedSalt = decodedBase64(saltBase64);
    if (storedHash.size() != HASH_SIZE || storedSalt.size() < MIN_SALT_SIZE) {
        setPassword(DEFAULT_PASSWORD);
        return;
    }
    hash = storedHash;
    salt = storedSalt;
}

void AccessLock::setPassword(const QString &password)
{
    salt = newSalt();
    hash = hashOf(password);
}

QByteArray AccessLock::hashOf(const QString &password) const
{
    return QMessageAuthenticationCode::hash(passwordBytes(password), salt, QCryptographicHash::Sha1);
}
