#include "scenes/scheduler.h"

#include "base/json_config.h"
#include "scenes/schedule_store.h"

#include <QDebug>
#include <QTimer>
#include <algorithm>

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
    // Before the start, what the start finds missed is still to be reported.
    connect(store, &ScheduleStore::changed, this, [this] {
        if (lastCheck.isValid())
            rememberCheck();
    });
}

void Scheduler::start()
{
    const QDateTime now = clock->now();
    const QDateTime stored = QDateTime::fromString(config->value(LAST_CHECK_KEY, QString()), Qt::ISODate);
    // Without a moment kept, or with one the clock has not reached, nothing can be told
    // missed until there is a moment to count from.
    bool remember = !store->records().isEmpty() && !(stored.isValid() && stored <= now);
    if (stored.isValid() && stored < now) {
        for (const Schedule &schedule : store->records()) {
            for (const QDateTime &when : schedule.occurrences(stored, now, clock->zone())) {
                qWarning().noquote() << "Schedule" << schedule.name << "of" << when.toString(Qt::ISODate)
                                     << "missed while the program was not running; not run now";
                handledBefore(schedule, when);
                remember = true;
                emit missed(schedule, when, tr("the controller was not running"));
            }
        }
    }
    lastCheck = now;
    if (remember)
        rememberCheck();
    timer->start();
}

bool Scheduler::handledBefore(const Schedule &schedule, const QDateTime &when)
{
    constexpr qint64 KEPT_S = 2 * 24 * 3600;
    const QDateTime now = clock->now();
    for (auto it = handled.begin(); it != handled.end(); ++it) {
        QVector<QDateTime> &times = it.value();
        times.erase(std::remove_if(times.begin(), times.end(),
                        [&now](const QDateTime &time) { return qAbs(time.secsTo(now)) > KEPT_S; }),
            times.end());
    }
    QVector<QDateTime> &times = handled[schedule.name];
    if (times.contains(when))
        return true;
    times.append(when);
    return false;
}

void Scheduler::tick()
{
    const QDateTime now = clock->now();
    if (!lastCheck.isValid()) {
        lastCheck = now;
        return;
    }
    // Set back, the clock passes times again that already ran; those are remembered.
    const QDateTime from = now < lastCheck ? now.addSecs(-1) : lastCheck;
    bool acted = false;
    for (const Schedule &schedule : store->records()) {
        for (const QDateTime &when : schedule.occurrences(from, now, clock->zone())) {
            if (handledBefore(schedule, when))
                continue;
            acted = true;
            if (when.secsTo(now) > LATE_LIMIT_S) {
                qWarning().noquote() << "Schedule" << schedule.name << "of" << when.toString(Qt::ISODate)
                                     << "missed while the controller was held up or the clock jumped; not run now";
                emit missed(schedule, when, tr("the controller was held up, or its clock jumped"));
                continue;
            }
            qInfo().noquote() << "Schedule" << schedule.name << "runs:" << Schedule::actionName(schedule.action)
                              << schedule.scene;
            emit due(schedule, when);
        }
    }
    lastCheck = now;
    if (acted)
        rememberCheck();
}

// Stored at once: a restart right after a run must not count it as missed.
void Scheduler::rememberCheck()
{
    config->setValue(LAST_CHECK_KEY, lastCheck.toUTC().toString(Qt::ISODate));
}
