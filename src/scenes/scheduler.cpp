#include "scenes/scheduler.h"

#include "base/json_config.h"
#include "scenes/schedule_store.h"

#include <QDebug>
#include <QTimer>

const QString Scheduler::LAST_CHECK_KEY = QStringLiteral("schedules_checked");

ScheduleClock::~ScheduleClock() = default;

QDateTime ScheduleClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

QTimeZone ScheduleClock::zone() const
{
    return QTimeZone::systemTimeZone();
}

Scheduler::Scheduler(ScheduleStore *store, JsonConfig *config, const ScheduleClock *clock, QObject *parent)
    : QObject(parent)
    , store(store)
    , config(config)
    , clock(clock)
    , timer(new QTimer(this))
{
    timer->setInterval(TICK_MS);
    connect(timer, &QTimer::timeout, this, &Scheduler::tick);
}

void Scheduler::start()
{
    const QDateTime now = clock->now();
    const QDateTime stored = QDateTime::fromString(config->value(LAST_CHECK_KEY, QString()), Qt::ISODate);
    if (stored.isValid() && stored < now) {
        for (const Schedule &schedule : store->records()) {
            for (const QDateTime &when : schedule.occurrences(stored, now, clock->zone())) {
                qWarning().noquote() << "Schedule" << schedule.name << "of" << when.toString(Qt::ISODate)
                                     << "missed while the program was not running; not run now";
                emit missed(schedule, when);
            }
        }
    }
    lastCheck = now;
    rememberCheck(true);
    timer->start();
}

void Scheduler::tick()
{
    const QDateTime now = clock->now();
    if (!lastCheck.isValid() || now < lastCheck) {
        // The clock was set back: nothing between is run twice.
        lastCheck = now;
        return;
    }
    for (const Schedule &schedule : store->records()) {
        for (const QDateTime &when : schedule.occurrences(lastCheck, now, clock->zone())) {
            if (when.secsTo(now) > LATE_LIMIT_S) {
                qWarning().noquote() << "Schedule" << schedule.name << "of" << when.toString(Qt::ISODate)
                                     << "missed while the controller was held up; not run now";
                emit missed(schedule, when);
                continue;
            }
            qInfo().noquote() << "Schedule" << schedule.name << "runs:" << Schedule::actionName(schedule.action)
                              << schedule.scene;
            emit due(schedule);
        }
    }
    lastCheck = now;
    rememberCheck(false);
}

// Not every tick: the settings file is rewritten on each change.
void Scheduler::rememberCheck(bool force)
{
    if (!force && lastStored.isValid() && lastStored.secsTo(lastCheck) < STORE_EVERY_S)
        return;
    lastStored = lastCheck;
    config->setValue(LAST_CHECK_KEY, lastCheck.toUTC().toString(Qt::ISODate));
}
