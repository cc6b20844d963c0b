#include "control/scene_commands.h"

#include "base/name_rules.h"
#include "manager/device_manager.h"
#include "models/device_list_model.h"
#include "scenes/scene_recall.h"
#include "scenes/scene_service.h"
#include "scenes/scene_store.h"
#include "scenes/schedule_store.h"

#include <QJsonArray>

namespace {

const QString NAME = QStringLiteral("name");

QString nameArgument(const QJsonObject &params, const QString &key = NAME)
{
    return params.value(key).toString().trimmed();
}

QJsonValue nameOrNull(const QString &name)
{
    return name.isEmpty() ? QJsonValue() : QJsonValue(name);
}

RemoteAnswer noScene(const QString &name)
{
    return RemoteAnswer::failure(NotFound, QStringLiteral("no scene is named \"%1\"").arg(name));
}

} // namespace

SceneCommands::SceneCommands(DeviceManager *manager, SceneService *sceneService, QObject *parent)
    : CommandExtension(parent)
    , manager(manager)
    , scenes(sceneService)
{
    connect(sceneService, &SceneService::activeSceneChanged, this, [this](const QString &name) {
        emit event(QStringLiteral("scene.active"), {{NAME, nameOrNull(name)}});
    });
    connect(sceneService, &SceneService::scenesChanged, this, [this] {
        emit event(
            QStringLiteral("scenes.changed"), {{QStringLiteral("names"), QJsonArray::fromStringList(scenes->names())}});
    });
    connect(sceneService, &SceneService::recallProgress, this, [this](int done, int total) {
        emit event(QStringLiteral("scene.recall.progress"),
            {{NAME, scenes->recallingScene()}, {QStringLiteral("done"), done}, {QStringLiteral("total"), total}});
    });
    connect(sceneService, &SceneService::scheduleMissed, this,
        [this](const QString &name, const QDateTime &when, const QString &reason) {
            emit event(QStringLiteral("schedule.missed"),
                {{NAME, name}, {QStringLiteral("at"), when.toUTC().toString(Qt::ISODate)},
                    {QStringLiteral("reason"), reason}});
        });
    connect(sceneService, &SceneService::recallFinished, this,
        [this] { emit event(QStringLiteral("scene.recall.finished"), report()); });
}

QVector<CommandEntry> SceneCommands::methods() const
{
    return {{QStringLiteral("scene.list"), Right::View}, {QStringLiteral("scene.save"), Right::Administer},
        {QStringLiteral("scene.recall"), Right::Operate}, {QStringLiteral("scene.retry"), Right::Operate},
        {QStringLiteral("scene.report"), Right::View}, {QStringLiteral("scene.rename"), Right::Administer},
        {QStringLiteral("scene.delete"), Right::Administer}, {QStringLiteral("schedule.list"), Right::View},
        {QStringLiteral("schedule.enable"), Right::Administer}};
}

bool SceneCommands::reach(
    const QString &method, const QJsonObject &params, QStringList *screens, QStringList *sources) const
{
    if (method != QLatin1String("scene.recall"))
        return false;
    const Scene *scene = scenes->store()->find(nameArgument(params));
    // No such scene: the recall fails as not found.
    if (!scene)
        return true;
    for (auto entry = scene->sources.cbegin(); entry != scene->sources.cend(); ++entry) {
        *screens << entry.key();
        if (!entry.value().isEmpty())
            *sources << entry.value();
    }
    return true;
}

RemoteAnswer SceneCommands::execute(const QString &method, const QJsonObject &params)
{
    if (method == QLatin1String("scene.list"))
        return RemoteAnswer::success(sceneList());
    if (method == QLatin1String("scene.save"))
        return save(params);
    if (method == QLatin1String("scene.recall"))
        return recall(params);
    if (method == QLatin1String("scene.report"))
        return RemoteAnswer::success(report());
    if (method == QLatin1String("schedule.list"))
        return RemoteAnswer::success(QJsonArray::fromVariantList(scenes->scheduleList()));
    if (method == QLatin1String("schedule.enable"))
        return enableSchedule(params);
    if (method == QLatin1String("scene.retry")) {
        if (scenes->recalling())
            return RemoteAnswer::failure(Busy, QStringLiteral("a recall is running"));
        if (!scenes->retryRecall())
            return RemoteAnswer::failure(Refused, QStringLiteral("every decoder of the last recall confirmed"));
        return RemoteAnswer::success(
            QJsonObject {{NAME, scenes->recallingScene()}, {QStringLiteral("total"), scenes->recallTotal()}});
    }
    const QString name = nameArgument(params);
    if (!scenes->sceneExists(name))
        return noScene(name);
    if (method == QLatin1String("scene.delete")) {
        const QStringList switchedOff = scenes->schedulesRecalling(name);
        scenes->deleteScene(name);
        return RemoteAnswer::success(
            QJsonObject {{NAME, name}, {QStringLiteral("schedules_off"), QJsonArray::fromStringList(switchedOff)}});
    }
    const QString newName = nameArgument(params, QStringLiteral("new_name"));
    if (!NameRules::sceneName(newName))
        return RemoteAnswer::failure(BadArguments, QStringLiteral("new_name is missing or not a valid name"));
    if (!scenes->renameScene(name, newName))
        return RemoteAnswer::failure(Refused, QStringLiteral("another scene is named \"%1\"").arg(newName));
    return RemoteAnswer::success(QJsonObject {{NAME, newName}});
}

RemoteAnswer SceneCommands::save(const QJsonObject &params)
{
    const QString name = nameArgument(params);
    if (!NameRules::sceneName(name))
        return RemoteAnswer::failure(BadArguments, QStringLiteral("name is missing or not a valid name"));
    const QJsonValue power = params.value(QStringLiteral("power"));
    if (!power.isUndefined() && !power.isBool() && !power.isNull())
        return RemoteAnswer::failure(BadArguments, QStringLiteral("power must be true, false or absent"));
    QStringList targets;
    for (const QJsonValue &value : params.value(QStringLiteral("targets")).toArray()) {
        const QString target = value.toString();
        DeviceBasePtr entry;
        for (int row = 0; row < manager->rxlist()->rowCount() && !entry; ++row) {
            const DeviceBasePtr candidate = manager->rxlist()->at(row);
            if (candidate->name().compare(target, Qt::CaseInsensitive) == 0
                || candidate->nameAlias().compare(target, Qt::CaseInsensitive) == 0)
                entry = candidate;
        }
        if (!entry)
            return RemoteAnswer::failure(NotFound, QStringLiteral("no decoder or wall is named \"%1\"").arg(target));
        targets << entry->name();
    }
    const int powerChoice = power.isBool() ? (power.toBool() ? 1 : 2) : 0;
    if (!scenes->saveScene(name, targets, powerChoice))
        return RemoteAnswer::failure(Refused, scenes->saveMessage());
    QJsonObject saved = scenes->store()->find(name)->toJson();
    if (!scenes->saveMessage().isEmpty())
        saved.insert(QStringLiteral("note"), scenes->saveMessage());
    return RemoteAnswer::success(saved);
}

RemoteAnswer SceneCommands::recall(const QJsonObject &params)
{
    const QString name = nameArgument(params);
    if (!scenes->sceneExists(name))
        return noScene(name);
    if (scenes->recalling())
        return RemoteAnswer::failure(Busy, QStringLiteral("a recall is running"));
    scenes->recallScene(name);
    return RemoteAnswer::success(
        QJsonObject {{NAME, scenes->recallingScene()}, {QStringLiteral("total"), scenes->recallTotal()}});
}

RemoteAnswer SceneCommands::enableSchedule(const QJsonObject &params)
{
    const QString name = nameArgument(params);
    const QJsonValue enabled = params.value(QStringLiteral("enabled"));
    if (!enabled.isBool())
        return RemoteAnswer::failure(BadArguments, QStringLiteral("enabled must be true or false"));
    if (!scenes->setScheduleEnabled(name, enabled.toBool()))
        return RemoteAnswer::failure(NotFound, QStringLiteral("no schedule is named \"%1\"").arg(name));
    return RemoteAnswer::success(QJsonObject {{NAME, name}, {QStringLiteral("enabled"), enabled.toBool()}});
}

QJsonObject SceneCommands::report() const
{
    const SceneRecall *recall = scenes->recaller();
    QJsonArray failed;
    for (const QVariant &failure : scenes->failures())
        failed.append(QJsonObject::fromVariantMap(failure.toMap()));
    return {{NAME, recall->sceneName()}, {QStringLiteral("running"), recall->running()},
        {QStringLiteral("confirmed"), recall->confirmedCount()}, {QStringLiteral("total"), recall->report().size()},
        {QStringLiteral("failed"), failed}};
}

QJsonArray SceneCommands::sceneList() const
{
    QJsonArray list;
    for (const Scene &scene : scenes->store()->records()) {
        QJsonObject object = scene.toJson();
        object.insert(QStringLiteral("active"), scene.name == scenes->activeScene());
        list.append(object);
    }
    return list;
}

QJsonObject SceneCommands::state() const
{
    QJsonObject missed;
    for (const QVariant &schedule : scenes->scheduleList()) {
        const QVariantMap entry = schedule.toMap();
        if (entry.contains(QStringLiteral("missed")))
            missed.insert(entry.value(NAME).toString(), entry.value(QStringLiteral("missed")).toString());
    }
    return {{QStringLiteral("active"), nameOrNull(scenes->activeScene())},
        {QStringLiteral("names"), QJsonArray::fromStringList(scenes->names())}, {QStringLiteral("recall"), report()},
        {QStringLiteral("schedules_missed"), missed}};
}
