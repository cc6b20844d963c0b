#include "base/logging.h"

#include "base/paths.h"
#include "platform/platform.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QRecursiveMutex>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTextCodec>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace logging {

const char *const DEFAULT_LOG_PATH = "~/.zentrova/zentrova.log";

namespace {

// Daylight-saving and zone changes happen on a quarter hour of UTC (offsets are whole
// quarter hours), so the offset found at the start of a quarter holds for all of it.
constexpr qint64 OFFSET_PERIOD_MS = 15 * 60 * 1000;
constexpr qint64 DAY_MS = 24 * 60 * 60 * 1000;
// Notices that the file was removed or replaced behind the handler's back.
constexpr qint64 PATH_CHECK_MS = 1000;

const char *fileTag(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "-D- ";
    case QtInfoMsg:
        return "-I- ";
    case QtWarningMsg:
        return "-W- ";
    case QtCriticalMsg:
        return "-C- ";
    case QtFatalMsg:
        return "-F- ";
    }
    return "-E- ";
}

const char *debuggerTag(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return " [Debug] ";
    case QtInfoMsg:
        return " [Info] ";
    case QtWarningMsg:
        return " [Warning] ";
    case QtCriticalMsg:
        return " [Critical] ";
    case QtFatalMsg:
        return " [Fatal] ";
    }
    return " [Error] ";
}

QString bareFunctionName(const char *signature)
{
    static const QRegularExpression pattern(QStringLiteral(".*\\s([^\\s]+)\\(.*"));
    const QString full = QString::fromUtf8(signature);
    const QRegularExpressionMatch match = pattern.match(full);
    return match.hasMatch() ? match.captured(1) : full;
}

// A signature is a literal of its call site: one match per site, not one per line. Per
// thread, so that no lock is needed; a few hundred sites at most.
const QString &cachedBareFunctionName(const char *signature)
{
    thread_local QHash<const char *, QString> names;
    auto found = names.constFind(signature);
    if (found == names.constEnd())
        found = names.insert(signature, bareFunctionName(signature));
    return *found;
}

QString backupPath(const QString &path, int number)
{
    return number == 0 ? path : QStringLiteral("%1.%2").arg(path).arg(number);
}

void shiftBackups(const QString &path)
{
    for (int n = LOG_BACKUPS; n >= 1; --n) {
        const QString from = backupPath(path, n - 1);
        if (QFile::exists(from))
            platform::renameReplacing(from, backupPath(path, n));
    }
}

// Everything of a file line after the time stamp; `text` is already printable.
QString lineBody(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (context.file) {
        return QStringLiteral("] %1 %2(%3) <<%4>>: %5")
            .arg(QLatin1String(fileTag(type)), QString::fromUtf8(context.file), QString::number(context.line),
                QString::fromUtf8(context.function), text);
    }
    return QStringLiteral("] %1: %2").arg(QLatin1String(fileTag(type)), text);
}

// Local time for log stamps without asking the C library for every line: it would look at
// the time-zone file each time.
class StampClock
{
public:
    QString at(qint64 utc)
    {
        const qint64 period = utc - utc % OFFSET_PERIOD_MS;
        if (period != offsetPeriod) {
            offsetPeriod = period;
            offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(period).offsetFromUtc()) * 1000;
        }
        const qint64 local = utc + offsetMs;
        const qint64 day = local - local % DAY_MS;
        if (day != dayStart) {
            dayStart = day;
            dayText = QDateTime::fromMSecsSinceEpoch(day, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd "));
        }
        const qint64 ms = local - day;
        char time[32];
        std::snprintf(time, sizeof time, "%02d:%02d:%02d.%03d", int(ms / 3600000), int(ms / 60000 % 60),
            int(ms / 1000 % 60), int(ms % 1000));
        return dayText + QLatin1String(time);
    }

private:
    qint64 offsetPeriod = -1;
    qint64 offsetMs = 0;
    qint64 dayStart = -1;
    QString dayText;
};

// The log file stays open between lines. Each line is handed to the system in one write
// with no buffer of our own, so a crash of the program loses no line; only a crash of the
// machine can lose the last lines the system had not yet put on the disk.
class LogFile
{
public:
    void setPath(const QString &newPath)
    {
        QMutexLocker locker(&mutex);
        file.close();
        path = newPath;
    }

    QString currentPath()
    {
        QMutexLocker locker(&mutex);
        return path;
    }

    void append(const QString &body)
    {
        QMutexLocker locker(&mutex);
        if (busy)
            return;
        busy = true;
        const auto done = qScopeGuard([this] { busy = false; });
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const QString line = QLatin1Char('[') + clock.at(now) + body + QLatin1String("\r\n");
        if (file.isOpen() && now - checkedAt >= PATH_CHECK_MS) {
            checkedAt = now;
            if (!QFileInfo::exists(path))
                file.close();
        }
        // The size is asked of the open file each time: a second copy of the program, during
        // a restart, may be writing to it too.
        if (file.isOpen() && size() > LOG_ROTATE_BYTES) {
            file.close();
            shiftBackups(path);
        }
        if (!file.isOpen() && !open())
            return;
        file.write(platform::logCodec()->fromUnicode(line));
    }

private:
    // Asked of the system each time: QFile keeps the size it saw last.
    qint64 size() const
    {
#ifdef Q_OS_UNIX
        struct stat status;
        return ::fstat(file.handle(), &status) == 0 ? qint64(status.st_size) : 0;
#else
        return QFileInfo(path).size();
#endif
    }

    bool open()
    {
        rotateIfNeeded(path);
        checkedAt = QDateTime::currentMSecsSinceEpoch();
        // The log holds device names, addresses and what the user did: the owner's alone.
#ifdef Q_OS_UNIX
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        if (!file.open(
                fd, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return false;
        }
#else
        file.setFileName(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return false;
#endif
        // A file left by an older version may be readable by others.
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return true;
    }

    // Recursive: a warning Qt raises while the handler works must not deadlock it; that
    // warning reaches only the debugger output.
    QRecursiveMutex mutex;
    QString path = QString::fromLatin1(DEFAULT_LOG_PATH);
    QFile file;
    StampClock clock;
    qint64 checkedAt = 0;
    bool busy = false;
};

LogFile &logFile()
{
    static LogFile instance;
    return instance;
}

} // namespace

void install(const QString &path)
{
    const QString expanded = expandPathAndInitFile(path, true, QByteArray());
    const QString dir = QFileInfo(expanded).absolutePath();
    if (!QDir().mkpath(dir))
        qWarning().noquote() << "Error, cannot create dir" << dir;
    logFile().setPath(expanded);
    qInstallMessageHandler(messageHandler);
}

QString logFilePath()
{
    return logFile().currentPath();
}

QString stampAt(qint64 utcMs)
{
    thread_local StampClock clock;
    return clock.at(utcMs);
}

namespace {

bool needsEscape(QChar c)
{
    if (c.unicode() >= 0x20 && c.unicode() < 0x7f)
        return false;
    return (c.category() == QChar::Other_Control && c != QLatin1Char('\t')) || c.category() == QChar::Other_Format
        || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

} // namespace

QString printable(const QString &message)
{
    // Nearly every message needs nothing: it is passed on without a copy.
    const QChar *first = std::find_if(message.cbegin(), message.cend(), needsEscape);
    if (first == message.cend())
        return message;
    QString result;
    result.reserve(message.size() + 8);
    result.append(message.cbegin(), int(first - message.cbegin()));
    for (const QChar *c = first; c != message.cend(); ++c) {
        if (!needsEscape(*c))
            result += *c;
        else if (*c == QLatin1Char('\n'))
            result += QLatin1String("\\n");
        else if (*c == QLatin1Char('\r'))
            result += QLatin1String("\\r");
        else
            result += QStringLiteral("\\x%1").arg(c->unicode(), 2, 16, QLatin1Char('0'));
    }
    return result;
}

QString debuggerLine(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (context.file) {
        return QStringLiteral("%1(%2):%3<<%4>> %5")
            .arg(QString::fromUtf8(context.file), QString::number(context.line), QLatin1String(debuggerTag(type)),
                cachedBareFunctionName(context.function), text);
    }
    return QLatin1String(debuggerTag(type)) + text;
}

void rotateIfNeeded(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() && info.size() > LOG_ROTATE_BYTES)
        shiftBackups(path);
}

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString text = printable(message);
    logFile().append(lineBody(type, context, text));
    platform::writeDebuggerOutput(debuggerLine(type, context, text) + QStringLiteral("\r\n"));
}

} // namespace logging
