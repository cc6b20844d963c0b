#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace platform {

// Turns the operating system's requests to end the program (SIGTERM, SIGINT and SIGHUP; a
// console's close or Ctrl+C on Windows) into a signal on the thread that made this object,
// so that the program can end through its event loop and keep what it has not saved yet.
// One at a time: a second object takes the requests over from the first.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    // The requests end the process as they did before.
    ~StopSignals() override;

    // False when the requests could not be caught; they then end the process at once.
    bool isActive() const { return active; }

signals:
    // reason names the request, e.g. "SIGTERM".
    void stopRequested(const QString &reason);

private slots:
    void onReadable();

private:
    bool active = false;
    QSocketNotifier *notifier = nullptr;
};

} // namespace platform
