#pragma once

#include <QString>
#include <memory>

namespace platform {

// A system-wide named lock that outlives nothing but the process holding it: it is
// released when the handle is destroyed or the process ends, also by a crash.
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

    // Waits up to timeoutMs for ownership; true only for a clean acquisition.
    bool wait(int timeoutMs);

private:
    explicit NamedMutex(qintptr handle);
    qintptr handle;
};

} // namespace platform
