#include "discovery/discovery_reader.h"

#include "discovery/device_discovery_response.h"
#include "platform/datagram_reader.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QSet>
#include <QTimer>
#include <QUdpSocket>

// The part that lives on the reader's thread: it reads each socket as soon as it signals,
// and starts the hand-over clock when replies come in.
class DiscoveryReader::Worker : public QObject
{
public:
    explicit Worker(DiscoveryReader *reader)
        : reader(reader)
        , handOver(new QTimer(this))
    {
        handOver->setSingleShot(true);
        handOver->setInterval(HAND_OVER_MS);
        connect(handOver, &QTimer::timeout, this, [this] { this->reader->postHandOver(); });
    }

    void watch(QUdpSocket *socket)
    {
        watched.insert(socket);
        connect(socket, &QUdpSocket::readyRead, this, [this, socket] { read(socket); });
        // What came in before the socket was watched signals no more.
        read(socket);
    }

    // Sockets given back are never touched again, whatever calls are still queued here.
    bool watches(QUdpSocket *socket) const { return watched.contains(socket); }

    // What the owner asked for since the last time.
    void takeRequests()
    {
        std::vector<QUdpSocket *> adopt;
        std::vector<Send> sends;
        {
            std::lock_guard<std::mutex> lock(reader->mutex);
            adopt.swap(reader->toAdopt);
            sends.swap(reader->toSend);
        }
        for (QUdpSocket *socket : adopt)
            watch(socket);
        for (const Send &send : sends) {
            if (watches(send.socket))
                send.socket->writeDatagram(send.data, send.to, send.port);
        }
    }

    void release(QThread *owner)
    {
        handOver->stop();
        for (QUdpSocket *socket : qAsConst(watched)) {
            disconnect(socket, nullptr, this, nullptr);
            socket->moveToThread(owner);
        }
        watched.clear();
    }

private:
    void read(QUdpSocket *socket)
    {
        if (!watches(socket))
            return;
        const QHostAddress receiver = socket->localAddress();
        DiscoveryReplies replies;
        const bool burst = platform::readPendingDatagrams(*socket, DISCOVERY_RECORD_SIZE,
            [&replies, &receiver](const QByteArray &data, const QHostAddress &sender, quint16 port) {
                replies.append({data, DeviceDiscoveryResponse::nameOf(data), sender, port, receiver});
            });
        // The socket signals no more until a read finds it empty: this thread has nothing
        // else to do, so it reads again at once, after whatever else is queued.
        if (burst)
            QMetaObject::invokeMethod(this, [this, socket] { read(socket); }, Qt::QueuedConnection);
        // Handed over once the burst has been quiet for a moment: the window's thread, busy
        // with a batch, would take a processor the burst's reading needs. A flood that is
        // never quiet is handed over at the latest MAX_GATHER_MS after its first reply.
        if (!replies.isEmpty() && reader->put(replies)) {
            if (!handOver->isActive())
                gathering.start();
            if (gathering.elapsed() < MAX_GATHER_MS)
                handOver->start();
        }
    }

    DiscoveryReader *reader;
    QSet<QUdpSocket *> watched;
    // A child, so that it moves to the reader's thread with the worker.
    QTimer *handOver;
    QElapsedTimer gathering;
};

DiscoveryReader::DiscoveryReader(int maxWaiting, QObject *parent)
    : QObject(parent)
    , maxWaiting(maxWaiting)
    , worker(new Worker(this))
{
    thread.setObjectName(QStringLiteral("discovery"));
    worker->moveToThread(&thread);
    // Connected before the thread starts, so that what the calls hold is the thread's to read.
    Worker *w = worker;
    QThread *ownerThread = QThread::currentThread();
    connect(this, &DiscoveryReader::requestsWaiting, worker, [w] { w->takeRequests(); }, Qt::QueuedConnection);
    connect(this, &DiscoveryReader::releaseRequested, worker, [w, ownerThread] { w->release(ownerThread); },
        Qt::BlockingQueuedConnection);
    connect(this, &DiscoveryReader::handOverReady, this, &DiscoveryReader::takeReplies, Qt::QueuedConnection);
    // The thread's last act: the mutex, taken last on both sides, orders everything the
    // thread did before the destructor's work.
    connect(&thread, &QThread::finished, worker, [this] { std::lock_guard<std::mutex> lock(mutex); },
        Qt::DirectConnection);
}

DiscoveryReader::~DiscoveryReader()
{
    if (thread.isRunning()) {
        emit releaseRequested();
        thread.quit();
        thread.wait();
    }
    std::lock_guard<std::mutex> lock(mutex);
    delete worker;
}

void DiscoveryReader::adopt(QUdpSocket *socket)
{
    if (!thread.isRunning())
        thread.start();
    socket->moveToThread(&thread);
    {
        std::lock_guard<std::mutex> lock(mutex);
        toAdopt.push_back(socket);
    }
    emit requestsWaiting();
}

void DiscoveryReader::send(QUdpSocket *socket, const QByteArray &data, const QHostAddress &to, quint16 port)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        toSend.push_back({socket, data, to, port});
    }
    emit requestsWaiting();
}

quint64 DiscoveryReader::dropped() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return droppedReplies;
}

bool DiscoveryReader::put(DiscoveryReplies &replies)
{
    std::lock_guard<std::mutex> lock(mutex);
    const int room = maxWaiting - waiting.size();
    if (replies.size() > room) {
        droppedReplies += quint64(replies.size() - room);
        replies.resize(room);
    }
    if (waiting.isEmpty())
        waiting.swap(replies);
    else
        waiting += replies;
    // A hand-over already on its way takes these too.
    return !handOverPosted;
}

void DiscoveryReader::postHandOver()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (handOverPosted || waiting.isEmpty())
            return;
        handOverPosted = true;
    }
    emit handOverReady();
}

void DiscoveryReader::takeReplies()
{
    DiscoveryReplies replies;
    quint64 newlyDropped = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        replies.swap(waiting);
        handOverPosted = false;
        newlyDropped = droppedReplies - droppedReported;
        droppedReported = droppedReplies;
    }
    if (newlyDropped > 0)
        qWarning().noquote() << newlyDropped
                             << "discovery replies were dropped: the window's thread did not take them in time";
    if (!replies.isEmpty())
        emit repliesRead(replies);
}
