#pragma once

#include <QtGlobal>

// Lets frames through at no more than one per interval over time: a frame goes through when
// its slot is due, give or take half an interval, and the next slot follows one interval after
// the last. So a faster source is thinned evenly (25 frames a second through 100 ms give 10,
// not one every 120 ms), frames that jitter around their slot are not lost, and a pause earns
// no burst afterwards.
class FramePacer
{
public:
    // 0 lets every frame through.
    void setInterval(int ms);
    int interval() const { return intervalMs; }

    // Whether a frame arriving now goes through; counts it if it does.
    bool admit();
    bool admitAt(qint64 nowMs);
    // The next frame goes through whenever it comes.
    void reset() { started = false; }

private:
    int intervalMs = 0;
    qint64 nextDue = 0;
    bool started = false;
};
