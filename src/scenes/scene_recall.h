#pragma once

#include "scenes/scene.h"

#include <QObject>
#include <QPointer>
#include <QVector>

class DeviceManager;
class QTimer;
class RxDevice;
class RxDeviceBase;

// Recalls one scene at a time: every route goes out at once through the manager (decoders
// in parallel on their own links, each wall's datagram once), then every decoder is asked
// what it shows. The report lists the decoders that did not confirm, which can be retried.
// Only the answer to the recall's own question counts: a decoder may still be answering a
// question asked before the recall (a slow link, a reconnection's reading), and that answer
// tells what it showed before the route.
// A screen the scene names that is no longer listed is `not_found` under the scene's name
// for it; a decoder that has joined a wall since is `moved` and left alone, since routing
// its wall would change screens the scene does not name. An encoder that is not listed is
// never sent: its screens are `refused`.
// The routes are handed out in slices of about DECODERS_PER_TURN decoders, one slice per
// event-loop turn: queuing a command costs the GUI thread a fraction of a millisecond (the
// link writes it at once, and logs), so hundreds in one go would freeze the window, while
// the links of the first slices are already writing as the next ones are queued.
class SceneRecall : public QObject
{
    Q_OBJECT

public:
    // Counted from the moment the last route was handed out.
    static constexpr int READ_BACK_TIMEOUT_MS = 5000;
    // A wall is never split: its members are routed together, however many.
    static constexpr int DECODERS_PER_TURN = 32;

    enum class Outcome { Waiting, Confirmed, Offline, Refused, TimedOut, NotFound, Moved };
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
    void setDecodersPerTurn(int count) { decodersPerTurn = qMax(1, count); }

    static QString outcomeName(Outcome outcome);

signals:
    void progress(int resolved, int total);
    void finished();

private:
    void send(const Scene &part);
    void sendSlice();
    // `sent` false: the manager refused the route, and nothing is asked.
    // `busy`: the decoder had commands queued before the route, so the first command it
    // finishes may be a question asked before the recall.
    void expect(
        const QSharedPointer<RxDevice> &decoder, const QString &target, const QString &wanted, bool sent, bool busy);
    // The check for a target that is not a listed screen.
    Check unlisted(const QString &target, const QString &wanted) const;
    void resolve(int index, Outcome outcome, const QString &reported);
    void onTimeout();
    void finish();

    DeviceManager *manager;
    QTimer *timer;
    // The next slice's turn.
    QTimer *pacer;
    Scene scene;
    // The routes not yet handed out, and the screens already routed, for the display power.
    Scene unsent;
    QList<QSharedPointer<RxDeviceBase>> powered;
    bool sending = false;
    int decodersPerTurn = DECODERS_PER_TURN;
    QVector<Check> checks;
    QVector<QPointer<RxDevice>> decoders;
    QVector<QMetaObject::Connection> connections;
};
