#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QThread>
#include <QVector>

#include <mutex>
#include <vector>

class QUdpSocket;

// One datagram that reached a discovery socket.
struct DiscoveryReply
{
    QByteArray data;
    // The device name the record holds, decoded on the reader's thread: nearly every reply
    // of a pass needs nothing else.
    QString name;
    QHostAddress sender;
    quint16 port = 0;
    // The address of the socket it reached.
    QHostAddress receiver;
};

using DiscoveryReplies = QVector<DiscoveryReply>;

// Reads discovery sockets on a thread of its own and hands what they receive to the thread
// that made the reader, a batch at a time. A pass brings a burst of a thousand replies in a
// few milliseconds, more than the receive buffer a stock system grants holds: read on the
// window's thread, every moment that thread is busy elsewhere costs replies, and every
// handful of replies costs it a wake-up. Here the burst is taken off the socket as it comes
// and reaches the window in a few large batches.
class DiscoveryReader : public QObject
{
    Q_OBJECT

public:
    // Replies are handed over once none has come for HAND_OVER_MS, or MAX_GATHER_MS after
    // the first of them.
    static constexpr int HAND_OVER_MS = 10;
    static constexpr int MAX_GATHER_MS = 100;
    // Replies waiting for the owner's thread at most: twice the largest installation's pass.
    // While the owner is away, a flood of replies must not grow the waiting ones without end.
    static constexpr int MAX_WAITING = 4096;

    // maxWaiting: MAX_WAITING unless a test needs fewer.
    explicit DiscoveryReader(int maxWaiting = MAX_WAITING, QObject *parent = nullptr);
    // Gives every socket back to this thread before the reader's own thread ends.
    ~DiscoveryReader() override;

    // Takes over a bound socket without a parent: from now on only the reader's thread reads
    // and writes it, until the reader ends. The caller keeps owning it and may still ask its
    // state and addresses.
    void adopt(QUdpSocket *socket);
    // Sends from an adopted socket, on the reader's thread; failures are not reported. Any
    // other socket sends nothing: the system would bind an unbound one to a port of its own
    // choosing, where no reply arrives, and the next bind would take it for done.
    void send(QUdpSocket *socket, const QByteArray &data, const QHostAddress &to, quint16 port);
    // Replies dropped so far because the owner's thread had not taken the ones before.
    quint64 dropped() const;

signals:
    // On the owner's thread, oldest reply first.
    void repliesRead(const DiscoveryReplies &replies);
    // Between the two threads, without a payload: what they hand each other waits under the
    // mutex, where the thread checker sees it.
    void requestsWaiting();
    void handOverReady();
    void releaseRequested();

private:
    class Worker;
    friend class Worker;

    struct Send
    {
        QUdpSocket *socket;
        QByteArray data;
        QHostAddress to;
        quint16 port;
    };

    // From the reader's thread: whether the owner must be told (the timer is started then).
    bool put(DiscoveryReplies &replies);
    // From the reader's thread, when the replies have gathered long enough.
    void postHandOver();
    void takeReplies();

    const int maxWaiting;
    QThread thread;
    Worker *worker;
    mutable std::mutex mutex;
    // Guarded by the mutex.
    DiscoveryReplies waiting;
    bool handOverPosted = false;
    quint64 droppedReplies = 0;
    quint64 droppedReported = 0;
    std::vector<QUdpSocket *> toAdopt;
    std::vector<Send> toSend;
};
