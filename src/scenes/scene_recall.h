#pragma once

#include "scenes/scene.h"

#include <QObject>
#include <QPointer>
#include <QVector>

class DeviceManager;
class QTimer;
class RxDevice;

// Recalls one scene at a time: every route goes out at once through the manager (decoders
// in parallel on their own links, each wall's datagram once), then every decoder is asked
// what it shows. The report lists the decoders that did not confirm, which can be retried.
class SceneRecall : public QObject
{
    Q_OBJECT

public:
    static constexpr int READ_BACK_TIMEOUT_MS = 5000;

    enum class Outcome { Waiting, Confirmed, Offline, Refused, TimedOut };
    struct Check
    {
        QString decoder; // device name; the target's name when it is not listed
        QString target; // the decoder or wall the scene names
        QString wanted;
        QString reported; // what the decoder answered, when it answered
        Outcome outcome = Outcome::Waiting;
    };

    SceneRecall(DeviceManager *manager, QObject *parent = nullptr);

    // False while a recall runs.
    bool start(const Scene &scene);
    // Sends again what did not confirm in the last report; false when nothing is left.
    bool retry();
    bool running() const;
    QString sceneName() const { return scene.name; }
    int confirmedCount() const;
    int resolvedCount() const;
    QVector<Check> report() const { return checks; }
    void setReadBackTimeout(int milliseconds);

    static QString outcomeName(Outcome outcome);

signals:
    void progress(int resolved, int total);
    void finished();

private:
    void send(const Scene &part);
    // `sent` false: the manager refused the route, and nothing is asked.
    void expect(const QSharedPointer<RxDevice> &decoder, const QString &target, const QString &wanted, bool sent);
    void resolve(int index, Outcome outcome, const QString &reported);
    void onTimeout();
    void finish();

    DeviceManager *manager;
    QTimer *timer;
    Scene scene;
    QVector<Check> checks;
    QVector<QPointer<RxDevice>> decoders;
    QVector<QMetaObject::Connection> connections;
};
