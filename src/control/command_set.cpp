#include "control/command_set.h"

#include "base/audit_operation.h"
#include "base/audit_scope.h"
#include "base/audit_trail.h"
#include "base/name_rules.h"
#include "control/command_extension.h"

#include "manager/configuration_file.h"
#include "manager/device_manager.h"
#include "manager/video_walls.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/tx_device.h"
#include "models/vw_device.h"

#include <QDebug>

#include <algorithm>

namespace {

const QString ALL_SCREENS = QStringLiteral("all");
const QString AUDIT = QStringLiteral("audit");
constexpr int AUDIT_PAGE_LIMIT = 1000;

bool sameText(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

RemoteAnswer missing(const QString &what)
{
    return RemoteAnswer::failure(BadArguments, QStringLiteral("%1 is missing").arg(what));
}

RemoteAnswer notAName(const QString &what)
{
    return RemoteAnswer::failure(BadArguments,
        QStringLiteral("%1 must be at most %2 printable characters").arg(what).arg(NameRules::DISPLAY_NAME_LIMIT));
}

RemoteAnswer notFound(const QString &kind, const QString &name)
{
    return RemoteAnswer::failure(NotFound, QStringLiteral("no %1 is named \"%2\"").arg(kind, name));
}

// A text argument; false when it is absent, not text or empty once trimmed.
bool textArgument(const QJsonObject &params, const QString &key, QString *value)
{
    const QJsonValue entry = params.value(key);
    if (!entry.isString())
        return false;
    *value = entry.toString().trimmed();
    return !value->isEmpty();
}

bool boolArgument(const QJsonObject &params, const QString &key, bool *value)
{
    const QJsonValue entry = params.value(key);
    if (!entry.isBool())
        return false;
    *value = entry.toBool();
    return true;
}

} // namespace

QString remoteErrorName(int code)
{
    switch (code) {
    case UnknownCommand:
        return QStringLiteral("unknown_command");
    case BadArguments:
        return QStringLiteral("bad_arguments");
    case NotFound:
        return QStringLiteral("not_found");
    case Refused:
        return QStringLiteral("refused");
    case NotAuthenticated:
        return QStringLiteral("not_authenticated");
    case RateLimited:
        return QStringLiteral("rate_limited");
    case TooLarge:
        return QStringLiteral("too_large");
    case Busy:
        return QStringLiteral("busy");
    case Forbidden:
        return QStringLiteral("forbidden");
    default:
        return QStringLiteral("internal");
    }
}

RemoteAnswer RemoteAnswer::success(const QJsonValue &result)
{
    RemoteAnswer answer;
    answer.result = result;
    return answer;
}

RemoteAnswer RemoteAnswer::failure(int code, const QString &message)
{
    RemoteAnswer answer;
    answer.ok = false;
    answer.code = code;
    answer.message = message;
    answer.result = QJsonValue::Null;
    return answer;
}

const CommandSet::Method CommandSet::METHODS[] = {
    {"state", Right::View, &CommandSet::readState},
    {"list", Right::View, &CommandSet::list},
    {"whoami", Right::View, &CommandSet::whoami},
    {"audit", Right::Administer, &CommandSet::audit},
    {"route", Right::Operate, &CommandSet::route},
    {"clear", Right::Operate, &CommandSet::clear},
    {"power", Right::Operate, &CommandSet::power},
    {"numbers", Right::Operate, &CommandSet::numbers},
    {"wall.create", Right::Administer, &CommandSet::createWall},
    {"wall.delete", Right::Administer, &CommandSet::deleteWall},
    {"rename", Right::Administer, &CommandSet::rename},
};

CommandSet::CommandSet(DeviceManager *manager, QObject *parent)
    : QObject(parent)
    , manager(manager)
{
    for (DeviceListModel *list : {manager->rxlist(), manager->txlist()}) {
        connect(list, &QAbstractItemModel::rowsInserted, this,
            [this, list](const QModelIndex &, int first, int last) { onRowsInserted(list, first, last); });
    }
    connect(manager->rxlist(), &QAbstractItemModel::rowsAboutToBeRemoved, this,
        [this](const QModelIndex &, int first, int last) { onRowsAboutToBeRemoved(first, last); });
    connect(manager->rxlist(), &QAbstractItemModel::modelReset, this, &CommandSet::watchAll);
    connect(manager, &DeviceManager::videoWallsChanged, this, &CommandSet::onWallsChanged);
    connect(manager, &DeviceManager::displayPowerSwitched, this, &CommandSet::onPowerSwitched);
    connect(manager, &DeviceManager::osdNumbersShown, this, &CommandSet::onNumbersShown);
    // Whoever follows the events hears that the settings cannot be saved, and when they can
    // again, as the window's user does: a service has nobody looking at its log.
    connect(manager->configurationFile(), &ConfigurationFile::saveStateChanged, this,
        [this](bool saved, const QString &reason) {
            QJsonObject data {{QStringLiteral("saved"), saved}};
            if (!saved)
                data.insert(QStringLiteral("reason"), reason);
            emit event(QStringLiteral("settings"), data);
        });
    watchAll();
}

QVector<CommandEntry> CommandSet::table() const
{
    QVector<CommandEntry> entries;
    for (const Method &method : METHODS)
        entries.append({QString::fromLatin1(method.name), method.right});
    for (const auto &extension : extensions)
        entries += extension.second->methods();
    return entries;
}

QStringList CommandSet::methods() const
{
    QStringList names;
    for (const CommandEntry &entry : table())
        names << entry.name;
    return names;
}

void CommandSet::extend(const QString &stateKey, CommandExtension *extension)
{
    extension->setParent(this);
    extensions.append({stateKey, extension});
    connect(extension, &CommandExtension::event, this, &CommandSet::event);
}

RemoteAnswer CommandSet::execute(const Actor &actor, const QString &method, const QJsonObject &params)
{
    const AuditScope scope(actor.name, actor.address);
    if (!changes(method))
        return run(actor, method, params);
    QString target;
    for (const QString &key : {QStringLiteral("target"), QStringLiteral("name")}) {
        if (target.isEmpty())
            target = params.value(key).toString().trimmed();
    }
    if (target.isEmpty()) {
        for (const QJsonValue &name : params.value(QStringLiteral("targets")).toArray())
            target += (target.isEmpty() ? QString() : QStringLiteral(", ")) + name.toString().trimmed();
    }
    AuditOperation record(method, target, currentOf(method, params));
    const RemoteAnswer answer = run(actor, method, params);
    if (answer.ok)
        record.setAfter(answer.result);
    else
        record.fail(remoteErrorName(answer.code), answer.message);
    return answer;
}

bool CommandSet::changes(const QString &method) const
{
    // Reading the trail is no change; were it a line, every page read would move the next.
    if (method == AUDIT)
        return false;
    const QVector<CommandEntry> entries = table();
    return std::any_of(entries.begin(), entries.end(),
        [&method](const CommandEntry &entry) { return entry.name == method && entry.right != Right::View; });
}

QJsonValue CommandSet::currentOf(const QString &method, const QJsonObject &params) const
{
    if (method == QLatin1String("power"))
        return lastPower;
    if (method == QLatin1String("numbers"))
        return numbersShown;
    const QString target = params.value(QStringLiteral("target")).toString().trimmed();
    if (method == QLatin1String("route") || method == QLatin1String("clear")) {
        const auto screen = find(manager->rxlist(), target, false).objectCast<RxDeviceBase>();
        return screen && !screen->currentSource().isEmpty() ? QJsonValue(screen->currentSource()) : QJsonValue();
    }
    const QString name = params.value(QStringLiteral("name")).toString().trimmed();
    if (method == QLatin1String("rename")) {
        for (const DeviceListModel *list : {manager->rxlist(), manager->txlist()}) {
            if (const DeviceBasePtr device = find(list, name, false))
                return device->nameAlias();
        }
    }
    if (method == QLatin1String("wall.delete")) {
        if (const auto wall = find(manager->rxlist(), name, false).objectCast<VWDevice>())
            return wallJson(*wall);
    }
    return QJsonValue();
}

RemoteAnswer CommandSet::run(const Actor &actor, const QString &method, const QJsonObject &params)
{
    const QString why = refusal(actor, method, params);
    if (!why.isEmpty())
        return RemoteAnswer::failure(Forbidden, why);
    for (const Method &entry : METHODS) {
        if (method == QLatin1String(entry.name))
            return (this->*entry.handler)(actor, params);
    }
    if (CommandExtension *extension = extensionOf(method))
        return extension->execute(method, params);
    return RemoteAnswer::failure(UnknownCommand, QStringLiteral("there is no command \"%1\"").arg(method));
}

QString CommandSet::refusal(const Actor &actor, const QString &method, const QJsonObject &params) const
{
    const QVector<CommandEntry> entries = table();
    const auto entry = std::find_if(
        entries.begin(), entries.end(), [&method](const CommandEntry &candidate) { return candidate.name == method; });
    // An unknown method is refused as unknown, whoever sends it.
    if (entry == entries.end())
        return QString();
    if (!actor.may(entry->right))
        return QStringLiteral("\"%1\" is not for the %2 role").arg(method, Actor::roleName(actor.role));
    if (entry->right != Right::Operate || !actor.limited())
        return QString();
    QStringList screens;
    QStringList sources;
    const CommandExtension *extension = extensionOf(method);
    const bool known
        = extension ? extension->reach(method, params, &screens, &sources) : reach(method, params, &screens, &sources);
    if (!known)
        return QStringLiteral("\"%1\" as sent reaches every screen; name your own screens").arg(method);
    for (const QString &screen : qAsConst(screens)) {
        // An extension names screens by device name, which only one device has.
        const DeviceBasePtr device = extension ? find(manager->rxlist(), screen, true) : nullptr;
        if (!screenInside(actor, device ? device->name() : screen))
            return QStringLiteral("\"%1\" is not one of your screens").arg(screen);
    }
    for (const QString &source : qAsConst(sources)) {
        const QString name = sourceName(source);
        const bool inside = actor.sources.isEmpty() || name.isEmpty()
            || std::any_of(actor.sources.begin(), actor.sources.end(),
                [&name](const QString &mine) { return sameText(mine, name); });
        if (!inside)
            return QStringLiteral("\"%1\" is not one of your sources").arg(source);
    }
    return QString();
}

CommandExtension *CommandSet::extensionOf(const QString &method) const
{
    for (const auto &extension : extensions) {
        for (const CommandEntry &entry : extension.second->methods()) {
            if (entry.name == method)
                return extension.second;
        }
    }
    return nullptr;
}

bool CommandSet::reach(
    const QString &method, const QJsonObject &params, QStringList *screens, QStringList *sources) const
{
    if (method == QLatin1String("route") || method == QLatin1String("clear")) {
        const QString target = params.value(QStringLiteral("target")).toString().trimmed();
        if (sameText(target, ALL_SCREENS))
            return false;
        const DeviceBasePtr screen = find(manager->rxlist(), target, false);
        *screens << (screen ? screen->name() : QString());
        if (method == QLatin1String("route"))
            *sources << params.value(QStringLiteral("source")).toString().trimmed();
        return true;
    }
    if (method == QLatin1String("power")) {
        const QJsonArray targets = params.value(QStringLiteral("targets")).toArray();
        for (const QJsonValue &target : targets) {
            const DeviceBasePtr entry = find(manager->rxlist(), target.toString().trimmed(), true);
            *screens << (entry ? entry->name() : QString());
        }
        return !targets.isEmpty();
    }
    // The numbers show on every screen at once.
    return false;
}

bool CommandSet::screenInside(const Actor &actor, const QString &deviceName) const
{
    if (actor.screens.isEmpty() || deviceName.isEmpty())
        return true;
    const QSharedPointer<VWDevice> wall = wallOf(deviceName);
    for (const QString &mine : actor.screens) {
        if (sameText(mine, deviceName) || (wall && sameText(mine, wall->name())))
            return true;
    }
    return false;
}

QString CommandSet::screenName(const QString &name) const
{
    const DeviceBasePtr device = find(manager->rxlist(), name.trimmed(), false);
    return device ? device->name() : QString();
}

QString CommandSet::sourceName(const QString &name) const
{
    const DeviceBasePtr device = find(manager->txlist(), name.trimmed(), false);
    return device ? device->name() : QString();
}

RemoteAnswer CommandSet::whoami(const Actor &actor, const QJsonObject &)
{
    QJsonObject result = actor.toJson();
    QJsonArray allowed;
    for (const CommandEntry &entry : table()) {
        if (actor.may(entry.right))
            allowed << entry.name;
    }
    result.insert(QStringLiteral("methods"), allowed);
    return RemoteAnswer::success(result);
}

RemoteAnswer CommandSet::audit(const Actor &, const QJsonObject &params)
{
    const AuditTrail *trail = AuditTrail::installed();
    if (!trail)
        return RemoteAnswer::failure(Internal, QStringLiteral("this controller keeps no audit trail"));
    AuditTrail::Query query;
    for (const auto &bound :
        {qMakePair(QStringLiteral("from"), &query.from), qMakePair(QStringLiteral("to"), &query.to)}) {
        const QJsonValue value = params.value(bound.first);
        if (value.isUndefined() || value.isNull())
            continue;
        *bound.second = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
        if (!bound.second->isValid())
            return RemoteAnswer::failure(BadArguments,
                QStringLiteral("%1 is a time as ISO 8601, such as 2026-01-31T08:00:00Z").arg(bound.first));
    }
    query.actor = params.value(QStringLiteral("actor")).toString();
    query.target = params.value(QStringLiteral("target")).toString();
    query.offset = params.value(QStringLiteral("offset")).toInt(0);
    query.limit = params.value(QStringLiteral("limit")).toInt(100);
    if (query.offset < 0 || query.limit < 1 || query.limit > AUDIT_PAGE_LIMIT)
        return RemoteAnswer::failure(
            BadArguments, QStringLiteral("offset is 0 or more, limit from 1 to %1").arg(AUDIT_PAGE_LIMIT));
    return RemoteAnswer::success(trail->query(query));
}

QJsonObject CommandSet::state() const
{
    QJsonObject result {{QStringLiteral("decoders"), decoders()}, {QStringLiteral("encoders"), encoders()},
        {QStringLiteral("walls"), walls()}, {QStringLiteral("power"), lastPower},
        {QStringLiteral("numbers"), numbersShown}};
    for (const auto &extension : extensions) {
        if (!extension.first.isEmpty())
            result.insert(extension.first, extension.second->state());
    }
    return result;
}

RemoteAnswer CommandSet::readState(const Actor &, const QJsonObject &)
{
    return RemoteAnswer::success(state());
}

RemoteAnswer CommandSet::list(const Actor &, const QJsonObject &params)
{
    const QString kind = params.value(QStringLiteral("kind")).toString();
    if (kind == QLatin1String("decoders"))
        return RemoteAnswer::success(decoders());
    if (kind == QLatin1String("encoders"))
        return RemoteAnswer::success(encoders());
    if (kind == QLatin1String("walls"))
        return RemoteAnswer::success(walls());
    return RemoteAnswer::failure(BadArguments, QStringLiteral("kind is one of decoders, encoders, walls"));
}

RemoteAnswer CommandSet::route(const Actor &, const QJsonObject &params)
{
    QString sourceName;
    QString target;
    if (!textArgument(params, QStringLiteral("source"), &sourceName))
        return missing(QStringLiteral("source"));
    if (!textArgument(params, QStringLiteral("target"), &target))
        return missing(QStringLiteral("target"));
    const DeviceBasePtr encoder = find(manager->txlist(), sourceName, false);
    if (!encoder)
        return notFound(QStringLiteral("encoder"), sourceName);
    return routeTo(encoder->name(), target, {{QStringLiteral("source"), encoder->name()}});
}

RemoteAnswer CommandSet::clear(const Actor &, const QJsonObject &params)
{
    QString target;
    if (!textArgument(params, QStringLiteral("target"), &target))
        return missing(QStringLiteral("target"));
    return routeTo(QString(), target, {{QStringLiteral("source"), QJsonValue::Null}});
}

RemoteAnswer CommandSet::routeTo(const QString &sourceName, const QString &target, const QJsonObject &result)
{
    QJsonObject answer = result;
    DeviceManager::RouteResult outcome;
    if (sameText(target, ALL_SCREENS)) {
        outcome = manager->routeSourceToAll(sourceName);
        answer.insert(QStringLiteral("target"), ALL_SCREENS);
    } else {
        const DeviceBasePtr entry = find(manager->rxlist(), target, false);
        if (!entry) {
            const DeviceBasePtr member = find(manager->rxlist(), target, true);
            if (const QSharedPointer<VWDevice> wall = member ? wallOf(member->name()) : nullptr)
                return RemoteAnswer::failure(NotFound,
                    QStringLiteral("\"%1\" is part of the wall \"%2\": route to the wall")
                        .arg(target, wall->nameAlias()));
            return notFound(QStringLiteral("decoder or wall"), target);
        }
        outcome = manager->routeSource(sourceName, entry->name());
        answer.insert(QStringLiteral("target"), entry->name());
    }
    if (outcome == DeviceManager::RouteResult::RefusedSource)
        return RemoteAnswer::failure(Refused, QStringLiteral("the encoder's name cannot be sent to a decoder"));
    if (outcome == DeviceManager::RouteResult::UnknownTarget)
        return notFound(QStringLiteral("decoder or wall"), target);
    return RemoteAnswer::success(answer);
}

RemoteAnswer CommandSet::power(const Actor &, const QJsonObject &params)
{
    bool on = false;
    if (!boolArgument(params, QStringLiteral("on"), &on))
        return missing(QStringLiteral("on (true or false)"));
    const QJsonValue targetsValue = params.value(QStringLiteral("targets"));
    if (!targetsValue.isUndefined() && !targetsValue.isNull() && !targetsValue.isArray())
        return RemoteAnswer::failure(BadArguments, QStringLiteral("targets is a list of names"));
    const QJsonArray targetNames = targetsValue.toArray();
    if (targetNames.isEmpty()) {
        manager->switchMonitor(on);
        return RemoteAnswer::success(
            QJsonObject {{QStringLiteral("on"), on}, {QStringLiteral("targets"), ALL_SCREENS}});
    }
    QList<QSharedPointer<RxDeviceBase>> targets;
    QJsonArray names;
    for (const QJsonValue &value : targetNames) {
        const QString name = value.toString().trimmed();
        const QSharedPointer<RxDeviceBase> entry
            = name.isEmpty() ? nullptr : find(manager->rxlist(), name, true).objectCast<RxDeviceBase>();
        if (!entry)
            return notFound(QStringLiteral("decoder or wall"), value.isString() ? name : QStringLiteral("?"));
        if (!targets.contains(entry)) {
            targets << entry;
            names << entry->name();
        }
    }
    manager->switchMonitors(on, targets);
    return RemoteAnswer::success(QJsonObject {{QStringLiteral("on"), on}, {QStringLiteral("targets"), names}});
}

RemoteAnswer CommandSet::numbers(const Actor &, const QJsonObject &params)
{
    bool show = false;
    if (!boolArgument(params, QStringLiteral("show"), &show))
        return missing(QStringLiteral("show (true or false)"));
    if (show)
        manager->osdShowSeq();
    else
        manager->osdHideSeq();
    return RemoteAnswer::success(QJsonObject {{QStringLiteral("show"), show}});
}

RemoteAnswer CommandSet::createWall(const Actor &, const QJsonObject &params)
{
    QString name;
    if (!textArgument(params, QStringLiteral("name"), &name))
        return missing(QStringLiteral("name"));
    if (!NameRules::displayName(name))
        return notAName(QStringLiteral("name"));
    const int columns = params.value(QStringLiteral("columns")).toInt(0);
    const int rows = params.value(QStringLiteral("rows")).toInt(0);
    if (columns < 1 || columns > VideoWalls::MAX_COLUMNS || rows < 1 || rows > VideoWalls::MAX_ROWS)
        return RemoteAnswer::failure(
            BadArguments, QStringLiteral("columns and rows are whole numbers from 1 to %1").arg(VideoWalls::MAX_ROWS));
    const QJsonArray members = params.value(QStringLiteral("members")).toArray();
    if (members.size() != columns * rows)
        return RemoteAnswer::failure(
            BadArguments, QStringLiteral("members names %1 decoders, row by row").arg(columns * rows));
    if (manager->deviceAliasExists(name) || manager->wallExists(name))
        return RemoteAnswer::failure(Refused, QStringLiteral("the name \"%1\" is taken").arg(name));
    QStringList cells;
    QSet<RxDevice *> placed;
    for (const QJsonValue &value : members) {
        const QString memberName = value.toString().trimmed();
        const DeviceBasePtr entry = memberName.isEmpty() ? nullptr : find(manager->rxlist(), memberName, false);
        const QSharedPointer<RxDevice> decoder = entry.objectCast<RxDevice>();
        if (!decoder) {
            if (find(manager->rxlist(), memberName, true))
                return RemoteAnswer::failure(
                    Refused, QStringLiteral("\"%1\" is already part of a wall").arg(memberName));
            return notFound(QStringLiteral("decoder"), memberName);
        }
        // Cells name decoders by their sequence numbers, which must lead back to this one.
        if (placed.contains(decoder.data()) || manager->rxlist()->findDeviceBySeq(decoder->seq()) != entry)
            return RemoteAnswer::failure(
                Refused, QStringLiteral("\"%1\" cannot take two cells of the wall").arg(memberName));
        placed.insert(decoder.data());
        cells << QString::number(decoder->seq());
    }
    const int row = manager->addVideoWall(name, rows, columns, cells.join(QLatin1Char(',')));
    const QSharedPointer<VWDevice> wall = manager->rxlist()->at(row).objectCast<VWDevice>();
    if (!wall)
        return RemoteAnswer::failure(Internal, QStringLiteral("the wall could not be made"));
    // A new wall starts without a source, as one made in the window does.
    manager->routeSource(QString(), wall->name());
    return RemoteAnswer::success(wallJson(*wall));
}

RemoteAnswer CommandSet::deleteWall(const Actor &, const QJsonObject &params)
{
    QString name;
    if (!textArgument(params, QStringLiteral("name"), &name))
        return missing(QStringLiteral("name"));
    const QSharedPointer<VWDevice> wall = find(manager->rxlist(), name, false).objectCast<VWDevice>();
    if (!wall)
        return notFound(QStringLiteral("wall"), name);
    const QJsonObject result {{QStringLiteral("name"), wall->name()}, {QStringLiteral("alias"), wall->nameAlias()}};
    manager->deleteVideoWall(wall->guid());
    return RemoteAnswer::success(result);
}

RemoteAnswer CommandSet::rename(const Actor &, const QJsonObject &params)
{
    QString name;
    QString alias;
    if (!textArgument(params, QStringLiteral("name"), &name))
        return missing(QStringLiteral("name"));
    if (!textArgument(params, QStringLiteral("alias"), &alias))
        return missing(QStringLiteral("alias"));
    if (!NameRules::displayName(alias))
        return notAName(QStringLiteral("alias"));
    // Only listed entries: what the window can rename, and what the settings file keeps.
    for (DeviceListModel *list : {manager->rxlist(), manager->txlist()}) {
        const DeviceBasePtr device = find(list, name, false);
        if (!device)
            continue;
        // The window's rule: a change of letter case only finds the device itself.
        if (!sameText(alias, device->nameAlias()) && manager->deviceAliasExists(alias))
            return RemoteAnswer::failure(Refused, QStringLiteral("the name \"%1\" is taken").arg(alias));
        for (int row = 0; row < list->rowCount(); ++row) {
            if (list->at(row) == device)
                list->setData(list->index(row), alias, DeviceListModel::AliasRole);
        }
        return RemoteAnswer::success(
            QJsonObject {{QStringLiteral("name"), device->name()}, {QStringLiteral("alias"), device->nameAlias()}});
    }
    if (find(manager->rxlist(), name, true))
        return RemoteAnswer::failure(Refused, QStringLiteral("decoders inside a wall keep their names"));
    return notFound(QStringLiteral("device or wall"), name);
}

// Device names first: an alias that happens to read like another device's name must not
// take its place.
DeviceBasePtr CommandSet::find(const DeviceListModel *list, const QString &name, bool members) const
{
    for (const auto &nameOf : {&DeviceBase::name, &DeviceBase::nameAlias}) {
        for (int row = 0; row < list->rowCount(); ++row) {
            const DeviceBasePtr device = list->at(row);
            if (device && sameText((device.data()->*nameOf)(), name))
                return device;
            const auto *wall = members ? qobject_cast<const VWDevice *>(device.data()) : nullptr;
            for (const RxDevicePtr &member : wall ? wall->members() : QVector<RxDevicePtr>()) {
                if (member && sameText((member.data()->*nameOf)(), name))
                    return member;
            }
        }
    }
    return nullptr;
}

QSharedPointer<VWDevice> CommandSet::wallOf(const QString &decoderName) const
{
    const DeviceListModel *list = manager->rxlist();
    for (int row = 0; row < list->rowCount(); ++row) {
        const QSharedPointer<VWDevice> wall = list->at(row).objectCast<VWDevice>();
        if (wall && wall->findMember(decoderName))
            return wall;
    }
    return nullptr;
}

QJsonObject CommandSet::deviceJson(const DeviceBase &device)
{
    const QHostAddress address = device.meta() ? device.meta()->address : QHostAddress();
    return {{QStringLiteral("name"), device.name()}, {QStringLiteral("alias"), device.nameAlias()},
        {QStringLiteral("address"), address.isNull() ? QJsonValue() : QJsonValue(address.toString())},
        {QStringLiteral("online"), device.online()}};
}

QJsonObject CommandSet::decoderJson(const RxDevice &decoder, const VWDevice *wall) const
{
    QJsonObject object = deviceJson(decoder);
    object.insert(QStringLiteral("source"),
        decoder.currentSource().isEmpty() ? QJsonValue() : QJsonValue(decoder.currentSource()));
    object.insert(QStringLiteral("wall"), wall ? QJsonValue(wall->name()) : QJsonValue());
    object.insert(QStringLiteral("number"), decoder.seq());
    object.insert(QStringLiteral("drifted"), decoder.drifted());
    return object;
}

QJsonObject CommandSet::wallLayout(const VWDevice &wall)
{
    QJsonArray cells;
    for (const QString &cell : wall.cellNames())
        cells << (cell.isEmpty() ? QJsonValue() : QJsonValue(cell));
    return {{QStringLiteral("columns"), wall.size().width()}, {QStringLiteral("rows"), wall.size().height()},
        {QStringLiteral("members"), cells}};
}

QJsonObject CommandSet::wallJson(const VWDevice &wall) const
{
    QJsonObject object = wallLayout(wall);
    object.insert(QStringLiteral("name"), wall.name());
    object.insert(QStringLiteral("alias"), wall.nameAlias());
    object.insert(QStringLiteral("online"), wall.online());
    object.insert(
        QStringLiteral("source"), wall.currentSource().isEmpty() ? QJsonValue() : QJsonValue(wall.currentSource()));
    return object;
}

QJsonArray CommandSet::decoders() const
{
    QJsonArray out;
    const DeviceListModel *list = manager->rxlist();
    for (int row = 0; row < list->rowCount(); ++row) {
        const DeviceBasePtr entry = list->at(row);
        if (const auto *decoder = qobject_cast<const RxDevice *>(entry.data()))
            out << decoderJson(*decoder, nullptr);
        else if (const auto *wall = qobject_cast<const VWDevice *>(entry.data())) {
            for (const RxDevicePtr &member : wall->members()) {
                if (member)
                    out << decoderJson(*member, wall);
            }
        }
    }
    return out;
}

QJsonArray CommandSet::encoders() const
{
    QJsonArray out;
    const DeviceListModel *list = manager->txlist();
    for (int row = 0; row < list->rowCount(); ++row) {
        if (const DeviceBasePtr encoder = list->at(row))
            out << deviceJson(*encoder);
    }
    return out;
}

QJsonArray CommandSet::walls() const
{
    QJsonArray out;
    const DeviceListModel *list = manager->rxlist();
    for (int row = 0; row < list->rowCount(); ++row) {
        if (const auto *wall = qobject_cast<const VWDevice *>(list->at(row).data()))
            out << wallJson(*wall);
    }
    return out;
}

void CommandSet::watchAll()
{
    for (DeviceListModel *list : {manager->rxlist(), manager->txlist()}) {
        for (int row = 0; row < list->rowCount(); ++row)
            watch(list->at(row).data());
    }
}

// Each device is connected once, for as long as it exists; walls bring their members.
void CommandSet::watch(DeviceBase *device)
{
    if (!device)
        return;
    if (const auto *wall = qobject_cast<const VWDevice *>(device)) {
        layouts.insert(wall->name(), wallLayout(*wall));
        for (const RxDevicePtr &member : wall->members())
            watch(member.data());
    }
    if (watched.contains(device))
        return;
    watched.insert(device);
    aliases.insert(device, device->nameAlias());
    connect(device, &QObject::destroyed, this, [this, device] {
        watched.remove(device);
        aliases.remove(device);
    });
    const QString kind = device->deviceModel() == DeviceModel::Tx
        ? QStringLiteral("encoder")
        : (device->deviceModel() == DeviceModel::Vw ? QStringLiteral("wall") : QStringLiteral("decoder"));
    const auto identity = [device, kind] {
        return QJsonObject {{QStringLiteral("kind"), kind}, {QStringLiteral("name"), device->name()},
            {QStringLiteral("alias"), device->nameAlias()}};
    };
    connect(device, &DeviceBase::onlineStatusChanged, this, [this, device, identity] {
        {
            const AuditScope scope(AuditScope::DEVICE);
            AuditOperation record(device->online() ? QStringLiteral("device.online") : QStringLiteral("device.offline"),
                device->name(), !device->online());
            record.setAfter(device->online());
        }
        emit event(device->online() ? QStringLiteral("device.online") : QStringLiteral("device.offline"), identity());
    });
    connect(device, &DeviceBase::nameAliasChanged, this, [this, device, identity](const QString &alias) {
        if (aliases.value(device) == alias)
            return;
        aliases.insert(device, alias);
        emit event(QStringLiteral("name"), identity());
    });
    if (auto *entry = qobject_cast<RxDeviceBase *>(device)) {
        connect(entry, &RxDeviceBase::currentSourceChanged, this, [this, identity](const QString &sourceName) {
            QJsonObject data = identity();
            data.insert(QStringLiteral("source"), sourceName.isEmpty() ? QJsonValue() : QJsonValue(sourceName));
            emit event(QStringLiteral("source"), data);
        });
        // Told when a drift starts and when it ends, not at every other change of route state.
        const auto wasDrifted = QSharedPointer<bool>::create(entry->drifted());
        connect(entry, &RxDeviceBase::routeStateChanged, this, [this, entry, identity, wasDrifted] {
            if (entry->drifted() == *wasDrifted)
                return;
            *wasDrifted = entry->drifted();
            {
                // The decoder shows another source than it was told to, or has come back to it.
                const AuditScope scope(AuditScope::DEVICE);
                AuditOperation record(QStringLiteral("drift"), entry->name(), !*wasDrifted);
                record.setAfter(*wasDrifted);
            }
            QJsonObject data = identity();
            data.insert(QStringLiteral("drifted"), *wasDrifted);
            emit event(QStringLiteral("drift"), data);
        });
    }
}

void CommandSet::onRowsInserted(DeviceListModel *list, int first, int last)
{
    for (int row = first; row <= last; ++row) {
        const DeviceBasePtr device = list->at(row);
        if (!device || watched.contains(device.data()))
            continue;
        watch(device.data());
        if (const auto *wall = qobject_cast<const VWDevice *>(device.data()))
            emit event(QStringLiteral("wall.created"), wallJson(*wall));
        else
            emit event(QStringLiteral("device.added"), deviceJson(*device));
    }
}

void CommandSet::onRowsAboutToBeRemoved(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        if (const auto *wall = qobject_cast<const VWDevice *>(manager->rxlist()->at(row).data())) {
            layouts.remove(wall->name());
            emit event(QStringLiteral("wall.deleted"),
                QJsonObject {{QStringLiteral("name"), wall->name()}, {QStringLiteral("alias"), wall->nameAlias()}});
        }
    }
}

void CommandSet::onWallsChanged()
{
    const DeviceListModel *list = manager->rxlist();
    for (int row = 0; row < list->rowCount(); ++row) {
        const auto *wall = qobject_cast<const VWDevice *>(list->at(row).data());
        if (!wall)
            continue;
        const QJsonObject layout = wallLayout(*wall);
        if (layouts.value(wall->name()) == layout)
            continue;
        watch(list->at(row).data());
        emit event(QStringLiteral("wall.changed"), wallJson(*wall));
    }
}

void CommandSet::onPowerSwitched(bool on, const QStringList &names)
{
    const QJsonObject data {{QStringLiteral("on"), on},
        {QStringLiteral("targets"),
            names.isEmpty() ? QJsonValue(ALL_SCREENS) : QJsonValue(QJsonArray::fromStringList(names))}};
    lastPower = data;
    emit event(QStringLiteral("power"), data);
}

void CommandSet::onNumbersShown(bool shown)
{
    numbersShown = shown;
    emit event(QStringLiteral("numbers"), QJsonObject {{QStringLiteral("show"), shown}});
}
