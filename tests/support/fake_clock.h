#pragma once

#include "scenes/scheduler.h"

// The schedules' clock, set by the test.
class FakeClock : public ScheduleClock
{
public:
    QDateTime now() const override { return time; }
    QTimeZone zone() const override { return timeZone; }
    QDateTime time;
    QTimeZone timeZone = QTimeZone::utc();
};
