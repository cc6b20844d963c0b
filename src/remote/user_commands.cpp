#include "remote/user_commands.h"

#include "control/command_set.h"
#include "remote/api_users.h"
#include "remote/device_pairing.h"

#include <QJsonArray>

namespace {

const QString NAME = QStringLiteral("name");
const QString CREDENTIAL = QStringLiteral("credential");

// A change made but not saved says so beside its answer.
RemoteAnswer done(QJsonObject result, const QString &note)
{
    if (!note.isEmpty())
        result.insert(QStringLiteral("note"), note);
    return RemoteAnswer::success(result);
}

} // namespace

UserCommands::UserCommands(ApiUsers *users, const CommandSet *core, DevicePairing *pairing, QObject *parent)
    : CommandExtension(parent)
    , users(users)
    , core(core)
    , pairing(pairing)
{
}

QVector<CommandEntry> UserCommands::methods() const
{
    return {{QStringLiteral("users.list"), Right::Administer}, {QStringLiteral("users.add"), Right::Administer},
        {QStringLiteral("users.change"), Right::Administer}, {QStringLiteral("users.revoke"), Right::Administer},
        {QStringLiteral("users.credential"), Right::Administer}, {QStringLiteral("users.pair"), Right::Administer}};
}

RemoteAnswer UserCommands::execute(const QString &method, const QJsonObject &params)
{
    if (method == QLatin1String("users.list"))
        return RemoteAnswer::success(users->list());
    if (method == QLatin1String("users.pair"))
        return pair(params);
    QString error;
    const QString name = params.value(NAME).toString().trimmed();
    if (method == QLatin1String("users.revoke")) {
        if (!users->revoke(name, &error))
            return RemoteAnswer::failure(refusedCode(name), error);
        return done(QJsonObject {{NAME, name}}, error);
    }
    if (method == QLatin1String("users.credential")) {
        const QString credential = users->newCredential(name, &error);
        if (credential.isEmpty())
            return RemoteAnswer::failure(refusedCode(name), error);
        return done(QJsonObject {{NAME, name}, {CREDENTIAL, credential}}, error);
    }
    Actor user;
    const RemoteAnswer read = readUser(params, &user);
    if (!read.ok)
        return read;
    if (method == QLatin1String("users.change")) {
        if (!users->change(user, &error))
            return RemoteAnswer::failure(refusedCode(user.name), error);
        return done(entry(user.name), error);
    }
    const QString credential = users->add(user, &error);
    if (credential.isEmpty())
        return RemoteAnswer::failure(Refused, error);
    return done(QJsonObject {{QStringLiteral("user"), entry(user.name)}, {CREDENTIAL, credential}}, error);
}

RemoteAnswer UserCommands::pair(const QJsonObject &params)
{
    Actor user;
    const RemoteAnswer read = readUser(params, &user, false);
    if (!read.ok)
        return read;
    QString error;
    const QString code = pairing->open(user, &error);
    if (code.isEmpty())
        return RemoteAnswer::failure(Refused, error);
    const QString link = pairing->link(code);
    // A code no phone can reach would only wait to be guessed.
    if (link.isEmpty()) {
        pairing->withdraw(code);
        return RemoteAnswer::failure(Refused, QStringLiteral("the web remote is off; switch the control API on first"));
    }
    return RemoteAnswer::success(QJsonObject {{QStringLiteral("code"), code}, {QStringLiteral("link"), link},
        {QStringLiteral("valid_seconds"), int(DevicePairing::VALID_MS / 1000)}});
}

RemoteAnswer UserCommands::readUser(const QJsonObject &params, Actor *user, bool nameNeeded) const
{
    user->name = params.value(NAME).toString().trimmed();
    if (user->name.isEmpty() && nameNeeded)
        return RemoteAnswer::failure(BadArguments, QStringLiteral("name is missing"));
    if (!Actor::roleFromName(params.value(QStringLiteral("role")).toString(), &user->role))
        return RemoteAnswer::failure(BadArguments, QStringLiteral("role is one of viewer, operator, admin"));
    for (const auto &kind : {qMakePair(QStringLiteral("screens"), &user->screens),
             qMakePair(QStringLiteral("sources"), &user->sources)}) {
        const QJsonValue value = params.value(kind.first);
        if (!value.isUndefined() && !value.isNull() && !value.isArray())
            return RemoteAnswer::failure(BadArguments, QStringLiteral("%1 is a list of names").arg(kind.first));
        const bool screens = kind.first == QLatin1String("screens");
        for (const QJsonValue &given : value.toArray()) {
            const QString name = screens ? core->screenName(given.toString()) : core->sourceName(given.toString());
            if (name.isEmpty())
                return RemoteAnswer::failure(NotFound,
                    QStringLiteral("no %1 is named \"%2\"")
                        .arg(screens ? QStringLiteral("decoder or wall") : QStringLiteral("encoder"), given.toString()));
            if (!kind.second->contains(name))
                *kind.second << name;
        }
    }
    return RemoteAnswer::success();
}

int UserCommands::refusedCode(const QString &name) const
{
    Actor known;
    return users->actor(name, &known) ? Refused : NotFound;
}

QJsonObject UserCommands::entry(const QString &name) const
{
    for (const QJsonValue &user : users->list()) {
        if (user.toObject().value(NAME).toString().compare(name, Qt::CaseInsensitive) == 0)
            return user.toObject();
    }
    return {};
}
