#include "remote/api_users.h"

#include "base/audit_operation.h"
#include "base/audit_scope.h"
#include "base/json_config.h"
#include "base/name_rules.h"

#include <QDebug>
#include <QJsonObject>

const QString ApiUsers::FIRST_ADMIN = QStringLiteral("admin");
const QString ApiUsers::KEY_USERS = QStringLiteral("api/users");
const QString ApiUsers::KEY_SIGN_INS = QStringLiteral("api/sign_ins");

namespace {

const QString NAME = QStringLiteral("name");
const QString ROLE = QStringLiteral("role");
const QString SCREENS = QStringLiteral("screens");
const QString SOURCES = QStringLiteral("sources");
const QString STORED_KEY = QStringLiteral("stored_key");
const QString SERVER_KEY = QStringLiteral("server_key");
const QString AT = QStringLiteral("at");
const QString ADDRESS = QStringLiteral("address");

QStringList textList(const QJsonValue &value)
{
    QStringList out;
    for (const QJsonValue &entry : value.toArray())
        out << entry.toString();
    return out;
}

} // namespace

ApiUsers::ApiUsers(JsonConfig *config, ApiToken *token, QObject *parent)
    : QObject(parent)
    , config(config)
    , token(token)
    , signInSave(this)
{
    load();
    loadSignIns();
    signInSave.setObjectName(QStringLiteral("signInSave"));
    signInSave.setSingleShot(true);
    signInSave.setInterval(SIGN_IN_SAVE_MS);
    connect(&signInSave, &QTimer::timeout, this, &ApiUsers::saveSignIns);
}

ApiUsers::~ApiUsers()
{
    // Written without a word: whoever listens may be half gone by now.
    blockSignals(true);
    saveSignIns();
}

void ApiUsers::load()
{
    users.clear();
    for (const QJsonValue &value : config->jsonValue(KEY_USERS).toArray()) {
        const QJsonObject object = value.toObject();
        User user;
        user.actor.name = object.value(NAME).toString();
        user.actor.screens = textList(object.value(SCREENS));
        user.actor.sources = textList(object.value(SOURCES));
        user.keys.stored = QByteArray::fromBase64(object.value(STORED_KEY).toString().toLatin1());
        user.keys.server = QByteArray::fromBase64(object.value(SERVER_KEY).toString().toLatin1());
        // An entry edited by hand into something else is left out, not given rights it lacks.
        if (!Actor::roleFromName(object.value(ROLE).toString(), &user.actor.role)
            || !fieldsRefusal(user.actor).isEmpty() || indexOf(user.actor.name) >= 0) {
            qWarning().noquote() << "Control API: a user entry in the settings is not valid and is left out";
            continue;
        }
        users.append(user);
    }
}

void ApiUsers::loadSignIns()
{
    Actor known;
    for (const QJsonValue &value : config->jsonValue(KEY_SIGN_INS).toArray()) {
        const QJsonObject object = value.toObject();
        const SignIn last {QDateTime::fromString(object.value(AT).toString(), Qt::ISODate),
            QHostAddress(object.value(ADDRESS).toString()).toString()};
        // Only a user there is, under the spelling the user has now.
        if (last.at.isValid() && actor(object.value(NAME).toString(), &known))
            lastSignIns.insert(known.name, last);
    }
}

void ApiUsers::saveSignIns()
{
    if (!signInSave.isActive())
        return;
    signInSave.stop();
    QJsonArray out;
    for (auto entry = lastSignIns.cbegin(); entry != lastSignIns.cend(); ++entry) {
        out << QJsonObject {
            {NAME, entry.key()}, {AT, entry.value().at.toString(Qt::ISODate)}, {ADDRESS, entry.value().address}};
    }
    // Not written, the sign-ins are still shown; they go with the next write that works.
    config->setValue(KEY_SIGN_INS, out);
    emit changed();
}

bool ApiUsers::save(QString *error)
{
    QJsonArray out;
    for (const User &user : qAsConst(users)) {
        out << QJsonObject {{NAME, user.actor.name}, {ROLE, Actor::roleName(user.actor.role)},
            {SCREENS, QJsonArray::fromStringList(user.actor.screens)},
            {SOURCES, QJsonArray::fromStringList(user.actor.sources)},
            {STORED_KEY, QString::fromLatin1(user.keys.stored.toBase64())},
            {SERVER_KEY, QString::fromLatin1(user.keys.server.toBase64())}};
    }
    emit changed();
    if (config->setValue(KEY_USERS, out))
        return true;
    *error = QStringLiteral("the settings file could not be written; the change holds until the controller stops");
    return false;
}

int ApiUsers::indexOf(const QString &name) const
{
    for (int i = 0; i < users.size(); ++i) {
        if (users.at(i).actor.name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool ApiUsers::recordsSignIn(const QString &name, const QString &address, SignInKind kind, const QDateTime &now)
{
    if (kind == SignInKind::Session)
        return true;
    // A poller or a picture client signs in with every request: a line a minute for it tells
    // as much, and its requests cannot push the trail's history out of its rotation.
    const QString client = name + QLatin1Char('\n') + address;
    const QDateTime last = requestLines.value(client);
    if (last.isValid() && last.secsTo(now) < REQUEST_SIGN_IN_LINE_SECONDS)
        return false;
    // Only signed-in users are kept, by address: forgetting them all costs a line each.
    if (requestLines.size() >= MAX_REQUEST_CLIENTS)
        requestLines.clear();
    requestLines.insert(client, now);
    return true;
}

QString ApiUsers::noted(const QString &name, const QHostAddress &peer, SignInKind kind)
{
    const QString address = peer.toString();
    if (name.isEmpty()) {
        AuditOperation::refusedOften(
            QStringLiteral("sign-in"), QString(), address, QStringLiteral("not_authenticated"));
        return name;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (recordsSignIn(name, address, kind, now)) {
        const AuditScope scope(name, address);
        const AuditOperation record(QStringLiteral("sign-in"), name);
    }
    lastSignIns.insert(name, {now, address});
    // The list shows the first of a burst now and the rest when they are written.
    if (!signInSave.isActive()) {
        signInSave.start();
        emit changed();
    }
    return name;
}

QString ApiUsers::signIn(const QString &credential, const QHostAddress &peer, SignInKind kind)
{
    if (token->verify(credential))
        return noted(FIRST_ADMIN, peer, kind);
    for (const User &user : qAsConst(users)) {
        if (ApiToken::secretMatches(user.keys, credential, salt()))
            return noted(user.actor.name, peer, kind);
    }
    return noted(QString(), peer, kind);
}

QString ApiUsers::signInByProof(
    const QByteArray &message, const QByteArray &proof, QByteArray *serverSignature, const QHostAddress &peer)
{
    if (token->verifyProof(message, proof, serverSignature))
        return noted(FIRST_ADMIN, peer);
    for (const User &user : qAsConst(users)) {
        if (ApiToken::proofMatches(user.keys, message, proof, serverSignature))
            return noted(user.actor.name, peer);
    }
    return noted(QString(), peer);
}

bool ApiUsers::actor(const QString &name, Actor *actor) const
{
    if (name.compare(FIRST_ADMIN, Qt::CaseInsensitive) == 0) {
        *actor = {FIRST_ADMIN, Actor::Role::Admin, {}, {}, {}};
        return true;
    }
    const int index = indexOf(name);
    if (index < 0)
        return false;
    *actor = users.at(index).actor;
    return true;
}

QJsonArray ApiUsers::list() const
{
    QJsonArray out;
    Actor first;
    actor(FIRST_ADMIN, &first);
    QList<Actor> all {first};
    for (const User &user : users)
        all << user.actor;
    for (const Actor &entry : all) {
        QJsonObject object = entry.toJson();
        const SignIn last = lastSignIns.value(entry.name);
        object.insert(QStringLiteral("last_sign_in"),
            last.at.isValid() ? QJsonValue(last.at.toString(Qt::ISODate)) : QJsonValue());
        object.insert(
            QStringLiteral("last_address"), last.address.isEmpty() ? QJsonValue() : QJsonValue(last.address));
        out << object;
    }
    return out;
}

QString ApiUsers::fieldsRefusal(const Actor &user)
{
    if (!NameRules::displayName(user.name) || user.name != user.name.trimmed())
        return QStringLiteral("name must be at most %1 printable characters").arg(NameRules::DISPLAY_NAME_LIMIT);
    if (user.role == Actor::Role::Admin && user.limited())
        return QStringLiteral("an admin has every screen and source");
    return QString();
}

QString ApiUsers::add(const Actor &user, QString *error)
{
    *error = fieldsRefusal(user);
    if (error->isEmpty() && (user.name.compare(FIRST_ADMIN, Qt::CaseInsensitive) == 0 || indexOf(user.name) >= 0))
        *error = QStringLiteral("the name \"%1\" is taken").arg(user.name);
    if (!error->isEmpty())
        return QString();
    if (!token->ensureSalt()) {
        *error = QStringLiteral("the settings file could not be written");
        return QString();
    }
    const QString secret = ApiToken::newSecret();
    users.append({user, ApiToken::keysFor(secret, salt())});
    qInfo().noquote() << "Control API: user" << user.name << "added as" << Actor::roleName(user.role);
    save(error);
    return secret;
}

bool ApiUsers::change(const Actor &user, QString *error)
{
    const int index = indexOf(user.name);
    if (index < 0) {
        *error = user.name.compare(FIRST_ADMIN, Qt::CaseInsensitive) == 0
            ? QStringLiteral("the first admin stays an admin of every screen")
            : QStringLiteral("no user is named \"%1\"").arg(user.name);
        return false;
    }
    *error = fieldsRefusal(user);
    if (!error->isEmpty())
        return false;
    const QString name = users.at(index).actor.name;
    users[index].actor = user;
    users[index].actor.name = name;
    qInfo().noquote() << "Control API: user" << name << "changed to" << Actor::roleName(user.role);
    save(error);
    emit ended(name, QStringLiteral("the user's rights were changed; sign in again"));
    return true;
}

bool ApiUsers::revoke(const QString &name, QString *error)
{
    const int index = indexOf(name);
    if (index < 0) {
        *error = name.compare(FIRST_ADMIN, Qt::CaseInsensitive) == 0
            ? QStringLiteral("the first admin cannot be revoked; make it a new credential instead")
            : QStringLiteral("no user is named \"%1\"").arg(name);
        return false;
    }
    const QString gone = users.takeAt(index).actor.name;
    if (lastSignIns.remove(gone) > 0 && !signInSave.isActive())
        signInSave.start();
    qInfo().noquote() << "Control API: user" << gone << "revoked";
    // Out of memory first: a file that cannot be written must not keep the user signed in.
    save(error);
    emit ended(gone, QStringLiteral("the user was revoked"));
    return true;
}

QString ApiUsers::newCredential(const QString &name, QString *error)
{
    QString secret;
    QString user;
    if (name.compare(FIRST_ADMIN, Qt::CaseInsensitive) == 0) {
        user = FIRST_ADMIN;
        secret = token->regenerate();
        if (secret.isEmpty())
            *error = QStringLiteral("the settings file could not be written");
        emit changed();
    } else {
        const int index = indexOf(name);
        if (index < 0) {
            *error = QStringLiteral("no user is named \"%1\"").arg(name);
            return QString();
        }
        user = users.at(index).actor.name;
        secret = ApiToken::newSecret();
        users[index].keys = ApiToken::keysFor(secret, salt());
        save(error);
    }
    qInfo().noquote() << "Control API: a new credential was made for" << user;
    emit ended(user, user == FIRST_ADMIN ? QStringLiteral("a new token was made") : QStringLiteral("a new credential was made"));
    return secret;
}
