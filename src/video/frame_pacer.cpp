#include "video/frame_pacer.h"

#include <chrono>

void FramePacer::setInterval(int ms)
{
    intervalMs = qMax(0, ms);
}

bool FramePacer::admit()
{
    using namespace std::chrono;
    return admitAt(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool FramePacer::admitAt(qint64 nowMs)
{
    if (intervalMs == 0)
        return true;
    if (started && nowMs < nextDue - intervalMs / 2)
        return false;
    // One interval after the slot that was due; after a pause, one interval from now.
    if (!started || nowMs - nextDue >= intervalMs)
        nextDue = nowMs + intervalMs;
    else
        nextDue += intervalMs;
    started = true;
    return true;
}
