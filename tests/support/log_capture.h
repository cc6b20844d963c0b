#pragma once

#include <QStringList>
#include <QtGlobal>

// Collects the messages of one level while it lives, so that a test can tell exactly
// which warnings or notes a piece of code wrote. Other messages go on to the handler
// that was installed before.
class LogCapture
{
public:
    explicit LogCapture(QtMsgType level)
        : level(level)
        , previous(qInstallMessageHandler(&LogCapture::handler))
    {
        active = this;
    }
    ~LogCapture()
    {
        active = nullptr;
        qInstallMessageHandler(previous);
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList messages() const { return captured; }
    // The captured messages that contain the text.
    QStringList matching(const QString &text) const { return captured.filter(text); }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (active && type == active->level)
            active->captured.append(message);
        else if (active && active->previous)
            active->previous(type, context, message);
    }

    static inline LogCapture *active = nullptr;
    QtMsgType level;
    QStringList captured;
    QtMessageHandler previous;
};
