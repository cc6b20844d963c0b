#include "named_mutex.h"

#include <windows.h>

namespace platform {

std::unique_ptr<NamedMutex> NamedMutex::createOrOpen(const QString &name, OpenResult *result)
{
    HANDLE h = ::CreateMutexW(nullptr, TRUE, reinterpret_cast<LPCWSTR>(name.utf16()));
    if (!h) {
        *result = OpenResult::Failed;
        return nullptr;
    }
    // Initial ownership is granted only to the one that creates it.
    const bool created = ::GetLastError() != ERROR_ALREADY_EXISTS;
    *result = created ? OpenResult::Created : OpenResult::AlreadyExisted;
    return std::unique_ptr<NamedMutex>(new NamedMutex(reinterpret_cast<qintptr>(h), created));
}

NamedMutex::NamedMutex(qintptr handle, bool owned)
    : handle(handle)
    , owned(owned)
{
}

NamedMutex::~NamedMutex()
{
    // Closing the handle does not let go of ownership: the next waiter would find the
    // mutex abandoned.
    release();
    ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

void NamedMutex::release()
{
    if (owned)
        ::ReleaseMutex(reinterpret_cast<HANDLE>(handle));
    owned = false;
}

bool NamedMutex::wait(int timeoutMs)
{
    if (owned)
        return true;
    // A holder that ended without releasing (a crash, or an older copy of this program)
    // hands the mutex over as abandoned; it is owned all the same.
    const DWORD outcome = ::WaitForSingleObject(reinterpret_cast<HANDLE>(handle), DWORD(timeoutMs));
    owned = outcome == WAIT_OBJECT_0 || outcome == WAIT_ABANDONED;
    return owned;
}

} // namespace platform
