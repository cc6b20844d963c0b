#include "platform/datagram_reader.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <sys/socket.h>
#include <vector>
#endif

namespace platform {

namespace {

// Takes one datagram through Qt. Qt arms its read notifier again only after a read of its
// own, so the last read of every wake-up goes this way, whatever the OS offers.
bool readOneThroughQt(QUdpSocket &socket, int maxSize, const DatagramHandler &handle)
{
    const QNetworkDatagram datagram = socket.receiveDatagram(maxSize);
    if (!datagram.isValid())
        return false;
    handle(datagram.data(), datagram.senderAddress(), quint16(datagram.senderPort()));
    return true;
}

#ifdef Q_OS_LINUX

constexpr unsigned BATCH = 64;

// Reads what is waiting, BATCH datagrams per call, until a call finds fewer than that;
// returns whether it found any.
bool readInBatches(QUdpSocket &socket, int maxSize, const DatagramHandler &handle)
{
    bool found = false;
    const int fd = int(socket.socketDescriptor());
    std::vector<char> buffers(size_t(BATCH) * size_t(maxSize));
    std::vector<mmsghdr> messages(BATCH);
    std::vector<iovec> slices(BATCH);
    std::vector<sockaddr_storage> senders(BATCH);
    for (;;) {
        for (unsigned i = 0; i < BATCH; ++i) {
            slices[i] = {buffers.data() + size_t(i) * size_t(maxSize), size_t(maxSize)};
            messages[i] = {};
            messages[i].msg_hdr.msg_iov = &slices[i];
            messages[i].msg_hdr.msg_iovlen = 1;
            messages[i].msg_hdr.msg_name = &senders[i];
            messages[i].msg_hdr.msg_namelen = sizeof(sockaddr_storage);
        }
        const int count = recvmmsg(fd, messages.data(), BATCH, MSG_DONTWAIT, nullptr);
        if (count <= 0)
            return found;
        found = true;
        for (int i = 0; i < count; ++i) {
            const auto *sender = reinterpret_cast<const sockaddr *>(&senders[size_t(i)]);
            quint16 port = 0;
            if (sender->sa_family == AF_INET)
                port = ntohs(reinterpret_cast<const sockaddr_in *>(sender)->sin_port);
            else if (sender->sa_family == AF_INET6)
                port = ntohs(reinterpret_cast<const sockaddr_in6 *>(sender)->sin6_port);
            // A longer datagram comes cut to maxSize, as Qt's read would give it.
            const int length = qMin(int(messages[size_t(i)].msg_len), maxSize);
            handle(QByteArray(static_cast<const char *>(slices[size_t(i)].iov_base), length), QHostAddress(sender),
                port);
        }
        if (unsigned(count) < BATCH)
            return found;
    }
}

#endif

} // namespace

bool readPendingDatagrams(QUdpSocket &socket, int maxSize, const DatagramHandler &handle)
{
#ifdef Q_OS_LINUX
    if (readInBatches(socket, maxSize, handle))
        return true;
    // The burst is over: re-arms Qt's notifier, and takes a datagram that came in since.
    readOneThroughQt(socket, maxSize, handle);
#else
    while (socket.hasPendingDatagrams() && readOneThroughQt(socket, maxSize, handle)) {
    }
#endif
    return false;
}

} // namespace platform
