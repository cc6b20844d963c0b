#pragma once

#include <QString>
#include <memory>

namespace platform {

// A system-wide named lock that outlives nothing but the process holding it: it is
// released when the handle is destroyed or the process ends, also by a crash. A holder
// that ended without releasing it leaves it to the next waiter.
class NamedMutex
{
public:
    enum class OpenResult { Failed, Created, AlreadyExisted };

    // Creates the lock or opens the existing one, asking for initial ownership.
    // Created means the caller owns it now; AlreadyExisted means another holder has it.
    static std::unique_ptr<NamedMutex> createOrOpen(const QString &name, OpenResult *result);

    ~NamedMutex();
    NamedMutex(const NamedMutex &) = delete;
    NamedMutex &operator=(const NamedMutex &) = delete;

    // Waits up to timeoutMs for ownership; true once owned, also when the previous holder
    // ended without letting go.
    bool wait(int timeoutMs);
    // Lets go of ownership, if held; the destructor does so too.
    void release();

private:
    NamedMutex(qintptr handle, bool owned);
    qintptr handle;
    bool owned;
};

} // namespace platform
