#pragma once

#include "control/access.h"
#include "control/command_answer.h"
#include "control/command_extension.h"
#include "models/device_base.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

class DeviceListModel;
class DeviceManager;
class RxDevice;
class VWDevice;

// The one command set of the control API: executes commands on the manager and reports
// each change of the installation once, whoever made it (a client, the window, a device).
// GUI thread only; transports frame commands and events, they never reach the manager.
class CommandSet : public QObject
{
    Q_OBJECT

public:
    // Methods, the same for every transport:
    //  "state" {} -> {decoders, encoders, walls, power, numbers}
    //  "list" {kind: "decoders"|"encoders"|"walls"} -> [{name, alias, address, online, source, ...}]
    //  "route" {source, target}: target a decoder or wall, or "all" for every screen
    //  "clear" {target}
    //  "power" {on, targets?}: no targets means every decoder
    //  "numbers" {show}
    //  "wall.create" {name, columns, rows, members: decoder names row by row}
    //  "wall.delete" {name}
    //  "rename" {name, alias}
    //  "whoami" {} -> {name, role, screens, sources, methods: what this actor may send}
    //  "audit" {from?, to?, actor?, target?, offset?, limit?} -> {lines: newest first, total}
    // Devices and walls are named by alias or by device name. Every method needs a right
    // (see Access); one the actor lacks, or one that would change a screen or show a source
    // outside the actor's limits, is refused as a whole with Forbidden. A limited actor's
    // "all" (route, clear, power without targets, numbers) is refused: it names every screen.
    // Every method that may change something leaves one line in the audit trail, refused or not.
    explicit CommandSet(DeviceManager *manager, QObject *parent = nullptr);

    // Adds the methods and events of a folder above this one (the scenes); its part of the
    // state appears under stateKey, unless that is empty. The command set takes the extension over.
    void extend(const QString &stateKey, CommandExtension *extension);

    RemoteAnswer execute(const Actor &actor, const QString &method, const QJsonObject &params);
    QJsonObject state() const;
    // Every method with the right it needs, the core's first.
    QVector<CommandEntry> table() const;
    QStringList methods() const;
    // The device name of the decoder or wall named by name or alias, or empty.
    QString screenName(const QString &name) const;
    // The device name of the encoder named by name or alias, or empty.
    QString sourceName(const QString &name) const;

signals:
    // "device.online", "device.offline", "source", "wall.created", "wall.deleted",
    // "wall.changed", "name", "power", "numbers"; data names the device or wall and the new value.
    void event(const QString &name, const QJsonObject &data);

private:
    using Handler = RemoteAnswer (CommandSet::*)(const Actor &, const QJsonObject &);
    struct Method
    {
        const char *name;
        Right right;
        Handler handler;
    };
    static const Method METHODS[];

    RemoteAnswer list(const Actor &actor, const QJsonObject &params);
    RemoteAnswer readState(const Actor &actor, const QJsonObject &params);
    RemoteAnswer route(const Actor &actor, const QJsonObject &params);
    RemoteAnswer clear(const Actor &actor, const QJsonObject &params);
    RemoteAnswer power(const Actor &actor, const QJsonObject &params);
    RemoteAnswer numbers(const Actor &actor, const QJsonObject &params);
    RemoteAnswer createWall(const Actor &actor, const QJsonObject &params);
    RemoteAnswer deleteWall(const Actor &actor, const QJsonObject &params);
    RemoteAnswer rename(const Actor &actor, const QJsonObject &params);
    RemoteAnswer whoami(const Actor &actor, const QJsonObject &params);
    RemoteAnswer audit(const Actor &actor, const QJsonObject &params);

    RemoteAnswer run(const Actor &actor, const QString &method, const QJsonObject &params);
    // Whether the method may change something, and so is written to the audit trail.
    bool changes(const QString &method) const;
    // What the method would change, as it is before: the trail's "before".
    QJsonValue currentOf(const QString &method, const QJsonObject &params) const;

    CommandExtension *extensionOf(const QString &method) const;
    // Why actor may not send method with params; empty when it may.
    QString refusal(const Actor &actor, const QString &method, const QJsonObject &params) const;
    // The screens a core Operate method changes, as device names found as the method finds
    // them (empty for one it will not find), and its sources as given; false for every screen.
    bool reach(const QString &method, const QJsonObject &params, QStringList *screens, QStringList *sources) const;
    // An empty name, of a screen not found, is inside: the command then fails as not found.
    bool screenInside(const Actor &actor, const QString &deviceName) const;

    // Listed entries (rows) match by device name or alias, without regard to case;
    // with members, the decoders of walls too.
    DeviceBasePtr find(const DeviceListModel *list, const QString &name, bool members) const;
    // The wall a decoder is part of, or null.
    QSharedPointer<VWDevice> wallOf(const QString &decoderName) const;
    RemoteAnswer routeTo(const QString &sourceName, const QString &target, const QJsonObject &result);

    QJsonArray decoders() const;
    QJsonArray encoders() const;
    QJsonArray walls() const;
    QJsonObject decoderJson(const RxDevice &decoder, const VWDevice *wall) const;
    static QJsonObject deviceJson(const DeviceBase &device);
    QJsonObject wallJson(const VWDevice &wall) const;
    static QJsonObject wallLayout(const VWDevice &wall);

    void watchAll();
    void watch(DeviceBase *device);
    void onRowsInserted(DeviceListModel *list, int first, int last);
    void onRowsAboutToBeRemoved(int first, int last);
    void onWallsChanged();
    void onPowerSwitched(bool on, const QStringList &names);
    void onNumbersShown(bool shown);

    DeviceManager *manager;
    // Listed after the core's own methods, in the order they were added.
    QList<QPair<QString, CommandExtension *>> extensions;
    QSet<DeviceBase *> watched;
    // What was last announced, so that a repeated signal is not a second event.
    QHash<DeviceBase *, QString> aliases;
    QHash<QString, QJsonObject> layouts;
    QJsonValue lastPower;
    QJsonValue numbersShown;
};
