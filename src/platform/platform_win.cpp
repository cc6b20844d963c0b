#include "platform.h"

#include <QDir>
#include <QGuiApplication>
#include <QVector>

#include <io.h>
// Before windows.h, which would otherwise bring the old socket header in first.
#include <winsock2.h>

#include <windows.h>
// After windows.h, whose types it uses.
#include <psapi.h>

namespace platform {
namespace {

// RT_VERSION itself is the narrow or the wide form depending on UNICODE; the calls here are
// all the wide ones, whatever the build defines.
const LPCWSTR VersionResourceType = MAKEINTRESOURCEW(16);

} // namespace

QString fileVersion()
{
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(1), VersionResourceType);
    if (!info)
        return QString();
    HGLOBAL loaded = ::LoadResource(module, info);
    const void *data = loaded ? ::LockResource(loaded) : nullptr;
    const DWORD size = ::SizeofResource(module, info);
    if (!data || size == 0)
        return QString();
    // VerQueryValueW may write into the block, so query a private copy.
    QByteArray copy(static_cast<const char *>(data), int(size));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(copy.data(), L"\\", reinterpret_cast<void **>(&fixed), &length) || !fixed)
        return QString();
    return QStringLiteral("%1.%2.%3.%4")
        .arg(HIWORD(fixed->dwFileVersionMS))
        .arg(LOWORD(fixed->dwFileVersionMS))
        .arg(HIWORD(fixed->dwFileVersionLS))
        .arg(LOWORD(fixed->dwFileVersionLS));
}

QString executablePath()
{
    wchar_t buffer[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return QString::fromWCharArray(buffer, int(n));
}

void writeDebuggerOutput(const QString &text)
{
    ::OutputDebugStringW(reinterpret_cast<LPCWSTR>(text.utf16()));
}

bool renameReplacing(const QString &from, const QString &to)
{
    return ::MoveFileExW(reinterpret_cast<LPCWSTR>(from.utf16()), reinterpret_cast<LPCWSTR>(to.utf16()),
               MOVEFILE_REPLACE_EXISTING)
        != 0;
}

bool syncFile(qintptr handle)
{
    // Qt hands out a C runtime descriptor for its files.
    return ::_commit(int(handle)) == 0;
}

bool syncFolder(const QString &)
{
    // NTFS journals the rename itself; a folder cannot be flushed like a file.
    return true;
}

bool linkReplacing(const QString &existing, const QString &link)
{
    const std::wstring from = QDir::toNativeSeparators(existing).toStdWString();
    const std::wstring to = QDir::toNativeSeparators(link).toStdWString();
    ::DeleteFileW(to.c_str());
    return ::CreateHardLinkW(to.c_str(), from.c_str(), nullptr) != 0;
}

QTextCodec *logCodec()
{
    return QTextCodec::codecForLocale();
}

bool isTabletMode()
{
    using TabletModeFunction = bool (*)();
    auto function = reinterpret_cast<TabletModeFunction>(QGuiApplication::platformFunction("WindowsIsTabletMode"));
    return function && function();
}

qint64 sendOutOfBand(qintptr socketDescriptor, const char *data, qint64 size)
{
    return ::send(SOCKET(socketDescriptor), data, int(size), MSG_OOB);
}

qint64 residentMemoryBytes()
{
    PROCESS_MEMORY_COUNTERS counters {};
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters))
        return -1;
    return qint64(counters.WorkingSetSize);
}

} // namespace platform
