#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

class QObject;

// Brings work from a server's own threads onto the GUI thread, where every Qt object of the
// program lives. A waiting thread is released when the work is done or when the GUI thread
// stops the hand-over, so that stopping a server never waits for a GUI thread that is itself
// waiting for the server's threads.
class GuiHandOver
{
public:
    // target lives on the GUI thread and outlives every call.
    explicit GuiHandOver(QObject *target);

    // Any thread but the GUI thread: runs work there and waits for it. False, and work did
    // not run, once stop() has been called.
    bool call(const std::function<void()> &work);
    // Any thread: queues work for the GUI thread and returns at once. Dropped after stop().
    void post(std::function<void()> work);

    // GUI thread only.
    void stop();
    void resume();

private:
    // The generation of the current run; work queued in an earlier one is dropped.
    bool current(unsigned long long generation) const;
    unsigned long long running() const;

    QObject *target;
    mutable std::mutex mutex;
    std::condition_variable finished;
    bool stopping = false;
    unsigned long long generation = 0;
};
