#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

// What a command asks of whoever sends it. Each command names one in its table.
enum class Right { View, Operate, Administer };

// Who sends a command and what they may do. A user limited to screens may operate only
// those decoders and walls (a wall brings its decoders); one limited to sources may show
// only those encoders. Limits bound the commands that need Operate; viewing is never limited.
struct Actor
{
    enum class Role { Viewer, Operator, Admin };

    QString name;
    Role role = Role::Viewer;
    // Device names; empty for every screen, every source.
    QStringList screens;
    QStringList sources;
    // Where the actor's commands come from (a client's address), for the audit trail; not a right.
    QString address;

    // The person at the window: it stands behind the settings password, so it may do everything.
    static Actor window();

    bool may(Right right) const;
    bool limited() const { return !screens.isEmpty() || !sources.isEmpty(); }

    static QString roleName(Role role);
    // False for a name that is no role.
    static bool roleFromName(const QString &name, Role *role);
    // {name, role, screens, sources}: what a client is told about itself.
    QJsonObject toJson() const;
};
