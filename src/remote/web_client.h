#pragma once

#include <QByteArray>
#include <QHostAddress>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

struct mg_connection;

// Commands counted in the current one-second window.
struct RateWindow
{
    qint64 start = 0;
    int count = 0;
};

// One WebSocket connection as three threads see it: civetweb's worker reads it, a writer
// thread of its own sends to it, and the GUI thread decides what to send. Messages wait in a
// bounded queue, so that a client that stops reading costs bounded memory and never blocks
// the GUI thread or the other clients; past the bound (in bytes, so that a burst of small
// events fits where a backlog of large answers does not) the client is dropped.
class WebClient
{
public:
    using Message = std::shared_ptr<const QByteArray>;

    WebClient(mg_connection *connection, const QHostAddress &peer, quint16 peerPort, qint64 maxQueuedBytes);
    ~WebClient();
    WebClient(const WebClient &) = delete;
    WebClient &operator=(const WebClient &) = delete;

    // Worker thread, once the handshake is done. A write the peer does not take in time (or a
    // broken connection) drops the client and calls writeFailed from the writer thread.
    void startWriting(std::function<void()> writeFailed);
    // Worker thread, when the connection ends: returns once nothing writes to it any more.
    void stopWriting();

    // Any thread. False when this message overflowed the queue: the client has then been
    // dropped. Messages after a close or a drop are discarded.
    bool send(const Message &message);
    // Any thread: sends what is queued, then a close frame with this reason.
    void close(const QByteArray &reason);
    // Any thread: forgets what is queued and closes with this reason.
    void drop(const QByteArray &reason);
    bool dropped() const { return isDropped; }
    // Set once the close frame is out: whatever the peer sends after it ends the connection.
    bool closeSent() const { return isCloseSent; }

    const QHostAddress peer;
    const quint16 peerPort;

    // GUI thread only.
    struct Session
    {
        QByteArray challenge;
        // Given after sign-in, for the page's picture requests; dies with the session.
        QByteArray ticket;
        // Set once its one try at signing in failed: nothing else is taken from it.
        bool failed = false;
        bool authenticated = false;
        bool subscribed = false;
        RateWindow rate;
    } session;

    // Set by the GUI thread at sign-in; read by civetweb's threads to count who waits.
    std::atomic<bool> signedIn {false};

    // Bytes handed to the GUI thread and not yet handled.
    std::atomic<qint64> inFlight {0};

private:
    void writeLoop();

    mg_connection *const connection;
    const qint64 maxQueuedBytes;
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<Message> queue;
    qint64 queuedBytes = 0;
    QByteArray closeReason;
    bool closing = false;
    bool closePending = false;
    bool stopping = false;
    std::atomic<bool> isDropped {false};
    std::atomic<bool> isCloseSent {false};
    std::function<void()> onWriteFailed;
    std::thread writer;
};
