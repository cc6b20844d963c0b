#include "remote/gui_hand_over.h"

#include <QMetaObject>
#include <QObject>

#include <memory>

GuiHandOver::GuiHandOver(QObject *target)
    : target(target)
{
}

bool GuiHandOver::call(const std::function<void()> &work)
{
    // The flag lives on the heap: a caller released by stop() returns while the queued call
    // still refers to it. The work itself never runs after stop(), and stop() runs on the
    // same thread as the work, so what work refers to on the caller's stack is still there.
    auto done = std::make_shared<bool>(false);
    const unsigned long long run = running();
    if (!current(run))
        return false;
    QMetaObject::invokeMethod(
        target,
        [this, done, run, &work] {
            if (!current(run))
                return;
            work();
            {
                std::lock_guard<std::mutex> lock(mutex);
                *done = true;
            }
            finished.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(mutex);
    finished.wait(lock, [&] { return *done || stopping || generation != run; });
    return *done;
}

void GuiHandOver::post(std::function<void()> work)
{
    const unsigned long long run = running();
    if (!current(run))
        return;
    QMetaObject::invokeMethod(
        target,
        [this, run, work = std::move(work)] {
            if (current(run))
                work();
        },
        Qt::QueuedConnection);
}

void GuiHandOver::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        ++generation;
    }
    finished.notify_all();
}

void GuiHandOver::resume()
{
    std::lock_guard<std::mutex> lock(mutex);
    stopping = false;
}

bool GuiHandOver::current(unsigned long long run) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return !stopping && generation == run;
}

unsigned long long GuiHandOver::running() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return generation;
}
