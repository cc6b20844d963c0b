#pragma once

#include <QString>
#include <QTextCodec>

// What the program needs from the operating system beyond Qt. Everything here has a
// POSIX side and a Win32 side; the rest of the code never tests for the OS itself.
namespace platform {

// The program's own file version as "a.b.c.d"; empty when the OS cannot tell.
QString fileVersion();

// Full path of the running executable.
QString executablePath();

// Writes one line to the system debugger output (standard error off Windows).
void writeDebuggerOutput(const QString &text);

// Renames a file, replacing an existing target. False on failure.
bool renameReplacing(const QString &from, const QString &to);

// Makes what was written through the open file handle reach the disk. False on failure.
bool syncFile(qintptr handle);

// Makes a rename or a new name inside the folder reach the disk; a rename is not safe
// from a power cut until its folder is synced. False on failure.
bool syncFolder(const QString &path);

// Gives the file at `existing` the second name `link` (replacing whatever holds that name)
// without copying its content. False when the file system cannot; callers copy instead.
bool linkReplacing(const QString &existing, const QString &link);

// The codec the log file is written in.
QTextCodec *logCodec();

// True while Windows runs in tablet mode; always false elsewhere.
bool isTabletMode();

// Memory of this process held in RAM now (resident set, working set), in bytes; -1 where
// the OS cannot tell.
qint64 residentMemoryBytes();

// Sends bytes on a connected TCP socket as urgent (out-of-band) data.
// Returns the number of bytes sent or -1.
qint64 sendOutOfBand(qintptr socketDescriptor, const char *data, qint64 size);

} // namespace platform
