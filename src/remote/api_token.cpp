#include "remote/api_token.h"

#include "base/json_config.h"
#include "remote/api_settings.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace {

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), count / int(sizeof(quint32)));
    return bytes;
}

QByteArray sha256(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256);
}

// The secret both the stored hash and the challenge answer are made from.
QByteArray secretOf(const QString &token, const QByteArray &saltBase64)
{
    return sha256(token.toUtf8() + saltBase64).toBase64();
}

// Every byte is looked at whatever the content, so the time taken tells nothing but the length.
bool sameBytes(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (int i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    return difference == 0;
}

} // namespace

ApiToken::ApiToken(JsonConfig *config)
    : config(config)
{
}

QString ApiToken::regenerate()
{
    static_assert(TOKEN_BYTES % sizeof(quint32) == 0 && SALT_BYTES % sizeof(quint32) == 0, "whole words");
    const QString token = QString::fromLatin1(
        randomBytes(TOKEN_BYTES).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    const QByteArray newSalt = randomBytes(SALT_BYTES).toBase64();
    config->beginBatch();
    config->setValue(ApiSettings::KEY_TOKEN_SALT, QString::fromLatin1(newSalt));
    config->setValue(ApiSettings::KEY_TOKEN_HASH, QString::fromLatin1(secretOf(token, newSalt)));
    if (!config->endBatch())
        return QString();
    return token;
}

bool ApiToken::isSet() const
{
    return !salt().isEmpty() && !storedSecret().isEmpty();
}

bool ApiToken::verify(const QString &token) const
{
    return isSet() && sameBytes(secretOf(token, salt()), storedSecret());
}

QByteArray ApiToken::salt() const
{
    return config->value(ApiSettings::KEY_TOKEN_SALT, QString()).toLatin1();
}

bool ApiToken::verifyChallenge(const QByteArray &challenge, const QByteArray &response) const
{
    if (!isSet() || challenge.isEmpty())
        return false;
    return sameBytes(sha256(storedSecret() + challenge).toBase64(), response);
}

QByteArray ApiToken::storedSecret() const
{
    return config->value(ApiSettings::KEY_TOKEN_HASH, QString()).toLatin1();
}
