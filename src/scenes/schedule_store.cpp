#include "scenes/schedule_store.h"

const QString ScheduleStore::CONFIG_KEY = QStringLiteral("schedules");

ScheduleStore::ScheduleStore(JsonConfig *config, QObject *parent)
    : RecordStore<Schedule>(config, CONFIG_KEY, SCHEDULE_LIMIT, parent)
{
}

bool ScheduleStore::fromJson(const QJsonValue &value, QVector<Schedule> *schedules, QString *reason)
{
    return RecordStore<Schedule>::fromJson(value, CONFIG_KEY, SCHEDULE_LIMIT, schedules, reason);
}
