#include "remote/device_pairing.h"

#include "remote/api_users.h"

#include <QDebug>
#include <QRandomGenerator>

#include <algorithm>

const QString DevicePairing::DEFAULT_NAME = QStringLiteral("device-%1");

DevicePairing::DevicePairing(ApiUsers *users, QObject *parent)
    : QObject(parent)
    , users(users)
{
}

qint64 DevicePairing::now() const
{
    if (clockOverride)
        return clockOverride();
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

void DevicePairing::dropExpired()
{
    const qint64 at = now();
    for (int i = grants.size() - 1; i >= 0; --i) {
        if (grants.at(i).expires <= at)
            grants.removeAt(i);
    }
    // Wrong guesses count against the codes open now; a fresh start gets the whole budget.
    if (grants.isEmpty())
        wrong = 0;
}

int DevicePairing::openCount()
{
    dropExpired();
    return grants.size();
}

QString DevicePairing::open(const Actor &user, QString *error)
{
    dropExpired();
    if (grants.size() >= MAX_OPEN) {
        *error = QStringLiteral("%1 pairing codes are open already; use one or let it expire").arg(MAX_OPEN);
        return QString();
    }
    Actor checked = user;
    // The name made at the trade is of the same kind as the first one.
    if (checked.name.isEmpty())
        checked.name = DEFAULT_NAME.arg(1);
    *error = ApiUsers::fieldsRefusal(checked);
    Actor known;
    bool taken = !user.name.isEmpty() && users->actor(user.name, &known);
    for (const Grant &grant : qAsConst(grants))
        taken = taken || (!user.name.isEmpty() && grant.user.name.compare(user.name, Qt::CaseInsensitive) == 0);
    if (error->isEmpty() && taken)
        *error = QStringLiteral("the name \"%1\" is taken").arg(user.name);
    if (!error->isEmpty())
        return QString();
    QString code;
    do {
        code.clear();
        for (int i = 0; i < CODE_DIGITS; ++i)
            code += QLatin1Char(char('0' + QRandomGenerator::system()->bounded(10)));
    } while (find(code) >= 0);
    grants.append({code, now() + VALID_MS, user});
    qInfo().noquote() << "Control API: a pairing code was opened for the role" << Actor::roleName(user.role);
    return code;
}

int DevicePairing::find(const QString &given) const
{
    int found = -1;
    for (int i = 0; i < grants.size(); ++i) {
        // Every code in full, so that the time taken tells nothing about how much of one matched.
        const QString &code = grants.at(i).code;
        ushort difference = ushort(given.size() ^ code.size());
        for (int c = 0; c < code.size(); ++c)
            difference |= ushort(code.at(c).unicode() ^ (c < given.size() ? given.at(c).unicode() : 0));
        if (difference == 0)
            found = i;
    }
    return found;
}

QString DevicePairing::trade(const QString &given, QString *user, QString *error)
{
    dropExpired();
    QString code;
    for (const QChar c : given) {
        if (c != QLatin1Char('-') && !c.isSpace())
            code += c;
    }
    const bool wellFormed = code.size() == CODE_DIGITS && std::all_of(code.cbegin(), code.cend(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    const int index = wellFormed ? find(code) : -1;
    if (index < 0) {
        *error = QStringLiteral("the code is wrong, used or expired");
        // Only a guess that could have hit counts; text that is no code guesses nothing.
        if (wellFormed && !grants.isEmpty() && ++wrong >= MAX_WRONG) {
            qWarning().noquote() << "Control API:" << wrong
                                 << "wrong pairing codes; every open code is withdrawn. Open a new one to pair.";
            grants.clear();
            wrong = 0;
        }
        return QString();
    }
    Actor made = grants.takeAt(index).user;
    if (made.name.isEmpty())
        made.name = freeName();
    const QString credential = users->add(made, error);
    if (credential.isEmpty())
        return QString();
    *user = made.name;
    qInfo().noquote() << "Control API: a device was paired as" << made.name;
    emit traded(code, made.name);
    return credential;
}

void DevicePairing::withdraw(const QString &code)
{
    const int index = find(code);
    if (index >= 0)
        grants.removeAt(index);
}

QString DevicePairing::freeName() const
{
    Actor known;
    int n = 1;
    while (users->actor(DEFAULT_NAME.arg(n), &known))
        ++n;
    return DEFAULT_NAME.arg(n);
}
