#pragma once

#include <QStringList>
#include <QtGlobal>

// Collects the messages of one level while it lives, so that a test can tell exactly
// which warnings or notes a piece of code wrote. Other messages go on to the handler
// that was installed before.
class LogCapture
{
public:
    explicit LogCapture(QtMsgType level);
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList messages() const { return captured; }
    // The captured messages that contain the text.
    QStringList matching(const QString &text) const;

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);

    QtMsgType level;
    QStringList captured;
    QtMessageHandler previous;
};
