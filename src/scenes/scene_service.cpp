#include "scenes/scene_service.h"

#include "base/audit_operation.h"
#include "base/audit_scope.h"
#include "manager/device_manager.h"
#include "models/device_base.h"
#include "models/device_list_model.h"
#include "scenes/active_scene.h"
#include "scenes/live_routing.h"
#include "scenes/scene_recall.h"
#include "scenes/scene_store.h"
#include "scenes/schedule_store.h"
#include "scenes/scheduler.h"

#include <QDebug>
#include <QVariantMap>

SceneService::SceneService(DeviceManager *manager, JsonConfig *config, const ScheduleClock *clock, QObject *parent)
    : QObject(parent)
    , manager(manager)
    , scenes(new SceneStore(config, this))
    , activeTracker(new ActiveScene(manager->rxlist(), manager->txlist(), scenes, this))
    , recall(new SceneRecall(manager, this))
    , schedules(new ScheduleStore(config, this))
    , ownClock(clock ? nullptr : new ScheduleClock)
    , timetable(new Scheduler(schedules, config, clock ? clock : ownClock, this))
{
    connect(scenes, &SceneStore::changed, this, &SceneService::scenesChanged);
    connect(activeTracker, &ActiveScene::changed, this, &SceneService::activeSceneChanged);
    connect(recall, &SceneRecall::progress, this, &SceneService::recallProgress);
    connect(recall, &SceneRecall::finished, this, &SceneService::recallStateChanged);
    connect(recall, &SceneRecall::finished, this, &SceneService::recallFinished);
    connect(schedules, &ScheduleStore::changed, this, &SceneService::schedulesChanged);
    connect(timetable, &Scheduler::due, this, &SceneService::onScheduleDue);
    connect(timetable, &Scheduler::missed, this, &SceneService::onScheduleMissed);
    // Queued: whoever follows the finished recall reads its report before the next starts.
    connect(recall, &SceneRecall::finished, this, &SceneService::runWaiting, Qt::QueuedConnection);
    // A changed schedule starts afresh; its old miss no longer describes it.
    connect(schedules, &ScheduleStore::changed, this, [this] {
        for (auto it = missedNotes.begin(); it != missedNotes.end();) {
            if (schedules->find(it.key()))
                ++it;
            else
                it = missedNotes.erase(it);
        }
    });
}

SceneService::~SceneService()
{
    delete timetable;
    delete ownClock;
}

QStringList SceneService::names() const
{
    QStringList list;
    for (const Scene &scene : scenes->records())
        list << scene.name;
    return list;
}

QString SceneService::activeScene() const
{
    return activeTracker->name();
}

bool SceneService::recalling() const
{
    return recall->running();
}

QString SceneService::recallingScene() const
{
    return recall->sceneName();
}

int SceneService::recallDone() const
{
    return recall->resolvedCount();
}

int SceneService::recallTotal() const
{
    return recall->report().size();
}

QVariantList SceneService::failures() const
{
    QVariantList list;
    for (const SceneRecall::Check &check : recall->report()) {
        if (check.outcome == SceneRecall::Outcome::Confirmed || check.outcome == SceneRecall::Outcome::Waiting)
            continue;
        const DeviceBasePtr device = manager->rxlist()->findDevice(check.decoder, true);
        list << QVariantMap {{QStringLiteral("decoder"), check.decoder},
            {QStringLiteral("alias"), device ? device->nameAlias() : check.decoder},
            {QStringLiteral("outcome"), SceneRecall::outcomeName(check.outcome)}};
    }
    return list;
}

QVariantList SceneService::scheduleList() const
{
    QVariantList list;
    for (const Schedule &schedule : schedules->records()) {
        QVariantMap entry = schedule.toJson().toVariantMap();
        const QString note = missedNotes.value(schedule.name);
        if (!note.isEmpty())
            entry.insert(QStringLiteral("missed"), note);
        list << entry;
    }
    return list;
}

void SceneService::startSchedules()
{
    timetable->start();
}

bool SceneService::recallScene(const QString &name)
{
    AuditOperation record(
        QStringLiteral("scene.recall"), name, activeScene().isEmpty() ? QJsonValue() : QJsonValue(activeScene()));
    const Scene *scene = scenes->find(name);
    if (!scene || !recall->start(*scene)) {
        record.fail(scene ? QStringLiteral("busy") : QStringLiteral("not_found"));
        return false;
    }
    record.setAfter(scene->toJson());
    emit recallStateChanged();
    return true;
}

bool SceneService::retryRecall()
{
    AuditOperation record(QStringLiteral("scene.retry"), recall->sceneName());
    if (!recall->retry()) {
        record.fail(QStringLiteral("refused"));
        return false;
    }
    emit recallStateChanged();
    return true;
}

bool SceneService::saveScene(const QString &name, const QStringList &targets, int power)
{
    const Scene *previous = scenes->find(name.trimmed());
    AuditOperation record(
        QStringLiteral("scene.save"), name.trimmed(), previous ? QJsonValue(previous->toJson()) : QJsonValue());
    const auto refuse = [this, &record](const QString &message) {
        setSaveMessage(message);
        record.fail(QStringLiteral("refused"), message);
        return false;
    };
    QStringList mixed;
    Scene scene = liverouting::capture(*manager->rxlist(), name.trimmed(), targets, &mixed);
    if (!mixed.isEmpty() && !targets.isEmpty())
        return refuse(
            tr("Not saved: the screens of %1 show different sources. Route the wall first.").arg(aliases(mixed)));
    if (scene.sources.isEmpty() || power < 0 || power > 2)
        return refuse(tr("Not saved: there is no screen to keep."));
    scene.power = static_cast<Scene::Power>(power);
    if (!scenes->save(scene))
        return refuse(tr("Not saved: the scene could not be stored."));
    setSaveMessage(
        mixed.isEmpty() ? QString() : tr("Saved without %1: its screens show different sources.").arg(aliases(mixed)));
    record.setAfter(scene.toJson());
    return true;
}

QString SceneService::aliases(const QStringList &names) const
{
    QStringList shown;
    for (const QString &name : names) {
        const DeviceBasePtr entry = manager->rxlist()->findDevice(name, false);
        shown << (entry ? entry->nameAlias() : name);
    }
    return shown.join(QStringLiteral(", "));
}

void SceneService::setSaveMessage(const QString &message)
{
    if (message == lastSaveMessage)
        return;
    lastSaveMessage = message;
    emit saveMessageChanged();
}

bool SceneService::renameScene(const QString &name, const QString &newName)
{
    const QString trimmed = newName.trimmed();
    AuditOperation record(QStringLiteral("scene.rename"), name, name);
    if (!scenes->rename(name, trimmed)) {
        record.fail(QStringLiteral("refused"));
        return false;
    }
    record.setAfter(trimmed);
    changeSchedulesRecalling(name, [&trimmed](Schedule *schedule) { schedule->scene = trimmed; });
    return true;
}

bool SceneService::deleteScene(const QString &name)
{
    const Scene *scene = scenes->find(name);
    AuditOperation record(QStringLiteral("scene.delete"), name, scene ? QJsonValue(scene->toJson()) : QJsonValue());
    if (!scenes->remove(name)) {
        record.fail(QStringLiteral("not_found"));
        return false;
    }
    changeSchedulesRecalling(name, [](Schedule *schedule) { schedule->enabled = false; });
    return true;
}

QStringList SceneService::schedulesRecalling(const QString &scene) const
{
    QStringList names;
    for (const Schedule &schedule : schedules->records()) {
        if (schedule.action == Schedule::Action::RecallScene && schedule.scene.compare(scene, Qt::CaseInsensitive) == 0)
            names << schedule.name;
    }
    return names;
}

void SceneService::changeSchedulesRecalling(const QString &scene, const std::function<void(Schedule *)> &change)
{
    for (const QString &name : schedulesRecalling(scene)) {
        Schedule schedule = *schedules->find(name);
        change(&schedule);
        schedules->replace(name, schedule);
    }
}

bool SceneService::sceneExists(const QString &name) const
{
    return scenes->find(name.trimmed()) != nullptr;
}

bool SceneService::saveSchedule(const QString &name, int action, const QString &scene, const QString &time, int days,
    const QString &at, const QString &replacing)
{
    const Schedule *current = replacing.isEmpty() ? nullptr : schedules->find(replacing);
    AuditOperation record(QStringLiteral("schedule.save"), replacing.isEmpty() ? name.trimmed() : replacing,
        current ? QJsonValue(current->toJson()) : QJsonValue());
    record.fail(QStringLiteral("refused"));
    if (action < 0 || action > 2)
        return false;
    Schedule schedule;
    schedule.name = name.trimmed();
    schedule.action = static_cast<Schedule::Action>(action);
    schedule.scene = scene;
    schedule.repeat = days ? Schedule::Repeat::Weekly : Schedule::Repeat::Once;
    schedule.time = QTime::fromString(time, QStringLiteral("HH:mm"));
    schedule.weekdays = days & Schedule::ALL_DAYS;
    schedule.at = Schedule::readLocal(at);
    if (!replacing.isEmpty() && !current)
        return false;
    if (current)
        schedule.enabled = current->enabled;
    const bool saved = current ? schedules->replace(replacing, schedule)
                               : !schedules->find(schedule.name) && schedules->save(schedule);
    if (saved)
        record.succeed(schedule.toJson());
    return saved;
}

QString SceneService::onceNote(const QString &at) const
{
    const QDateTime local = Schedule::readLocal(at);
    return local.isValid() ? Schedule::gapNote(local.date(), local.time(), timetable->zone()) : QString();
}

bool SceneService::setScheduleEnabled(const QString &name, bool enabled)
{
    const Schedule *current = schedules->find(name);
    AuditOperation record(
        QStringLiteral("schedule.enable"), name, current ? QJsonValue(current->enabled) : QJsonValue());
    record.fail(current ? QStringLiteral("internal") : QStringLiteral("not_found"));
    if (!current)
        return false;
    Schedule changed = *current;
    changed.enabled = enabled;
    if (!schedules->replace(name, changed))
        return false;
    record.succeed(enabled);
    return true;
}

bool SceneService::deleteSchedule(const QString &name)
{
    const Schedule *current = schedules->find(name);
    AuditOperation record(
        QStringLiteral("schedule.delete"), name, current ? QJsonValue(current->toJson()) : QJsonValue());
    if (!schedules->remove(name)) {
        record.fail(QStringLiteral("not_found"));
        return false;
    }
    return true;
}

void SceneService::onScheduleDue(const Schedule &schedule, const QDateTime &when)
{
    waiting.append({schedule, when});
    runWaiting();
}

void SceneService::runWaiting()
{
    while (!waiting.isEmpty() && !recall->running()) {
        const Due next = waiting.takeFirst();
        const Schedule &schedule = next.schedule;
        const AuditScope scope(QStringLiteral("schedule:") + schedule.name);
        switch (schedule.action) {
        case Schedule::Action::RecallScene:
            if (!recallScene(schedule.scene)) {
                qWarning().noquote() << "Schedule" << schedule.name << "could not recall the scene" << schedule.scene
                                     << ": it no longer exists";
                onScheduleMissed(schedule, next.when, tr("the scene \"%1\" no longer exists").arg(schedule.scene));
                continue;
            }
            break;
        case Schedule::Action::PowerOn:
        case Schedule::Action::PowerOff:
            manager->switchMonitor(schedule.action == Schedule::Action::PowerOn);
            break;
        }
        if (missedNotes.remove(schedule.name))
            emit schedulesChanged();
    }
}

void SceneService::onScheduleMissed(const Schedule &schedule, const QDateTime &when, const QString &reason)
{
    const QString local = when.toTimeZone(timetable->zone()).toString(QStringLiteral("HH:mm"));
    missedNotes.insert(schedule.name, tr("missed at %1: %2").arg(local, reason));
    emit scheduleMissed(schedule.name, when, reason);
    emit schedulesChanged();
}
