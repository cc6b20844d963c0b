#pragma once

#include <QElapsedTimer>

// Commands counted in one-second windows, the first command of a window starting it: every
// way in (each API client, the whole MQTT bridge) takes at most a window's share a second.
class RateWindow
{
public:
    // What any one way in may ask for in a second; more are refused as rate_limited.
    static constexpr int COMMANDS_PER_SECOND = 50;

    // Counts one more command: true while the window has taken no more than `perSecond`.
    bool admit(int perSecond = COMMANDS_PER_SECOND)
    {
        if (!started.isValid() || started.elapsed() >= 1000) {
            started.start();
            count = 0;
        }
        return ++count <= perSecond;
    }
    // Refused so far in the current window (the first refusal makes it 1).
    int refused(int perSecond = COMMANDS_PER_SECOND) const { return count > perSecond ? count - perSecond : 0; }

private:
    QElapsedTimer started;
    int count = 0;
};
