#pragma once

#include "control/access.h"
#include "remote/api_token.h"

#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QJsonArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class JsonConfig;

// Who may use the control API. The first admin, "admin", is the token the settings page and
// --new-api-token make (ApiToken, where files from before the users keep it); every other
// user is kept under "api/users" with its role, its limits and the keys of a credential of
// its own, derived as the token's are with the installation's salt. Nothing kept signs in.
// A sign-in names no user: the credential finds its own. The last sign-in of each user is
// kept under "api/sign_ins", written at most once a minute and at the end: a client that
// signs in again and again must not turn into a write of the settings file each time.
class ApiUsers : public QObject
{
    Q_OBJECT

public:
    static const QString FIRST_ADMIN;
    static const QString KEY_USERS;
    static const QString KEY_SIGN_INS;
    static constexpr int SIGN_IN_SAVE_MS = 60 * 1000;

    // The store and the token must outlive the users.
    ApiUsers(JsonConfig *config, ApiToken *token, QObject *parent = nullptr);
    // Writes the sign-ins not yet written.
    ~ApiUsers() override;

    QByteArray salt() const { return token->salt(); }
    // How often a client that signs in with every request (HTTP) has a line in the audit trail.
    static constexpr int REQUEST_SIGN_IN_LINE_SECONDS = 60;
    enum class SignInKind { Session, Request };

    // The name of the user the credential belongs to, or empty; a sign-in is noted.
    QString signIn(const QString &credential, const QHostAddress &peer, SignInKind kind = SignInKind::Session);
    // The same for a proof over authMessage (see ApiToken).
    QString signInByProof(const QByteArray &authMessage, const QByteArray &proof, QByteArray *serverSignature,
        const QHostAddress &peer);
    // The user's rights now; false once the user is gone.
    bool actor(const QString &name, Actor *actor) const;

    // [{name, role, screens, sources, last_sign_in, last_address}], the first admin first.
    QJsonArray list() const;
    // The new user's credential, to be shown once; empty, with error, when refused. A
    // credential with an error was made but not saved: it works until the controller stops.
    QString add(const Actor &user, QString *error);
    // Role and limits of a user other than the first admin. False, with error, when refused;
    // true with an error when done but not saved.
    bool change(const Actor &user, QString *error);
    bool revoke(const QString &name, QString *error);
    // A new credential for the user, as add() answers; the old one stops working.
    QString newCredential(const QString &name, QString *error);
    // Refusal text for a user's fields; empty when they are right.
    static QString fieldsRefusal(const Actor &user);

    // Writes the sign-ins noted since the last write, if any; the timer calls it.
    void saveSignIns();

signals:
    // Every session of the user ends: revoked, changed or given a new credential.
    void ended(const QString &name, const QString &reason);
    // The users or what list() tells of them changed, a sign-in included.
    void changed();

private:
    struct User
    {
        Actor actor;
        ApiToken::Keys keys;
    };
    struct SignIn
    {
        QDateTime at;
        QString address;
    };

    void load();
    void loadSignIns();
    bool save(QString *error);
    int indexOf(const QString &name) const;
    // Notes the sign-in of the user, or with no name a refused one; answers the name.
    QString noted(const QString &name, const QHostAddress &peer, SignInKind kind = SignInKind::Session);
    // Whether this sign-in has a line in the audit trail.
    bool recordsSignIn(const QString &name, const QString &address, SignInKind kind, const QDateTime &now);
    JsonConfig *config;
    ApiToken *token;
    QList<User> users;
    QHash<QString, SignIn> lastSignIns;
    // When each user's requests from each address last had a sign-in line.
    QHash<QString, QDateTime> requestLines;
    static constexpr int MAX_REQUEST_CLIENTS = 1024;
    // Started by the first sign-in not yet written; its end writes them all.
    QTimer signInSave;
};
