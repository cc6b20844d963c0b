#include "discovery/device_discovery_response.h"
#include "discovery/discovery_reader.h"
#include "discovery/discovery_record.h"
#include "platform/datagram_reader.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

#include <chrono>
#include <memory>
#include <thread>

namespace {

QByteArray record(int n)
{
    return makeDiscoveryRecord(QStringLiteral("IPD9READ-%1").arg(n, 12, 16, QLatin1Char('0')).toUpper(), QString());
}

// A socket as discovery binds one, on loopback, and everything a reader of it hands over.
struct Site
{
    explicit Site(int maxWaiting = DiscoveryReader::MAX_WAITING)
        : reader(new DiscoveryReader(maxWaiting))
    {
        socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
        socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1 << 20);
        sender.bind(QHostAddress(QHostAddress::LocalHost), 0);
        QObject::connect(reader.get(), &DiscoveryReader::repliesRead, [this](const DiscoveryReplies &batch) {
            onOwnerThread = onOwnerThread && QThread::currentThread() == QCoreApplication::instance()->thread();
            ++batches;
            replies += batch;
        });
        reader->adopt(&socket);
    }

    void send(int first, int count)
    {
        for (int n = first; n < first + count; ++n)
            sender.writeDatagram(record(n), QHostAddress::LocalHost, socket.localPort());
    }

    QUdpSocket socket;
    QUdpSocket sender;
    std::unique_ptr<DiscoveryReader> reader;
    DiscoveryReplies replies;
    int batches = 0;
    bool onOwnerThread = true;
};

} // namespace

class TestDiscoveryReader : public QObject
{
    Q_OBJECT

private slots:
    // A burst, sent in rounds as a thousand devices answer, reaches the window's thread
    // whole and in order, in a few batches, with each reply's sender and name. Requests
    // leave from the socket itself, and the socket returns to its owner when the reader ends.
    void burstsArriveWholeInBatches()
    {
        Site site;
        QVERIFY(site.socket.thread() != QThread::currentThread());
        constexpr int ROUNDS = 10;
        constexpr int PER_ROUND = 100;
        for (int round = 0; round < ROUNDS; ++round) {
            site.send(round * PER_ROUND, PER_ROUND);
            QTRY_COMPARE_WITH_TIMEOUT(site.replies.size(), (round + 1) * PER_ROUND, 20000);
        }
        QVERIFY(site.onOwnerThread);
        QVERIFY2(site.batches <= 3 * ROUNDS, qPrintable(QString::number(site.batches)));
        for (int n = 0; n < ROUNDS * PER_ROUND; ++n) {
            const DiscoveryReply &reply = site.replies.at(n);
            QCOMPARE(reply.data, record(n));
            QCOMPARE(reply.name, DeviceDiscoveryResponse::nameOf(record(n)));
            QCOMPARE(reply.port, site.sender.localPort());
            QCOMPARE(reply.receiver, QHostAddress(QHostAddress::LocalHost));
        }

        // A socket that is not bound sends nothing (the system would bind it to a port of
        // its own). The calls are taken in turn: the second one's arrival means both ran.
        QUdpSocket unbound;
        site.reader->send(&unbound, "stray", QHostAddress::LocalHost, site.sender.localPort());
        site.reader->send(&site.socket, "request", QHostAddress::LocalHost, site.sender.localPort());
        QTRY_VERIFY(site.sender.hasPendingDatagrams());
        const QNetworkDatagram request = site.sender.receiveDatagram();
        QCOMPARE(request.data(), QByteArray("request"));
        QCOMPARE(request.senderPort(), int(site.socket.localPort()));
        QCOMPARE(unbound.state(), QAbstractSocket::UnconnectedState);

        site.send(0, 20);
        site.reader.reset();
        QCOMPARE(site.socket.thread(), QThread::currentThread());
        site.sender.writeDatagram("late", QHostAddress::LocalHost, site.socket.localPort());
        QByteArray last;
        QTRY_VERIFY([&] {
            while (site.socket.hasPendingDatagrams())
                last = site.socket.receiveDatagram().data();
            return last == "late";
        }());
    }

    // A flood while the window's thread is busy: what waits for it stays bounded, the rest is
    // dropped and said, and replies are taken again once it has caught up.
    void floodWhileOwnerIsBusyIsBounded()
    {
        constexpr int MAX_WAITING = 50;
        constexpr int FLOOD = 80;
        Site site(MAX_WAITING);
        site.send(0, FLOOD);
        // Waited for without turning this thread's event loop, which would take the replies.
        for (int ms = 0; ms < 20000 && site.reader->dropped() < FLOOD - MAX_WAITING; ++ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        QCOMPARE(site.reader->dropped(), quint64(FLOOD - MAX_WAITING));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^30 discovery replies were dropped")));
        QTRY_COMPARE(site.replies.size(), MAX_WAITING);
        QCOMPARE(site.replies.last().data, record(MAX_WAITING - 1));

        site.send(FLOOD, 1);
        QTRY_COMPARE(site.replies.size(), MAX_WAITING + 1);
        QCOMPARE(site.reader->dropped(), quint64(FLOOD - MAX_WAITING));
    }

    // A pass of 1,250 replies from one sender, while nobody reads, against the buffer a stock
    // system grants, more than one socket holds: a group spread at random holds it all.
    void groupHoldsBurstOneSocketCannot()
    {
#ifndef Q_OS_LINUX
        QSKIP("only Linux lets sockets share a port's datagrams");
#endif
        constexpr int STOCK_BUFFER = 208 * 1024;
        constexpr int MEMBERS = 6;
        constexpr int BURST = 1250;
        std::vector<std::unique_ptr<QUdpSocket>> group;
        quint16 port = 0;
        for (int n = 0; n < MEMBERS; ++n) {
            group.push_back(std::make_unique<QUdpSocket>());
            QVERIFY(platform::bindToGroup(*group.back(), QHostAddress(QHostAddress::LocalHost), port));
            port = group.back()->localPort();
            group.back()->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, STOCK_BUFFER);
        }
        QVERIFY(platform::spreadAcrossGroup(*group.front(), MEMBERS));

        QUdpSocket sender;
        for (int n = 0; n < BURST; ++n)
            sender.writeDatagram(record(n), QHostAddress::LocalHost, port);
        int total = 0;
        for (const auto &member : group) {
            int share = 0;
            while (platform::readPendingDatagrams(*member, DISCOVERY_RECORD_SIZE,
                [&share](const QByteArray &, const QHostAddress &, quint16) { ++share; })) { }
            QVERIFY2(share > 0, "a member took no share");
            total += share;
        }
        QCOMPARE(total, BURST);
    }
};

QTEST_GUILESS_MAIN(TestDiscoveryReader)
#include "tst_discovery_reader.moc"
