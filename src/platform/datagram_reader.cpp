#include "platform/datagram_reader.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

#ifdef Q_OS_LINUX
#include <linux/filter.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
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

bool bindToGroup(QUdpSocket &socket, const QHostAddress &address, quint16 port)
{
#ifdef Q_OS_LINUX
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in where {};
        where.sin_family = AF_INET;
        where.sin_port = htons(port);
        where.sin_addr.s_addr = htonl(address.toIPv4Address());
        const int on = 1;
        if (fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0
            && ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) == 0
            && ::bind(fd, reinterpret_cast<const sockaddr *>(&where), sizeof where) == 0
            && socket.setSocketDescriptor(fd, QAbstractSocket::BoundState))
            return true;
        if (fd >= 0)
            ::close(fd);
    }
#endif
    // Fails as the group's bind did where the address is taken, and says why.
    return socket.bind(address, port, QAbstractSocket::ReuseAddressHint);
}

bool spreadAcrossGroup(QUdpSocket &member, int members)
{
#ifdef Q_OS_LINUX
    sock_filter code[] = {
        {BPF_LD | BPF_W | BPF_ABS, 0, 0, quint32(SKF_AD_OFF + SKF_AD_RANDOM)},
        {BPF_ALU | BPF_MOD | BPF_K, 0, 0, quint32(members)},
        {BPF_RET | BPF_A, 0, 0, 0},
    };
    const sock_fprog program {sizeof code / sizeof code[0], code};
    return ::setsockopt(int(member.socketDescriptor()), SOL_SOCKET, SO_ATTACH_REUSEPORT_CBPF, &program, sizeof program)
        == 0;
#else
    Q_UNUSED(member)
    Q_UNUSED(members)
    return false;
#endif
}

} // namespace platform
