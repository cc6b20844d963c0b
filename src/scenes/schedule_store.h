#pragma once

#include "scenes/named_records.h"
#include "scenes/schedule.h"

// The saved schedules.
class ScheduleStore : public RecordStore<Schedule>
{
public:
    static const QString CONFIG_KEY;
    static constexpr int SCHEDULE_LIMIT = 200;

    explicit ScheduleStore(JsonConfig *config, QObject *parent = nullptr);

    static bool fromJson(const QJsonValue &value, QVector<Schedule> *schedules, QString *reason);
};
