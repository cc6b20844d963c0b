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
    *result = ::GetLastError() == ERROR_ALREADY_EXISTS ? OpenResult::AlreadyExisted : OpenResult::Created;
    return std::unique_ptr<NamedMutex>(new NamedMutex(reinterpret_cast<qintptr>(h)));
}

NamedMutex::NamedMutex(qintptr handle) : handle(handle) {}

NamedMutex::~NamedMutex()
{
    ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

bool NamedMutex::wait(int timeoutMs)
{
    return ::WaitForSingleObject(reinterpret_cast<HANDLE>(handle), DWORD(timeoutMs)) == WAIT_OBJECT_0;
}

} // namespace platform
