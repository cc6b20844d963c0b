#include "remote/web_client.h"

#include <civetweb.h>

namespace {

// RFC 6455 close codes.
constexpr quint16 CLOSE_POLICY = 1008;
constexpr quint16 CLOSE_NORMAL = 1000;

} // namespace

WebClient::WebClient(mg_connection *connection, const QHostAddress &peer, quint16 peerPort, qint64 maxQueuedBytes)
    : peer(peer)
    , peerPort(peerPort)
    , connection(connection)
    , maxQueuedBytes(maxQueuedBytes)
{
}

WebClient::~WebClient()
{
    stopWriting();
}

void WebClient::startWriting(std::function<void()> writeFailed)
{
    onWriteFailed = std::move(writeFailed);
    writer = std::thread([this] { writeLoop(); });
}

void WebClient::stopWriting()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (writer.joinable())
        writer.join();
}

bool WebClient::send(const Message &message)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        // Past a close nothing more goes out; only the call that overflows reports the drop.
        if (isDropped || closing)
            return true;
        if (queuedBytes + message->size() <= maxQueuedBytes) {
            queue.push_back(message);
            queuedBytes += message->size();
            wake.notify_all();
            return true;
        }
    }
    drop(QByteArrayLiteral("too slow: more than ") + QByteArray::number(maxQueuedBytes) + " bytes waiting");
    return false;
}

void WebClient::close(const QByteArray &reason)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (closing)
            return;
        closing = true;
        closePending = true;
        closeReason = reason;
    }
    wake.notify_all();
}

void WebClient::drop(const QByteArray &reason)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        isDropped = true;
        queue.clear();
        queuedBytes = 0;
        if (!closing) {
            closing = true;
            closePending = true;
            closeReason = reason;
        }
    }
    wake.notify_all();
}

void WebClient::writeLoop()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || !queue.empty() || closePending; });
        // A close asked for just before the server stops still tells the peer why; what
        // else waits could keep a peer that does not read holding up the stop.
        if (stopping) {
            queue.clear();
            queuedBytes = 0;
            if (!closePending)
                return;
        }
        if (!queue.empty()) {
            const Message message = queue.front();
            queue.pop_front();
            queuedBytes -= message->size();
            lock.unlock();
            // Blocks while the peer's window is full; meanwhile the queue fills up to its bound.
            const int written = mg_websocket_write(
                connection, MG_WEBSOCKET_OPCODE_TEXT, message->constData(), size_t(message->size()));
            lock.lock();
            if (written <= 0 && !isDropped) {
                isDropped = true;
                closePending = false;
                queue.clear();
                queuedBytes = 0;
                lock.unlock();
                onWriteFailed();
                lock.lock();
            }
            continue;
        }
        // Only the close frame is left: a status code, then the reason (at most 123 bytes).
        const quint16 code = isDropped ? CLOSE_POLICY : CLOSE_NORMAL;
        QByteArray frame;
        frame.append(char(code >> 8)).append(char(code & 0xff)).append(closeReason.left(123));
        closePending = false;
        lock.unlock();
        mg_websocket_write(connection, MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE, frame.constData(), size_t(frame.size()));
        isCloseSent = true;
        lock.lock();
    }
}
