#pragma once

#include <QString>

// Faults a test switches on and off while the simulator runs: a file of the fault's name in
// the faults folder turns it on, removing the file turns it off. Read at every use, so the
// switch takes effect at the next request or frame.
class FaultSwitches
{
public:
    explicit FaultSwitches(const QString &folder = QString());

    // Discovery requests go unanswered.
    bool silent() const { return isOn("silent"); }
    // The preview connection stays open but carries no more frames.
    bool stalled() const { return isOn("stall"); }
    // Preview connections are closed, new ones too.
    bool cut() const { return isOn("cut"); }
    // Each frame announces a size no receiver may accept.
    bool oversize() const { return isOn("oversize"); }

private:
    bool isOn(const char *fault) const;

    QString folder;
};
