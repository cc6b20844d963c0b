#pragma once

#include "scenes/schedule.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QTimeZone>

class JsonConfig;
class QTimer;
class ScheduleStore;

// Where the scheduler reads the time; tests hand in one they move themselves.
class ScheduleClock
{
public:
    virtual ~ScheduleClock();
    virtual QDateTime now() const;
    virtual QTimeZone zone() const;
};

// Runs the schedules while the program runs. Each tick runs what fell due since the last
// one. What fell due while the program was not running, or while the machine slept, is
// reported as missed and not run: a display switched on hours late, or a scene replayed
// over the routing people have set since, would surprise the room more than the miss.
// Each due time runs once: the clock set back passes it again without running it.
// The settings file keeps the moment up to which every due time was run or reported. It
// moves only when one was, or when the schedules change (a new schedule has missed
// nothing from before it was made), so that an idle controller never writes: a start
// reports what lies between that moment and now, which no running copy can have handled.
class Scheduler : public QObject
{
    Q_OBJECT

public:
    static const QString LAST_CHECK_KEY;
    static constexpr int TICK_MS = 1000;
    // Later than this after its time, a schedule counts as missed.
    static constexpr int LATE_LIMIT_S = 120;

    // The clock must outlive the scheduler.
    Scheduler(ScheduleStore *store, JsonConfig *config, const ScheduleClock *clock, QObject *parent = nullptr);

    // Logs what was missed since the last run and starts ticking.
    void start();
    QTimer *tickTimer() const { return timer; }
    QTimeZone zone() const { return clock->zone(); }

public slots:
    void tick();

signals:
    void due(const Schedule &schedule, const QDateTime &when);
    void missed(const Schedule &schedule, const QDateTime &when, const QString &reason);

private:
    void rememberCheck();
    // Due times already run or reported, by schedule name, of the last days only.
    bool handledBefore(const Schedule &schedule, const QDateTime &when);

    ScheduleStore *store;
    JsonConfig *config;
    const ScheduleClock *clock;
    QTimer *timer;
    QDateTime lastCheck;
    QHash<QString, QVector<QDateTime>> handled;
};
