#include "remote/api_token.h"

#include "base/json_config.h"
#include "remote/api_settings.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

namespace {

const QByteArray CLIENT_KEY_LABEL = QByteArrayLiteral("Client Key");
const QByteArray SERVER_KEY_LABEL = QByteArrayLiteral("Server Key");

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

QByteArray hmac(const QByteArray &key, const QByteArray &message)
{
    return QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Sha256);
}

// What the token is stretched to; files from before the stored keys kept exactly this.
QByteArray saltedOf(const QString &token, const QByteArray &saltBase64)
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

QByteArray xorBytes(const QByteArray &a, const QByteArray &b)
{
    QByteArray out(a.size(), Qt::Uninitialized);
    for (int i = 0; i < a.size(); ++i)
        out[i] = char(a.at(i) ^ b.at(i));
    return out;
}

} // namespace

ApiToken::ApiToken(JsonConfig *config)
    : config(config)
{
}

QString ApiToken::newSecret()
{
    static_assert(TOKEN_BYTES % sizeof(quint32) == 0 && SALT_BYTES % sizeof(quint32) == 0, "whole words");
    return QString::fromLatin1(
        randomBytes(TOKEN_BYTES).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

ApiToken::Keys ApiToken::keysFor(const QString &secret, const QByteArray &salt)
{
    const QByteArray salted = saltedOf(secret, salt);
    return {sha256(hmac(salted, CLIENT_KEY_LABEL)), hmac(salted, SERVER_KEY_LABEL)};
}

bool ApiToken::ensureSalt()
{
    if (!salt().isEmpty())
        return true;
    return config->setValue(ApiSettings::KEY_TOKEN_SALT, QString::fromLatin1(randomBytes(SALT_BYTES).toBase64()));
}

QString ApiToken::regenerate()
{
    const QString token = newSecret();
    config->beginBatch();
    ensureSalt();
    const Keys made = keysFor(token, salt());
    config->setValue(ApiSettings::KEY_TOKEN_STORED_KEY, QString::fromLatin1(made.stored.toBase64()));
    config->setValue(ApiSettings::KEY_TOKEN_SERVER_KEY, QString::fromLatin1(made.server.toBase64()));
    config->setValue(ApiSettings::KEY_TOKEN_HASH, QString());
    if (!config->endBatch())
        return QString();
    return token;
}

bool ApiToken::isSet() const
{
    const Keys k = keys();
    return !salt().isEmpty() && !k.stored.isEmpty() && !k.server.isEmpty();
}

bool ApiToken::verify(const QString &token) const
{
    return isSet() && secretMatches(keys(), token, salt());
}

bool ApiToken::secretMatches(const Keys &keys, const QString &secret, const QByteArray &salt)
{
    return !keys.stored.isEmpty() && sameBytes(sha256(clientKey(secret, salt)), keys.stored);
}

QByteArray ApiToken::salt() const
{
    return config->value(ApiSettings::KEY_TOKEN_SALT, QString()).toLatin1();
}

QByteArray ApiToken::authMessage(const QByteArray &salt, const QByteArray &challenge, const QByteArray &clientNonce)
{
    return salt + ',' + challenge + ',' + clientNonce;
}

bool ApiToken::verifyProof(const QByteArray &message, const QByteArray &proof, QByteArray *serverSignature) const
{
    return isSet() && proofMatches(keys(), message, proof, serverSignature);
}

bool ApiToken::proofMatches(const Keys &k, const QByteArray &message, const QByteArray &proof, QByteArray *serverSignature)
{
    if (k.stored.isEmpty() || k.server.isEmpty())
        return false;
    const QByteArray presented = QByteArray::fromBase64(proof);
    const QByteArray signature = hmac(k.stored, message);
    if (presented.size() != signature.size())
        return false;
    // Whoever knows only the stored key can make the signature but not the client key
    // behind it: that takes the token.
    if (!sameBytes(sha256(xorBytes(presented, signature)), k.stored))
        return false;
    if (serverSignature)
        *serverSignature = hmac(k.server, message).toBase64();
    return true;
}

bool ApiToken::migrate()
{
    const QByteArray old = config->value(ApiSettings::KEY_TOKEN_HASH, QString()).toLatin1();
    if (old.isEmpty())
        return false;
    config->beginBatch();
    config->setValue(
        ApiSettings::KEY_TOKEN_STORED_KEY, QString::fromLatin1(sha256(hmac(old, CLIENT_KEY_LABEL)).toBase64()));
    config->setValue(ApiSettings::KEY_TOKEN_SERVER_KEY, QString::fromLatin1(hmac(old, SERVER_KEY_LABEL).toBase64()));
    config->setValue(ApiSettings::KEY_TOKEN_HASH, QString());
    if (!config->endBatch()) {
        qWarning() << "Control API: the token's stored keys could not be written; the settings file still holds a"
                      " value from which a sign-in can be made";
        return false;
    }
    qInfo()
        << "Control API: the token's stored value was replaced by keys that cannot sign in; the token stays the same";
    return true;
}

QByteArray ApiToken::clientKey(const QString &token, const QByteArray &salt)
{
    return hmac(saltedOf(token, salt), CLIENT_KEY_LABEL);
}

QByteArray ApiToken::proofFor(const QString &token, const QByteArray &salt, const QByteArray &message)
{
    const QByteArray key = clientKey(token, salt);
    return xorBytes(key, hmac(sha256(key), message)).toBase64();
}

ApiToken::Keys ApiToken::keys() const
{
    // A file not yet migrated (or one that could not be written) still checks the same.
    const QByteArray old = config->value(ApiSettings::KEY_TOKEN_HASH, QString()).toLatin1();
    if (!old.isEmpty())
        return {sha256(hmac(old, CLIENT_KEY_LABEL)), hmac(old, SERVER_KEY_LABEL)};
    return {QByteArray::fromBase64(config->value(ApiSettings::KEY_TOKEN_STORED_KEY, QString()).toLatin1()),
        QByteArray::fromBase64(config->value(ApiSettings::KEY_TOKEN_SERVER_KEY, QString()).toLatin1())};
}
