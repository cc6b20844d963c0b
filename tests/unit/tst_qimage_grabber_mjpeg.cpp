#include "loopback_http_server.h"
#include "qimagegrabber/qimage_grabber_mjpeg.h"
#include "test_mjpeg.h"

#include <QBuffer>
#include <QProcess>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QThread>
#include <QtTest>

namespace {

class ProbeGrabber : public QImageGrabberMjpeg
{
public:
    using QImageGrabber::lastFrameTime;
    using QImageGrabberMjpeg::processReceivedData;
};

// Every state signal together with what state() read at that moment: the two differ on
// purpose while a connection is under way.
struct StateLog
{
    explicit StateLog(QImageGrabber &grabber)
    {
        QObject::connect(
            &grabber, &QImageGrabber::stateChanged, &grabber, [this, &grabber](QImageGrabber::GrabbingState signalled) {
                entries << qMakePair(signalled, grabber.state());
            });
    }
    QList<QImageGrabber::GrabbingState> signalled() const
    {
        QList<QImageGrabber::GrabbingState> states;
        for (const auto &entry : entries)
            states << entry.first;
        return states;
    }
    QList<QPair<QImageGrabber::GrabbingState, QImageGrabber::GrabbingState>> entries;
};

using S = QImageGrabber::GrabbingState;

// Copies of the frames handed out, as a receiver takes them inside its slot.
struct ImageLog
{
    explicit ImageLog(QImageGrabber &grabber)
    {
        QObject::connect(&grabber, &QImageGrabber::newImageGrabbed, &grabber, [this](QImage *image) {
            images << image->copy();
            objects << image;
        });
    }
    int count() const { return images.size(); }
    QList<QImage> images;
    QList<QImage *> objects;
};

// A stream peer: answers the request with the response head and keeps the connection for
// the test to write frames on.
struct StreamPeer
{
    explicit StreamPeer(const QByteArray &head = LoopbackHttpServer::streamHead("multipart/x-mixed-replace;boundary=b"))
    {
        server.setHandler([this, head](QTcpSocket *connection, const QByteArray &) {
            connection->write(head);
            this->connection = connection;
        });
    }
    void send(const QByteArray &bytes) { connection->write(bytes); }
    LoopbackHttpServer server;
    QPointer<QTcpSocket> connection;
};

const QList<QColor> COLOURS = {Qt::red, Qt::green, Qt::blue};

// Writes multipart images to every client as fast as the connection takes them, from a
// thread of its own.
class FloodingSender : public QThread
{
public:
    FloodingSender()
    {
        for (const QColor &colour : COLOURS)
            parts << TestMjpeg::multipartPart(TestMjpeg::plain(colour, QSize(320, 240)), "b");
        start();
        listening.acquire();
    }
    ~FloodingSender() override
    {
        quit();
        wait();
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/stream").arg(port); }

protected:
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        port = server.serverPort();
        connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
            QTcpSocket *connection = server.nextPendingConnection();
            connect(connection, &QTcpSocket::readyRead, connection, [this, connection] {
                connection->readAll();
                connection->write(LoopbackHttpServer::streamHead("multipart/x-mixed-replace;boundary=b") + "--b\r\n");
                auto refill = [this, connection] {
                    while (connection->bytesToWrite() < 4 * 1024 * 1024)
                        connection->write(parts.at(int(sent++ % parts.size())));
                };
                connect(connection, &QTcpSocket::bytesWritten, connection, refill);
                refill();
            });
        });
        listening.release();
        exec();
    }

private:
    QList<QByteArray> parts;
    quint64 sent = 0;
    quint16 port = 0;
    QSemaphore listening;
};

} // namespace

class TestQImageGrabberMjpeg : public QObject
{
    Q_OBJECT

private slots:
    void decodesOnlyTheNewestImageOfAnArrival();
    void refusesImagesOfHugeDimensions();
    void streamsFrameByFrame_data();
    void streamsFrameByFrame();
    void reportsNetworkErrors_data();
    void reportsNetworkErrors();
    void stopEndsTheDownloadQuietly();
    void setUrlRestartsOnlyARunningDownload();
    void setSourceStoresValidUrlsOnly();
    void dropsStreamsPastTheSizeCap_data();
    void dropsStreamsPastTheSizeCap();
    void keepsUpWithAFloodingSender();
    void playsFfmpegMultipartStream();
};

void TestQImageGrabberMjpeg::decodesOnlyTheNewestImageOfAnArrival()
{
    ProbeGrabber grabber;
    ImageLog images(grabber);
    QSignalSpy rates(&grabber, &QImageGrabber::newFPSCalculated);
    QByteArray arrived = "--ffmpeg\r\n" + TestMjpeg::multipartPart(TestMjpeg::plain(Qt::red))
        + TestMjpeg::multipartPart(TestMjpeg::plain(Qt::green));
    const QByteArray third = TestMjpeg::multipartPart(TestMjpeg::plain(Qt::blue));
    arrived += third.left(100);
    QBuffer input(&arrived);
    input.open(QIODevice::ReadOnly);

    grabber.lastFrameTime = QTime::currentTime().addMSecs(-40);
    grabber.processReceivedData(&input);
    QCOMPARE(rates.count(), 2);
    // Both cut frames count the time since the last decoded one.
    QVERIFY(rates.at(1).at(0).toDouble() <= 25.0);
    QCOMPARE(images.count(), 1);
    QCOMPARE(grabber.state(), QImageGrabber::Grabbing);
    QVERIFY(TestMjpeg::looksLike(images.images.at(0), Qt::green));

    grabber.processReceivedData(&input);
    QCOMPARE(images.count(), 1);
    arrived += third.mid(100);
    grabber.processReceivedData(&input);
    QCOMPARE(images.count(), 2);
    QVERIFY(TestMjpeg::looksLike(images.images.at(1), Qt::blue));
    // The grabber hands out its one image object every time.
    QCOMPARE(images.objects.at(0), images.objects.at(1));
}

void TestQImageGrabberMjpeg::refusesImagesOfHugeDimensions()
{
    ProbeGrabber grabber;
    ImageLog images(grabber);
    QByteArray arrived = "--ffmpeg\r\n" + TestMjpeg::multipartPart(TestMjpeg::claimingSize(60000, 60000));
    QBuffer input(&arrived);
    input.open(QIODevice::ReadOnly);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Image of QSize\\(60000, 60000\\) pixels refused"));
    grabber.processReceivedData(&input);
    QCOMPARE(images.count(), 0);

    arrived += TestMjpeg::multipartPart(TestMjpeg::plain(Qt::red, QSize(64, 48)));
    grabber.processReceivedData(&input);
    QCOMPARE(images.count(), 1);
    QCOMPARE(images.images.at(0).size(), QSize(64, 48));
}

void TestQImageGrabberMjpeg::streamsFrameByFrame_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QList<QByteArray>>("frames");

    QList<QByteArray> parts;
    QList<QByteArray> blocks;
    for (const QColor &colour : COLOURS) {
        const QByteArray jpeg = TestMjpeg::plain(colour);
        parts << TestMjpeg::multipartPart(jpeg, "b");
        blocks << TestMjpeg::blockHeader(jpeg.size(), blocks.isEmpty() ? 50 : 51) + jpeg;
    }
    QTest::newRow("multipart") << QByteArray("--b\r\n") << parts;
    QTest::newRow("block framing") << QByteArray() << blocks;
}

void TestQImageGrabberMjpeg::streamsFrameByFrame()
{
    QFETCH(QByteArray, start);
    QFETCH(QList<QByteArray>, frames);

    StreamPeer peer;
    QImageGrabberMjpeg grabber;
    StateLog states(grabber);
    ImageLog images(grabber);
    QSignalSpy errors(&grabber, &QImageGrabber::errorHappend);
    QSignalSpy ended(&grabber, &QImageGrabber::downloadStopped);
    grabber.setUrl(QUrl(peer.server.url()));
    QVERIFY(grabber.startGrabbing());
    QCOMPARE(states.entries.value(0), qMakePair(S::Connecting, S::Stopped));

    QTRY_VERIFY(peer.connection);
    QCOMPARE(peer.server.requests.size(), 1);
    const QByteArray request = peer.server.requests.at(0);
    QVERIFY2(request.startsWith("GET /stream HTTP/1.1\r\n"), request.constData());
    QVERIFY2(request.contains("\r\nUser-Agent: Kobo7171 Imagegrabber LIB\r\n"), request.constData());

    peer.send(start);
    for (int i = 0; i < frames.size(); ++i) {
        if (frames.at(i).startsWith("mjpeg"))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(" CI \"mjpeg"));
        peer.send(frames.at(i));
        QTRY_COMPARE(images.count(), i + 1);
        QVERIFY(TestMjpeg::looksLike(images.images.last(), COLOURS.at(i)));
    }
    QCOMPARE(grabber.state(), QImageGrabber::Grabbing);

    peer.connection->disconnectFromHost();
    QTRY_COMPARE(ended.count(), 1);
    QCOMPARE(states.signalled(), (QList<S> {S::Connecting, S::Grabbing, S::Stopped}));
    QCOMPARE(errors.count(), 0);
}

void TestQImageGrabberMjpeg::reportsNetworkErrors_data()
{
    QTest::addColumn<bool>("refused");
    QTest::newRow("connection refused") << true;
    QTest::newRow("not found") << false;
}

void TestQImageGrabberMjpeg::reportsNetworkErrors()
{
    QFETCH(bool, refused);

    QString url;
    auto server = std::make_unique<LoopbackHttpServer>([](QTcpSocket *connection, const QByteArray &) {
        connection->write("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        connection->disconnectFromHost();
    });
    url = server->url();
    if (refused)
        server.reset();

    QImageGrabberMjpeg grabber;
    StateLog states(grabber);
    QSignalSpy errors(&grabber, &QImageGrabber::errorHappend);
    QSignalSpy ended(&grabber, &QImageGrabber::downloadStopped);
    grabber.setUrl(QUrl(url));
    QVERIFY(grabber.startGrabbing());
    QTRY_COMPARE(errors.count(), 1);
    QCOMPARE(grabber.state(), QImageGrabber::Error);
    QVERIFY(!grabber.errorString().isEmpty());
    QTest::qWait(50); // the finished signal that follows the error must not undo it
    QCOMPARE(grabber.state(), QImageGrabber::Error);
    QCOMPARE(states.signalled().last(), S::Error);
    QCOMPARE(ended.count(), 0);

    // A new start announces Connecting while the state still reads Error.
    states.entries.clear();
    QVERIFY(grabber.startGrabbing());
    QCOMPARE(states.entries.value(0), qMakePair(S::Connecting, S::Error));
    QTRY_COMPARE(errors.count(), 2);
}

void TestQImageGrabberMjpeg::stopEndsTheDownloadQuietly()
{
    StreamPeer peer;
    QImageGrabberMjpeg grabber;
    QSignalSpy errors(&grabber, &QImageGrabber::errorHappend);
    QSignalSpy ended(&grabber, &QImageGrabber::downloadStopped);
    ImageLog images(grabber);
    grabber.setUrl(QUrl(peer.server.url()));
    grabber.startGrabbing();
    QTRY_COMPARE(grabber.state(), QImageGrabber::Grabbing);

    StateLog states(grabber);
    grabber.stopGrabbing();
    QCOMPARE(grabber.state(), QImageGrabber::Stopped);
    QCOMPARE(states.signalled(), QList<S> {S::Stopped});
    QTRY_COMPARE(peer.server.disconnections, 1);
    QTest::qWait(50);
    QCOMPARE(states.signalled(), QList<S> {S::Stopped});
    QCOMPARE(errors.count(), 0);
    QCOMPARE(ended.count(), 0);
    QCOMPARE(images.count(), 0);
}

void TestQImageGrabberMjpeg::setUrlRestartsOnlyARunningDownload()
{
    StreamPeer first;
    StreamPeer second;
    QImageGrabberMjpeg grabber;
    QSignalSpy errors(&grabber, &QImageGrabber::errorHappend);
    QSignalSpy ended(&grabber, &QImageGrabber::downloadStopped);
    StateLog states(grabber);

    grabber.setUrl(QUrl(second.server.url()));
    grabber.setUrl(QUrl(first.server.url()));
    QCOMPARE(grabber.source(), first.server.url());
    QVERIFY(states.entries.isEmpty());
    QTest::qWait(20);
    QVERIFY(first.server.requests.isEmpty());

    grabber.startGrabbing();
    QTRY_COMPARE(grabber.state(), QImageGrabber::Grabbing);
    states.entries.clear();
    grabber.setUrl(QUrl(second.server.url()));
    QCOMPARE(grabber.source(), second.server.url());
    QTRY_COMPARE(first.server.disconnections, 1);
    QTRY_COMPARE(grabber.state(), QImageGrabber::Grabbing);
    QCOMPARE(second.server.requests.size(), 1);
    QCOMPARE(states.signalled(), (QList<S> {S::Stopped, S::Connecting, S::Grabbing}));

    second.send("--b\r\n" + TestMjpeg::multipartPart(TestMjpeg::plain(Qt::red), "b"));
    ImageLog images(grabber);
    QTRY_COMPARE(images.count(), 1);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(ended.count(), 0);
}

void TestQImageGrabberMjpeg::setSourceStoresValidUrlsOnly()
{
    StreamPeer peer;
    QImageGrabberMjpeg grabber;
    QSignalSpy errors(&grabber, &QImageGrabber::errorHappend);
    QVERIFY(!grabber.startGrabbing());

    grabber.setSource(peer.server.url());
    QCOMPARE(grabber.source(), peer.server.url());
    QVERIFY(grabber.startGrabbing());
    QTRY_COMPARE(grabber.state(), QImageGrabber::Grabbing);

    StateLog states(grabber);
    grabber.setSource(QStringLiteral("http://[::1"));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(grabber.errorString(), QStringLiteral("Invalid URL"));
    QCOMPARE(grabber.source(), peer.server.url());

    // A valid source is only stored: the running download goes on.
    grabber.setSource(QStringLiteral("http://127.0.0.1:1/other"));
    QCOMPARE(grabber.source(), QStringLiteral("http://127.0.0.1:1/other"));
    peer.send("--b\r\n" + TestMjpeg::multipartPart(TestMjpeg::plain(Qt::red), "b"));
    ImageLog images(grabber);
    QTRY_COMPARE(images.count(), 1);
    QVERIFY(states.entries.isEmpty());
    QCOMPARE(peer.server.requests.size(), 1);
}

void TestQImageGrabberMjpeg::dropsStreamsPastTheSizeCap_data()
{
    QTest::addColumn<QByteArray>("body");
    const QByteArray start = "--b\r\nContent-Type: image/jpeg\r\n";
    QTest::newRow("gigabytes announced") << start + "Content-Length: 4294967296\r\n\r\n" + QByteArray(1000, 'x');
    QTest::newRow("just above the cap") << start
            + "Content-Length: " + QByteArray::number(QImageGrabber::MAX_IMAGE_BYTES + 1) + "\r\n\r\n";
    // Longer than the reply may hold unread: a grabber without a limit here would stall.
    QTest::newRow("header line that never ends") << start + "X-Padding: " + QByteArray(2 * 1024 * 1024, 'p');
}

void TestQImageGrabberMjpeg::dropsStreamsPastTheSizeCap()
{
    QFETCH(QByteArray, body);

    StreamPeer peer;
    QImageGrabberMjpeg grabber;
    QSignalSpy errors(&grabber, &QImageGrabber::errorHappend);
    QSignalSpy ended(&grabber, &QImageGrabber::downloadStopped);
    grabber.setUrl(QUrl(peer.server.url()));
    grabber.startGrabbing();
    QTRY_VERIFY(peer.connection);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("dropped: The stream sent an image or a header line"));
    peer.send(body);
    QTRY_COMPARE(errors.count(), 1);
    QCOMPARE(grabber.state(), QImageGrabber::Error);
    QCOMPARE(grabber.errorString(), QStringLiteral("The stream sent an image or a header line larger than allowed"));
    QTRY_COMPARE(peer.server.disconnections, 1);
    QTest::qWait(50);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(ended.count(), 0);
    QCOMPARE(grabber.state(), QImageGrabber::Error);
}

void TestQImageGrabberMjpeg::keepsUpWithAFloodingSender()
{
    // A sender far faster than the decoding, on a thread of its own as a real peer would
    // be: the grabber must keep decoding the newest images while TCP holds the sender back,
    // neither stalling nor hoarding the backlog.
    FloodingSender sender;
    QImageGrabberMjpeg grabber;
    ImageLog images(grabber);
    QSignalSpy cut(&grabber, &QImageGrabber::newFPSCalculated);
    grabber.setUrl(QUrl(sender.url()));
    grabber.startGrabbing();
    QTRY_VERIFY_WITH_TIMEOUT(images.count() >= 300, 20000);
    // Decoding only the newest image of each arrival skips most of them.
    QVERIFY(cut.count() > 2 * images.count());
    QCOMPARE(grabber.state(), QImageGrabber::Grabbing);
    grabber.stopGrabbing();
}

void TestQImageGrabberMjpeg::playsFfmpegMultipartStream()
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    QVERIFY2(!ffmpeg.isEmpty(), "ffmpeg is needed as the stream peer (scripts/install-deps installs it)");
    quint16 port;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    const QString url = QStringLiteral("http://127.0.0.1:%1/stream").arg(port);
    QProcess peer;
    peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    peer.start(ffmpeg,
        {"-hide_banner", "-loglevel", "error", "-re", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=10", "-t", "3",
            "-c:v", "mjpeg", "-f", "mpjpeg", "-listen", "1", url});
    QVERIFY(peer.waitForStarted());
    auto stopPeer = qScopeGuard([&peer] {
        peer.kill();
        peer.waitForFinished();
    });

    QImageGrabberMjpeg grabber;
    grabber.setUrl(QUrl(url));
    QList<QSize> sizes;
    connect(&grabber, &QImageGrabber::newImageGrabbed, &grabber, [&sizes](QImage *image) { sizes << image->size(); });
    QSignalSpy cut(&grabber, &QImageGrabber::newFPSCalculated);
    QSignalSpy ended(&grabber, &QImageGrabber::downloadStopped);
    // ffmpeg listens a moment after it starts; until then the connection is refused.
    connect(&grabber, &QImageGrabber::errorHappend, &grabber,
        [&grabber] { QTimer::singleShot(50, &grabber, [&grabber] { grabber.startGrabbing(); }); });
    grabber.startGrabbing();

    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 20000);
    qInfo() << sizes.size() << "images decoded," << cut.count() << "cut";
    QVERIFY(cut.count() >= 25 && cut.count() <= 31);
    QVERIFY(sizes.size() >= cut.count() - 1);
    QCOMPARE(sizes.count(QSize(320, 240)), sizes.size());
}

QTEST_GUILESS_MAIN(TestQImageGrabberMjpeg)
#include "tst_qimage_grabber_mjpeg.moc"
