#pragma once

#include "scenes/schedule.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QVariantList>
#include <QVector>
#include <functional>

class ActiveScene;
class DeviceManager;
class JsonConfig;
class SceneRecall;
class SceneStore;
class ScheduleClock;
class ScheduleStore;
class Scheduler;

// What the interface reaches as `scenes`, and what the control API asks: the saved scenes,
// the one the screens show, recalling one with its report, and the schedules that recall
// scenes or switch the displays by themselves.
class SceneService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList names READ names NOTIFY scenesChanged)
    Q_PROPERTY(QString activeScene READ activeScene NOTIFY activeSceneChanged)
    Q_PROPERTY(bool recalling READ recalling NOTIFY recallStateChanged)
    Q_PROPERTY(QString recallingScene READ recallingScene NOTIFY recallStateChanged)
    Q_PROPERTY(int recallDone READ recallDone NOTIFY recallProgress)
    Q_PROPERTY(int recallTotal READ recallTotal NOTIFY recallProgress)
    // The decoders of the last recall that did not confirm: {decoder, alias, outcome}.
    Q_PROPERTY(QVariantList failures READ failures NOTIFY recallStateChanged)
    // Each schedule as stored, with "missed" ("missed at 08:00: ...") when its last due time
    // could not be run.
    Q_PROPERTY(QVariantList schedules READ scheduleList NOTIFY schedulesChanged)
    // Why the last saveScene did not save, or what it left out; empty when all went in.
    Q_PROPERTY(QString saveMessage READ saveMessage NOTIFY saveMessageChanged)

public:
    // The clock must outlive the service; null for the system clock.
    SceneService(
        DeviceManager *manager, JsonConfig *config, const ScheduleClock *clock = nullptr, QObject *parent = nullptr);
    ~SceneService() override;

    QStringList names() const;
    QString activeScene() const;
    bool recalling() const;
    QString recallingScene() const;
    int recallDone() const;
    int recallTotal() const;
    QVariantList failures() const;
    QVariantList scheduleList() const;
    QString saveMessage() const { return lastSaveMessage; }
    // Schedules that fell due and wait for the running recall, oldest first.
    int waitingSchedules() const { return int(waiting.size()); }

    SceneStore *store() const { return scenes; }
    SceneRecall *recaller() const { return recall; }
    ScheduleStore *scheduleStore() const { return schedules; }
    Scheduler *scheduler() const { return timetable; }
    ActiveScene *active() const { return activeTracker; }

    // Starts running the schedules; start-up calls it once the devices are being looked for.
    void startSchedules();

    Q_INVOKABLE bool recallScene(const QString &name);
    Q_INVOKABLE bool retryRecall();
    // Saves the routing of the given decoders and walls (device names; none for every screen),
    // replacing a scene of that name. `power`: 0 leaves the displays, 1 on, 2 off. A wall
    // whose members show different sources cannot be kept: named, it refuses the save;
    // among every screen, it is left out. saveMessage says which.
    Q_INVOKABLE bool saveScene(const QString &name, const QStringList &targets, int power);
    // The schedules that recall the scene follow it to its new name.
    Q_INVOKABLE bool renameScene(const QString &name, const QString &newName);
    // The schedules that recall the scene are switched off: none may recall a scene that is gone.
    Q_INVOKABLE bool deleteScene(const QString &name);
    // The names of the schedules that recall the scene, for the question before a delete.
    Q_INVOKABLE QStringList schedulesRecalling(const QString &scene) const;
    Q_INVOKABLE bool sceneExists(const QString &name) const;
    // Weekly when `days` (bits, Monday first) is not 0, otherwise once at `at` ("yyyy-MM-ddTHH:mm").
    // With `replacing` empty a new schedule, which must not take a used name; otherwise the
    // schedule of that name is changed in place (renamed too), keeping whether it is on.
    Q_INVOKABLE bool saveSchedule(const QString &name, int action, const QString &scene, const QString &time, int days,
        const QString &at, const QString &replacing = QString());
    // For a one-off ("yyyy-MM-ddTHH:mm") at a time the clock skips, when it runs instead.
    Q_INVOKABLE QString onceNote(const QString &at) const;
    Q_INVOKABLE bool setScheduleEnabled(const QString &name, bool enabled);
    Q_INVOKABLE bool deleteSchedule(const QString &name);

signals:
    void scenesChanged();
    void activeSceneChanged(const QString &name);
    void recallStateChanged();
    void recallProgress(int done, int total);
    void recallFinished();
    void schedulesChanged();
    void saveMessageChanged();
    // A schedule that fell due at `when` and was not run, and why.
    void scheduleMissed(const QString &name, const QDateTime &when, const QString &reason);

private:
    void onScheduleDue(const Schedule &schedule, const QDateTime &when);
    void onScheduleMissed(const Schedule &schedule, const QDateTime &when, const QString &reason);
    // Runs the waiting schedules in the order they fell due, each recall after the last.
    void runWaiting();
    void setSaveMessage(const QString &message);
    // The names people know the entries by.
    QString aliases(const QStringList &names) const;
    // Changes each schedule that recalls the scene.
    void changeSchedulesRecalling(const QString &scene, const std::function<void(Schedule *)> &change);

    DeviceManager *manager;
    SceneStore *scenes;
    ActiveScene *activeTracker;
    SceneRecall *recall;
    ScheduleStore *schedules;
    ScheduleClock *ownClock;
    Scheduler *timetable;
    struct Due
    {
        Schedule schedule;
        QDateTime when;
    };
    QVector<Due> waiting;
    // By schedule name, until it runs again or is changed.
    QHash<QString, QString> missedNotes;
    QString lastSaveMessage;
};
