#pragma once

#include <QByteArray>
#include <QString>

class JsonConfig;

// The secret a control client proves it knows. What is stored can check a proof but not make
// one: from the token and its salt a client derives
//     salted    = base64(sha256(token + salt))          (UTF-8 text, salt as stored)
//     clientKey = HMAC-SHA256(salted, "Client Key")
//     serverKey = HMAC-SHA256(salted, "Server Key")
// and only sha256(clientKey) (the stored key) and serverKey are kept, so a copy of the
// settings file signs nobody in. On the WebSocket the client sends
//     proof = clientKey XOR HMAC-SHA256(storedKey, authMessage)
// and the server answers HMAC-SHA256(serverKey, authMessage), so the client learns that the
// other end holds the keys too. The token itself exists once, in the answer of regenerate().
class ApiToken
{
public:
    static constexpr int TOKEN_BYTES = 24;
    static constexpr int SALT_BYTES = 16;
    // Longest client nonce taken, in bytes of its text.
    static constexpr int MAX_NONCE_BYTES = 256;

    // The store must outlive this object.
    explicit ApiToken(JsonConfig *config);

    // A new random token (base64url); the one before stops working at once. The salt stays,
    // as the other users' keys hang on it. Empty when the settings file could not be written
    // (the new token then works only until the end).
    QString regenerate();
    bool isSet() const;
    // Constant time in the content of the token.
    bool verify(const QString &token) const;
    // Base64.
    QByteArray salt() const;

    // What the proof of one sign-in covers: the salt and challenge as the server sent them
    // and the client's own nonce, so that neither side alone chooses what is signed.
    static QByteArray authMessage(const QByteArray &salt, const QByteArray &challenge, const QByteArray &clientNonce);
    // True when proof (base64) shows knowledge of the client key for authMessage; then
    // serverSignature (base64) is what tells the client the server holds the keys too.
    bool verifyProof(const QByteArray &authMessage, const QByteArray &proof, QByteArray *serverSignature) const;

    // A file from before the stored keys holds the salted value itself, from which a proof can
    // be made; the keys are derived from it and it is erased, so the token in use goes on
    // working. False when there was nothing to do or the file could not be written (the keys
    // are then derived again from the old value on every check).
    bool migrate();

    // The client's side, for tools and tests.
    static QByteArray clientKey(const QString &token, const QByteArray &salt);
    static QByteArray proofFor(const QString &token, const QByteArray &salt, const QByteArray &authMessage);

    // What is kept of one credential: the keys of the token above, for the other users too.
    struct Keys
    {
        QByteArray stored;
        QByteArray server;
    };
    // A new random secret in the token's form.
    static QString newSecret();
    static Keys keysFor(const QString &secret, const QByteArray &salt);
    // Constant time in the content of the secret.
    static bool secretMatches(const Keys &keys, const QString &secret, const QByteArray &salt);
    static bool proofMatches(
        const Keys &keys, const QByteArray &authMessage, const QByteArray &proof, QByteArray *serverSignature);
    // The installation's salt, made now if there is none yet (false when it cannot be stored).
    // Every user's keys are derived with it, so the greeting can carry it before a client
    // says who it is; the credentials are random, which leaves a salt per user nothing to add.
    bool ensureSalt();

private:
    Keys keys() const;

    JsonConfig *config;
};
