#pragma once

#include <QString>
#include <QtGlobal>

// The process-wide message handler: one line per message to the log file, rotated
// above LOG_ROTATE_BYTES with two backups, and a shorter line to the debugger output.
// The file stays open and is created readable by its owner only; every line reaches the
// system at once, so a crash of the program loses none.
namespace logging {

constexpr qint64 LOG_ROTATE_BYTES = 5242880;
constexpr int LOG_BACKUPS = 2;
extern const char *const DEFAULT_LOG_PATH;

// Expands and creates the log file, then installs the handler for every message.
void install(const QString &path = QString::fromLatin1(DEFAULT_LOG_PATH));

// The log file the handler writes to.
QString logFilePath();

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);

// Every message stays on one line: line breaks and other control characters (tabs
// excepted) are shown as \n, \r or \xNN, so that text from the network, such as a
// device name, can never forge a log line.
QString printable(const QString &message);
// The time stamp of a file line for a moment in milliseconds since 1970 (UTC): local time,
// the zone's offset looked up once a quarter hour.
QString stampAt(qint64 utcMs);
// The debugger's copy of a line; `text` is already printable.
QString debuggerLine(QtMsgType type, const QMessageLogContext &context, const QString &text);

// Shifts the log file to ".1" and ".1" to ".2" when the file is larger than the limit.
void rotateIfNeeded(const QString &path);

} // namespace logging
