#include "discovery/device_discovery_response.h"
#include "discovery/discovery_reader.h"
#include "discovery/discovery_record.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace {

QString deviceName(int n)
{
    return QStringLiteral("IPD9READ-%1").arg(n, 12, 16, QLatin1Char('0')).toUpper();
}

// A socket as discovery binds one, on loopback.
std::unique_ptr<QUdpSocket> boundSocket()
{
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(QHostAddress::LocalHost, 0))
        return nullptr;
    return socket;
}

// Waits without turning this thread's event loop, which would take the replies over.
bool waitBlocked(const std::function<bool()> &done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 20000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

// Everything the reader hands over, as the window's thread sees it.
struct Received
{
    explicit Received(DiscoveryReader &reader)
    {
        QObject::connect(&reader, &DiscoveryReader::repliesRead, [this](const DiscoveryReplies &batch) {
            onOwnerThread = onOwnerThread && QThread::currentThread() == qApp->thread();
            ++batches;
            replies += batch;
        });
    }

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
    // whole and in order, in a few batches, with each reply's sender and name.
    void burstsArriveWholeInBatches()
    {
        auto socket = boundSocket();
        QVERIFY(socket);
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1 << 20);
        const quint16 port = socket->localPort();
        QUdpSocket sender;
        QVERIFY(sender.bind(QHostAddress::LocalHost, 0));
        DiscoveryReader reader;
        Received received(reader);
        reader.adopt(socket.get());
        QVERIFY(socket->thread() != QThread::currentThread());

        constexpr int ROUNDS = 10;
        constexpr int PER_ROUND = 100;
        for (int round = 0; round < ROUNDS; ++round) {
            for (int n = round * PER_ROUND; n < (round + 1) * PER_ROUND; ++n)
                QCOMPARE(sender.writeDatagram(makeDiscoveryRecord(deviceName(n), QString()), QHostAddress::LocalHost,
                             port),
                    qint64(DISCOVERY_RECORD_SIZE));
            QTRY_COMPARE_WITH_TIMEOUT(received.replies.size(), (round + 1) * PER_ROUND, 20000);
        }
        QVERIFY(received.onOwnerThread);
        QVERIFY2(received.batches <= 3 * ROUNDS, qPrintable(QString::number(received.batches)));
        for (int n = 0; n < ROUNDS * PER_ROUND; ++n) {
            const DiscoveryReply &reply = received.replies.at(n);
            QCOMPARE(reply.name, deviceName(n));
            QCOMPARE(reply.data, makeDiscoveryRecord(deviceName(n), QString()));
            QCOMPARE(reply.sender, QHostAddress(QHostAddress::LocalHost));
            QCOMPARE(reply.port, sender.localPort());
            QCOMPARE(reply.receiver, QHostAddress(QHostAddress::LocalHost));
        }
        QCOMPARE(reader.dropped(), quint64(0));

        // Requests leave from the discovery socket itself, where the answers come back to; a
        // socket that is not bound sends nothing (it would be bound to a port of the system's
        // choosing). The calls are taken in turn, so the second one's arrival means both ran.
        QUdpSocket unbound;
        reader.send(&unbound, "stray", QHostAddress::LocalHost, sender.localPort());
        reader.send(socket.get(), "request", QHostAddress::LocalHost, sender.localPort());
        QTRY_VERIFY(sender.hasPendingDatagrams());
        const QNetworkDatagram request = sender.receiveDatagram();
        QCOMPARE(request.data(), QByteArray("request"));
        QCOMPARE(request.senderPort(), int(port));
        QCOMPARE(unbound.state(), QAbstractSocket::UnconnectedState);
    }

    // A flood while the window's thread is busy: what waits for it stays bounded, the rest is
    // dropped and said, and replies are taken again once it has caught up.
    void floodWhileOwnerIsBusyIsBounded()
    {
        constexpr int MAX_WAITING = 50;
        constexpr int FLOOD = 80;
        auto socket = boundSocket();
        QVERIFY(socket);
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1 << 20);
        QUdpSocket sender;
        DiscoveryReader reader(MAX_WAITING);
        Received received(reader);
        reader.adopt(socket.get());
        for (int n = 0; n < FLOOD; ++n)
            sender.writeDatagram(makeDiscoveryRecord(deviceName(n), QString()), QHostAddress::LocalHost,
                socket->localPort());
        QVERIFY(waitBlocked([&reader] { return reader.dropped() == FLOOD - MAX_WAITING; }));
        QTest::ignoreMessage(QtWarningMsg,
            QRegularExpression(QStringLiteral("^%1 discovery replies were dropped").arg(FLOOD - MAX_WAITING)));
        QTRY_COMPARE(received.replies.size(), MAX_WAITING);
        QCOMPARE(received.replies.last().name, deviceName(MAX_WAITING - 1));

        sender.writeDatagram(makeDiscoveryRecord(deviceName(FLOOD), QString()), QHostAddress::LocalHost,
            socket->localPort());
        QTRY_COMPARE(received.replies.size(), MAX_WAITING + 1);
        QCOMPARE(reader.dropped(), quint64(FLOOD - MAX_WAITING));
    }

    // The reader ending while replies arrive gives its socket back to the thread that owns
    // it, readable there as any other socket.
    void endingGivesTheSocketBack()
    {
        auto socket = boundSocket();
        QVERIFY(socket);
        QUdpSocket sender;
        {
            DiscoveryReader reader;
            reader.adopt(socket.get());
            for (int n = 0; n < 20; ++n)
                sender.writeDatagram("early", QHostAddress::LocalHost, socket->localPort());
        }
        QCOMPARE(socket->thread(), QThread::currentThread());
        sender.writeDatagram("late", QHostAddress::LocalHost, socket->localPort());
        QByteArray last;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                while (socket->hasPendingDatagrams())
                    last = socket->receiveDatagram().data();
                return last == "late";
            }(),
            10000);
    }
};

QTEST_GUILESS_MAIN(TestDiscoveryReader)
#include "tst_discovery_reader.moc"
