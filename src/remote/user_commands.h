#pragma once

#include "control/command_extension.h"

class ApiUsers;
class CommandSet;
class DevicePairing;

// The admins' commands on the users:
//  "users.list" {} -> [{name, role, screens, sources, last_sign_in, last_address}]
//  "users.add" {name, role, screens?, sources?} -> {user, credential}
//  "users.change" {name, role, screens?, sources?} -> the user
//  "users.revoke" {name}, "users.credential" {name} -> {name, credential}
//  "users.pair" {role, screens?, sources?, name?} -> {code, link, valid_seconds}: a one-time
//  code a phone or tablet trades for a user of its own with these rights (see DevicePairing)
// Screens are decoders and walls, sources encoders, by name or alias; they are kept by
// device name, so that a rename moves no rights. A credential is in one answer only.
class UserCommands : public CommandExtension
{
    Q_OBJECT

public:
    // All must outlive the commands.
    UserCommands(ApiUsers *users, const CommandSet *core, DevicePairing *pairing, QObject *parent = nullptr);

    QVector<CommandEntry> methods() const override;
    RemoteAnswer execute(const QString &method, const QJsonObject &params) override;
    QJsonObject state() const override { return {}; }

private:
    // The user the params describe, with screens and sources by device name.
    RemoteAnswer readUser(const QJsonObject &params, Actor *user, bool nameNeeded = true) const;
    RemoteAnswer pair(const QJsonObject &params);
    QJsonObject entry(const QString &name) const;
    // Refused for a user there is, not found for one there is not.
    int refusedCode(const QString &name) const;

    ApiUsers *users;
    const CommandSet *core;
    DevicePairing *pairing;
};
