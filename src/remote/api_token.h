#pragma once

#include <QByteArray>
#include <QString>

class JsonConfig;

// The secret a control client proves it knows. Only a salt and a salted SHA-256 hash are
// stored; the token itself exists once, in the answer of regenerate(), and is never logged.
class ApiToken
{
public:
    static constexpr int TOKEN_BYTES = 24;
    static constexpr int SALT_BYTES = 16;

    // The store must outlive this object.
    explicit ApiToken(JsonConfig *config);

    // A new random token (base64url); the one before stops working at once. Empty when
    // the settings file could not be written (the new token then works only until the end).
    QString regenerate();
    bool isSet() const;
    // Constant time in the content of the token.
    bool verify(const QString &token) const;
    // Base64.
    QByteArray salt() const;
    // For a challenge the server sent, the client answers base64(sha256(secret + challenge))
    // with secret = base64(sha256(token + salt)), both hashed as UTF-8 text, so that the
    // token never crosses the wire.
    bool verifyChallenge(const QByteArray &challenge, const QByteArray &response) const;

private:
    QByteArray storedSecret() const;

    JsonConfig *config;
};
