#include "log_capture.h"

namespace {

LogCapture *active = nullptr;

} // namespace

LogCapture::LogCapture(QtMsgType level)
    : level(level)
    , previous(qInstallMessageHandler(&LogCapture::handler))
{
    active = this;
}

LogCapture::~LogCapture()
{
    active = nullptr;
    qInstallMessageHandler(previous);
}

QStringList LogCapture::matching(const QString &text) const
{
    return captured.filter(text);
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (active && type == active->level) {
        active->captured.append(message);
        return;
    }
    if (active && active->previous)
        active->previous(type, context, message);
}
