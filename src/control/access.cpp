#include "control/access.h"

#include <QJsonArray>

Actor Actor::window()
{
    return {QStringLiteral("window"), Role::Admin, {}, {}, {}};
}

bool Actor::may(Right right) const
{
    switch (right) {
    case Right::View:
        return true;
    case Right::Operate:
        return role != Role::Viewer;
    case Right::Administer:
        return role == Role::Admin;
    }
    return false;
}

QString Actor::roleName(Role role)
{
    switch (role) {
    case Role::Viewer:
        return QStringLiteral("viewer");
    case Role::Operator:
        return QStringLiteral("operator");
    case Role::Admin:
        return QStringLiteral("admin");
    }
    return QString();
}

bool Actor::roleFromName(const QString &name, Role *role)
{
    for (const Role candidate : {Role::Viewer, Role::Operator, Role::Admin}) {
        if (name == roleName(candidate)) {
            *role = candidate;
            return true;
        }
    }
    return false;
}

QJsonObject Actor::toJson() const
{
    return {{QStringLiteral("name"), name}, {QStringLiteral("role"), roleName(role)},
        {QStringLiteral("screens"), QJsonArray::fromStringList(screens)},
        {QStringLiteral("sources"), QJsonArray::fromStringList(sources)}};
}
