#include "base/logging.h"

#include "base/paths.h"
#include "platform/platform.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QTextStream>

namespace logging {

const char *const DEFAULT_LOG_PATH = "~/.zentrova/zentrova.log";

namespace {

QString &currentPath()
{
    static QString path = QString::fromLatin1(DEFAULT_LOG_PATH);
    return path;
}

QMutex &writeMutex()
{
    static QMutex mutex;
    return mutex;
}

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

QString backupPath(const QString &path, int number)
{
    return number == 0 ? path : QStringLiteral("%1.%2").arg(path).arg(number);
}

void appendLine(const QString &path, const QString &line)
{
    QMutexLocker locker(&writeMutex());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    QTextStream stream(&file);
    stream.setCodec(platform::logCodec());
    stream << line << "\r\n";
    stream.flush();
}

} // namespace

void install(const QString &path)
{
    currentPath() = expandPathAndInitFile(path, false, QByteArray());
    qInstallMessageHandler(messageHandler);
}

QString logFilePath()
{
    return currentPath();
}

QString printable(const QString &message)
{
    QString result;
    result.reserve(message.size());
    for (const QChar c : message) {
        if (c == QLatin1Char('\n'))
            result += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            result += QLatin1String("\\r");
        else if ((c.category() == QChar::Other_Control && c != QLatin1Char('\t')) || c.category() == QChar::Other_Format
            || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            result += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            result += c;
    }
    return result;
}

QString fileLine(QtMsgType type, const QMessageLogContext &context, const QString &message, const QDateTime &time)
{
    const QString stamp = time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
    if (context.file) {
        return QStringLiteral("[%1] %2 %3(%4) <<%5>>: %6")
            .arg(stamp, QLatin1String(fileTag(type)), QString::fromUtf8(context.file), QString::number(context.line),
                QString::fromUtf8(context.function), printable(message));
    }
    return QStringLiteral("[%1] %2: %3").arg(stamp, QLatin1String(fileTag(type)), printable(message));
}

QString debuggerLine(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.file) {
        return QStringLiteral("%1(%2):%3<<%4>> %5")
            .arg(QString::fromUtf8(context.file), QString::number(context.line), QLatin1String(debuggerTag(type)),
                bareFunctionName(context.function), printable(message));
    }
    return QLatin1String(debuggerTag(type)) + printable(message);
}

void rotateIfNeeded(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.size() <= LOG_ROTATE_BYTES)
        return;
    for (int n = LOG_BACKUPS; n >= 1; --n) {
        const QString from = backupPath(path, n - 1);
        if (QFile::exists(from))
            platform::renameReplacing(from, backupPath(path, n));
    }
}

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString path = currentPath();
    rotateIfNeeded(path);
    appendLine(path, fileLine(type, context, message, QDateTime::currentDateTime()));
    platform::writeDebuggerOutput(debuggerLine(type, context, message) + QStringLiteral("\r\n"));
}

} // namespace logging
