#include "qimagegrabber/frame_decoder.h"
#include "qimagegrabber/qimage_grabber_http.h"
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

using S = QImageGrabber::GrabbingState;
const QList<QColor> COLOURS = {Qt::red, Qt::green, Qt::blue};

QByteArray part(const QColor &colour)
{
    return TestMjpeg::multipartPart(TestMjpeg::plain(colour), "b");
}

class StreamProbe : public QImageGrabberMjpeg
{
public:
    using QImageGrabber::calculateFPS;
    using QImageGrabber::decoder;
    using QImageGrabber::lastFrameTime;
    using QImageGrabber::timeoutTimer;
    using QImageGrabberMjpeg::newImageTimeOut;
    using QImageGrabberMjpeg::processReceivedData;
};

class SnapshotProbe : public QImageGrabberHttp
{
public:
    using QImageGrabber::lastFrameTime;
    using QImageGrabber::timeoutTimer;
    using QImageGrabberHttp::newImageTimeOut;
    using QImageGrabberHttp::QImageGrabberHttp;
};

QList<S> signalled(const QSignalSpy &states)
{
    QList<S> list;
    for (const QList<QVariant> &arguments : states)
        list << arguments.at(0).value<S>();
    return list;
}

// Copies of the frames handed out, as a receiver takes them inside its slot, with the
// object handed out and when it came.
struct ImageLog
{
    explicit ImageLog(QImageGrabber &grabber)
    {
        QObject::connect(&grabber, &QImageGrabber::newImageGrabbed, &grabber, [this](QImage *image) {
            images << image->copy();
            objects << image;
            arrivals << QImageGrabber::monotonicMs();
        });
    }
    int count() const { return images.size(); }
    QList<QImage> images;
    QList<QImage *> objects;
    QList<qint64> arrivals;
};

// A stream grabber fed by hand, with what it hands out and how many frames it cut.
struct FedStream
{
    FedStream() { input.open(QIODevice::ReadOnly); }
    // The bytes arrive and are cut at once; what went to the decoder may still be under way.
    void arrive(const QByteArray &bytes)
    {
        arrived += bytes;
        grabber.processReceivedData(&input);
    }
    // The bytes arrive, and the decoder is waited for.
    void arriveAndDecode(const QByteArray &bytes)
    {
        arrive(bytes);
        QVERIFY(QTest::qWaitFor([this] { return !grabber.decoder->busy(); }, 5000));
    }
    StreamProbe grabber;
    ImageLog images {grabber};
    QSignalSpy rates {&grabber, &QImageGrabber::newFPSCalculated};
    QByteArray arrived = "--ffmpeg\r\n";
    QBuffer input {&arrived};
};

// Answers every request with head (a stream's, or nothing yet for a snapshot) and keeps the
// connections for the test to write on.
struct Peer
{
    explicit Peer(const QByteArray &head = QByteArray())
    {
        server.setHandler([this, head](QTcpSocket *connection, const QByteArray &) {
            connection->write(head);
            connections << connection;
        });
    }
    void send(const QByteArray &bytes)
    {
        QVERIFY(!connections.isEmpty() && connections.last());
        connections.last()->write(bytes);
    }
    void answerImage(const QColor &colour) { send(LoopbackHttpServer::snapshotResponse(TestMjpeg::plain(colour))); }
    LoopbackHttpServer server;
    QList<QPointer<QTcpSocket>> connections;
};

// A grabber on a peer, with what it signals.
template <typename Grabber> struct Rig
{
    explicit Rig(const QByteArray &head = QByteArray())
        : peer(head)
    {
        grabber.setSource(peer.server.url());
    }
    Peer peer;
    Grabber grabber;
    QSignalSpy states {&grabber, &QImageGrabber::stateChanged};
    QSignalSpy errors {&grabber, &QImageGrabber::errorHappend};
    QSignalSpy ended {&grabber, &QImageGrabber::downloadStopped};
    ImageLog images {grabber};
};
using StreamRig = Rig<StreamProbe>;
using SnapshotRig = Rig<SnapshotProbe>;

// Writes multipart images to every client as fast as the connection takes them, from a
// thread of its own as a real peer would.
class FloodingSender : public QThread
{
public:
    FloodingSender()
    {
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
        QList<QByteArray> parts;
        for (const QColor &colour : COLOURS)
            parts << TestMjpeg::multipartPart(TestMjpeg::plain(colour, QSize(320, 240)), "b");
        quint64 sent = 0;
        LoopbackHttpServer server([&](QTcpSocket *connection, const QByteArray &) {
            connection->write(LoopbackHttpServer::streamHead() + "--b\r\n");
            auto refill = [&, connection] {
                while (connection->bytesToWrite() < 4 * 1024 * 1024)
                    connection->write(parts.at(int(sent++ % parts.size())));
            };
            QObject::connect(connection, &QTcpSocket::bytesWritten, connection, refill);
            refill();
        });
        port = server.port();
        listening.release();
        exec();
    }

private:
    quint16 port = 0;
    QSemaphore listening;
};

} // namespace

class TestQImageGrabber : public QObject
{
    Q_OBJECT

private slots:
    void frameRateHistory_data();
    void frameRateHistory();

    void streamDecodesTheNewestFrameOneAtATime();
    void streamDecodesOnlyWhatIsShown();
    void streamReusesOnlyFramesNobodyHolds();
    void streamFailures_data();
    void streamFailures();
    void streamStallIsAnError();
    void streamEndsWithItsGrabber();
    void streamUrlChangesAndStop();
    void streamKeepsUpWithAFloodingSender();
    void streamPlaysFfmpegMultipart();

    void snapshotPacing_data();
    void snapshotPacing();
    void snapshotStartAndStop();
    void snapshotUrlHandling();
    void snapshotFailures_data();
    void snapshotFailures();
    void snapshotEmptyAndUndecodableAnswers();
};

void TestQImageGrabber::frameRateHistory_data()
{
    QTest::addColumn<QList<int>>("intervals");
    QTest::addColumn<int>("expectedSignals");
    QTest::addColumn<double>("current");
    QTest::addColumn<double>("average");

    QTest::newRow("one slow frame") << QList<int> {40, 40, 40, 80} << 4 << 12.5 << 20.0;
    QTest::newRow("zero is ignored and leaves history alone") << QList<int> {40, 0, 80} << 2 << 12.5 << 1000.0 / 60;
    QList<int> rolled;
    for (int i = 0; i < 50; ++i)
        rolled << 100;
    rolled << 50;
    // the oldest 100 ms slot is replaced: (49 * 100 + 50) / 50 = 99 ms
    QTest::newRow("oldest interval drops out") << rolled << 51 << 20.0 << 1000.0 / 99;
}

void TestQImageGrabber::frameRateHistory()
{
    QFETCH(QList<int>, intervals);
    QFETCH(int, expectedSignals);
    QFETCH(double, current);
    QFETCH(double, average);

    StreamProbe grabber;
    QSignalSpy spy(&grabber, &QImageGrabber::newFPSCalculated);
    for (int interval : intervals)
        grabber.calculateFPS(interval);
    QCOMPARE(spy.count(), expectedSignals);
    QCOMPARE(spy.last().at(0).toDouble(), current);
    QVERIFY(qFuzzyCompare(spy.last().at(1).toDouble(), average));
}

void TestQImageGrabber::streamDecodesTheNewestFrameOneAtATime()
{
    FedStream stream;
    // An image whose header announces too many pixels is refused; the stream goes on.
    stream.arriveAndDecode(TestMjpeg::multipartPart(TestMjpeg::claimingSize(60000, 60000)));
    QCOMPARE(stream.images.count(), 0);

    // Of two images in one arrival only the second is decoded; both count for the frame rate,
    // with the time since the previous image went to the decoder.
    stream.grabber.lastFrameTime = QImageGrabber::monotonicMs() - 40;
    stream.arrive(
        TestMjpeg::multipartPart(TestMjpeg::plain(Qt::red)) + TestMjpeg::multipartPart(TestMjpeg::plain(Qt::green)));
    QCOMPARE(stream.rates.count(), 3);
    QVERIFY(stream.rates.at(2).at(0).toDouble() <= 25.0);
    QCOMPARE(stream.grabber.state(), QImageGrabber::Grabbing);
    // While green is decoded, blue and then yellow arrive: yellow replaces blue unread.
    stream.arrive(TestMjpeg::multipartPart(TestMjpeg::plain(Qt::blue)));
    QCOMPARE(stream.images.count(), 0);
    stream.arriveAndDecode(TestMjpeg::multipartPart(TestMjpeg::plain(Qt::yellow, QSize(64, 48))));
    const ImageLog &images = stream.images;
    QCOMPARE(images.count(), 2);
    QVERIFY(TestMjpeg::looksLike(images.images.at(0), Qt::green));
    QVERIFY(TestMjpeg::looksLike(images.images.at(1), Qt::yellow));
    QCOMPARE(images.images.at(1).size(), QSize(64, 48));
    QCOMPARE(images.images.at(1).format(), QImage::Format_RGB32);
    // The grabber hands out its one image object every time.
    QCOMPARE(images.objects.at(0), images.objects.at(1));
}

void TestQImageGrabber::streamDecodesOnlyWhatIsShown()
{
    FedStream stream;
    const QByteArray frame = TestMjpeg::multipartPart(TestMjpeg::plain(Qt::red, QSize(64, 48)));
    // Nobody sees the frames: they are cut, and not decoded.
    stream.grabber.setShownSize(QSize(0, 0));
    stream.grabber.lastFrameTime = QImageGrabber::monotonicMs() - 40;
    stream.arrive(frame);
    QVERIFY(!stream.grabber.decoder->busy());
    QCOMPARE(stream.rates.count(), 1);
    // A view binds: the next frame is decoded at the smallest scale that covers the view.
    stream.grabber.setShownSize(QSize(16, 10));
    stream.arriveAndDecode(frame);
    QCOMPARE(stream.images.count(), 1);
    QCOMPARE(stream.images.images.at(0).size(), QSize(16, 12));
}

void TestQImageGrabber::streamReusesOnlyFramesNobodyHolds()
{
    FedStream stream;
    QImage kept;
    QList<const uchar *> pixels;
    connect(&stream.grabber, &QImageGrabber::newImageGrabbed, this, [&](QImage *image) {
        if (kept.isNull())
            kept = *image;
        pixels << image->constBits();
    });
    for (Qt::GlobalColor colour : {Qt::red, Qt::green, Qt::blue, Qt::yellow})
        stream.arriveAndDecode(TestMjpeg::multipartPart(TestMjpeg::plain(colour, QSize(64, 48))));
    QCOMPARE(pixels.size(), 4);
    // The first frame is still held, as a view holds the frame it shows: it stays as it was.
    QVERIFY(TestMjpeg::looksLike(kept, Qt::red));
    QVERIFY(pixels.at(2) != pixels.at(0));
    // The second one nobody holds any more: the fourth is decoded into it.
    QCOMPARE(pixels.at(3), pixels.at(1));
    disconnect(&stream.grabber, nullptr, this, nullptr);
}

void TestQImageGrabber::streamFailures_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("error"); // empty: the network's own text

    const QString tooLarge = QStringLiteral("The stream sent an image or a header line larger than allowed");
    const QByteArray start = LoopbackHttpServer::streamHead() + "--b\r\nContent-Type: image/jpeg\r\n";
    QTest::newRow("connection refused") << QByteArray() << QString();
    QTest::newRow("not found") << QByteArray("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n") << QString();
    QTest::newRow("image just above the cap")
        << start + "Content-Length: " + QByteArray::number(QImageGrabber::MAX_IMAGE_BYTES + 1) + "\r\n\r\n"
        << tooLarge;
    // Longer than the reply may hold unread: a grabber without a limit here would stall.
    QTest::newRow("header line that never ends")
        << start + "X-Padding: " + QByteArray(2 * 1024 * 1024, 'p') << tooLarge;
}

void TestQImageGrabber::streamFailures()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, error);

    StreamRig rig(answer);
    // A network error ends at the peer; a stream past the cap has to be ended by the grabber.
    if (answer.isNull())
        rig.peer.server.close();
    else if (error.isEmpty())
        rig.peer.server.setHandler([answer](QTcpSocket *connection, const QByteArray &) {
            connection->write(answer);
            connection->disconnectFromHost();
        });
    for (int attempt = 0; attempt < 2 && !error.isEmpty(); ++attempt)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("dropped: " + error));

    QVERIFY(rig.grabber.startGrabbing());
    QTRY_COMPARE(rig.errors.count(), 1);
    QCOMPARE(rig.grabber.state(), QImageGrabber::Error);
    if (error.isEmpty())
        QVERIFY(!rig.grabber.errorString().isEmpty());
    else
        QCOMPARE(rig.grabber.errorString(), error);
    QTRY_COMPARE(rig.peer.server.disconnections, answer.isNull() ? 0 : 1);
    QTest::qWait(50); // the finished signal that follows the error must not undo it
    QCOMPARE(rig.grabber.state(), QImageGrabber::Error);
    QCOMPARE(signalled(rig.states).last(), S::Error);
    QCOMPARE(rig.errors.count(), 1);
    QCOMPARE(rig.ended.count(), 0);

    // A new start announces Connecting while the state still reads Error.
    rig.states.clear();
    QVERIFY(rig.grabber.startGrabbing());
    QCOMPARE(signalled(rig.states), QList<S> {S::Connecting});
    QCOMPARE(rig.grabber.state(), QImageGrabber::Error);
    QTRY_COMPARE(rig.errors.count(), 2);
}

void TestQImageGrabber::streamStallIsAnError()
{
    StreamRig rig(LoopbackHttpServer::streamHead() + "--b\r\n");
    QVERIFY(rig.grabber.startGrabbing());
    QTRY_COMPARE(rig.grabber.state(), QImageGrabber::Grabbing);
    const QTimer &watchdog = rig.grabber.timeoutTimer;
    QVERIFY(watchdog.isActive());
    QVERIFY(watchdog.isSingleShot());

    // Connected, and no image for that long: the stream is ended as failed, so that the
    // encoder's retry takes over.
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("dropped: No image for 10 seconds$"));
    rig.grabber.newImageTimeOut();
    QCOMPARE(rig.grabber.state(), QImageGrabber::Error);
    QCOMPARE(rig.errors.count(), 1);
    QCOMPARE(rig.grabber.errorString(), QStringLiteral("No image for 10 seconds"));
    QVERIFY(!watchdog.isActive());
    QTRY_COMPARE(rig.peer.server.disconnections, 1);
    QCOMPARE(rig.ended.count(), 0);
}

void TestQImageGrabber::streamEndsWithItsGrabber()
{
    // The grabbers share one network manager, which lives on after any of them.
    Peer peer(LoopbackHttpServer::streamHead());
    auto grabber = std::make_unique<QImageGrabberMjpeg>();
    grabber->setSource(peer.server.url());
    grabber->startGrabbing();
    QTRY_COMPARE(grabber->state(), QImageGrabber::Grabbing);
    grabber.reset();
    QTRY_COMPARE(peer.server.disconnections, 1);
}

void TestQImageGrabber::streamUrlChangesAndStop()
{
    QVERIFY(!QImageGrabberMjpeg().startGrabbing());
    StreamRig rig(LoopbackHttpServer::streamHead());
    Peer second(LoopbackHttpServer::streamHead());

    // While stopped a new URL is only stored.
    rig.grabber.setUrl(QUrl(second.server.url()));
    rig.grabber.setUrl(QUrl(rig.peer.server.url()));
    QCOMPARE(rig.grabber.source(), rig.peer.server.url());
    QTest::qWait(20);
    QVERIFY(rig.states.isEmpty() && rig.peer.server.requests.isEmpty() && second.server.requests.isEmpty());
    // Connecting is announced while the state still reads Stopped.
    QVERIFY(rig.grabber.startGrabbing());
    QCOMPARE(rig.grabber.state(), QImageGrabber::Stopped);
    QTRY_COMPARE(rig.grabber.state(), QImageGrabber::Grabbing);
    QCOMPARE(signalled(rig.states), (QList<S> {S::Connecting, S::Grabbing}));
    const QByteArray request = rig.peer.server.requests.value(0);
    QVERIFY2(request.startsWith("GET /stream HTTP/1.1\r\n"), request.constData());
    QVERIFY2(request.contains("\r\nUser-Agent: Kobo7171 Imagegrabber LIB\r\n"), request.constData());

    // While grabbing, setSource refuses an invalid URL and only stores a valid one.
    rig.states.clear();
    rig.grabber.setSource(QStringLiteral("http://[::1"));
    QCOMPARE(rig.errors.count(), 1);
    QCOMPARE(rig.grabber.errorString(), QStringLiteral("Invalid URL"));
    QCOMPARE(rig.grabber.source(), rig.peer.server.url());
    rig.grabber.setSource(QStringLiteral("http://127.0.0.1:1/other"));
    QCOMPARE(rig.grabber.source(), QStringLiteral("http://127.0.0.1:1/other"));
    rig.peer.send("--b\r\n");
    for (int i = 0; i < COLOURS.size(); ++i) {
        rig.peer.send(part(COLOURS.at(i)));
        QTRY_COMPARE(rig.images.count(), i + 1);
        QVERIFY(TestMjpeg::looksLike(rig.images.images.last(), COLOURS.at(i)));
    }
    QVERIFY(rig.states.isEmpty());
    QCOMPARE(rig.peer.server.requests.size(), 1);

    // setUrl restarts a running download on the new URL.
    rig.grabber.setUrl(QUrl(second.server.url()));
    QCOMPARE(rig.grabber.source(), second.server.url());
    QTRY_COMPARE(rig.peer.server.disconnections, 1);
    QTRY_COMPARE(rig.grabber.state(), QImageGrabber::Grabbing);
    QCOMPARE(second.server.requests.size(), 1);
    QCOMPARE(signalled(rig.states), (QList<S> {S::Stopped, S::Connecting, S::Grabbing}));

    // Stopping reports Stopped at once and ends the download without an error.
    rig.states.clear();
    rig.grabber.stopGrabbing();
    QCOMPARE(rig.grabber.state(), QImageGrabber::Stopped);
    QTRY_COMPARE(second.server.disconnections, 1);
    QTest::qWait(50);
    QCOMPARE(signalled(rig.states), QList<S> {S::Stopped});
    QCOMPARE(rig.errors.count(), 1);
    QCOMPARE(rig.ended.count(), 0);
}

void TestQImageGrabber::streamKeepsUpWithAFloodingSender()
{
    // A sender far faster than the decoding: the grabber must keep decoding the newest
    // images while TCP holds the sender back, neither stalling nor hoarding the backlog.
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

void TestQImageGrabber::streamPlaysFfmpegMultipart()
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
    QCOMPARE(grabber.state(), QImageGrabber::Stopped);
    qInfo() << sizes.size() << "images decoded," << cut.count() << "cut";
    QVERIFY(cut.count() >= 25 && cut.count() <= 31);
    QVERIFY(sizes.size() >= cut.count() - 1);
    QCOMPARE(sizes.count(QSize(320, 240)), sizes.size());
}

void TestQImageGrabber::snapshotPacing_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<int>("answerAfterMs");
    QTest::addColumn<int>("requestInterval"); // 0: the next request goes out at once

    QTest::newRow("4 fps, answered after 100 ms") << 4.0 << 100 << 250;
    QTest::newRow("4 fps, answered after 300 ms") << 4.0 << 300 << 0;
    QTest::newRow("no rate requested") << 0.0 << 10 << 0;
}

void TestQImageGrabber::snapshotPacing()
{
    QFETCH(double, fps);
    QFETCH(int, answerAfterMs);
    QFETCH(int, requestInterval);

    SnapshotRig rig;
    SnapshotProbe &grabber = rig.grabber;
    grabber.setSource(rig.peer.server.url(QStringLiteral("/?action=snapshot")));
    grabber.setRequestedFps(fps);
    QSignalSpy rates(&grabber, &QImageGrabber::newFPSCalculated);
    QVERIFY(grabber.startGrabbing());
    QCOMPARE(grabber.state(), QImageGrabber::Connecting);
    QCOMPARE(rig.states.count(), 0);
    QTRY_COMPARE(rig.peer.server.requests.size(), 1);
    QVERIFY(rig.peer.server.requests.at(0).startsWith("GET /?action=snapshot HTTP/1.1\r\n"));
    QVERIFY(rig.peer.server.requests.at(0).contains("\r\nUser-Agent: QImageGrabber\r\n"));

    // The pacing counts from the moment the request went out.
    const qint64 requestTime = QImageGrabber::monotonicMs() - answerAfterMs;
    grabber.lastFrameTime = requestTime;
    rig.peer.answerImage(Qt::red);
    QTRY_COMPARE(rig.images.count(), 1);
    const int elapsed = int(rig.images.arrivals.at(0) - requestTime);
    QVERIFY(TestMjpeg::looksLike(rig.images.images.at(0), Qt::red));
    QCOMPARE(signalled(rig.states), QList<S> {S::Grabbing});
    QCOMPARE(rates.count(), 1);
    QVERIFY(rates.at(0).at(0).toDouble() <= 1000.0 / answerAfterMs);

    if (requestInterval == 0) {
        QVERIFY(!grabber.timeoutTimer.isActive());
        QTRY_COMPARE(rig.peer.server.requests.size(), 2);
        return;
    }
    QVERIFY(grabber.timeoutTimer.isActive());
    QVERIFY(grabber.timeoutTimer.isSingleShot());
    const int delay = grabber.timeoutTimer.interval();
    QVERIFY2(delay <= requestInterval - elapsed && delay >= requestInterval - elapsed - 2,
        qPrintable(QStringLiteral("%1 ms after %2 ms").arg(delay).arg(elapsed)));
    grabber.timeoutTimer.stop();
    QCOMPARE(rig.peer.server.requests.size(), 1);
    grabber.newImageTimeOut();
    QTRY_COMPARE(rig.peer.server.requests.size(), 2);
}

void TestQImageGrabber::snapshotStartAndStop()
{
    SnapshotRig rig;
    SnapshotProbe &grabber = rig.grabber;
    // Nothing requested yet: nothing to stop.
    grabber.stopGrabbing();
    QCOMPARE(rig.states.count(), 0);

    QVERIFY(grabber.startGrabbing());
    QTRY_COMPARE(rig.peer.server.requests.size(), 1);
    // Still connecting: a second start sends another request and drops the first one.
    QVERIFY(grabber.startGrabbing());
    QTRY_COMPARE(rig.peer.server.requests.size(), 2);
    QTRY_COMPARE(rig.peer.server.disconnections, 1);
    grabber.setRequestedFps(1);
    rig.peer.answerImage(Qt::green);
    QTRY_COMPARE(rig.images.count(), 1);
    QCOMPARE(grabber.state(), QImageGrabber::Grabbing);
    QVERIFY(!grabber.startGrabbing());

    // Stopped while waiting for the next request: none goes out.
    QVERIFY(grabber.timeoutTimer.isActive());
    grabber.stopGrabbing();
    QCOMPARE(grabber.state(), QImageGrabber::Stopped);
    QCOMPARE(signalled(rig.states), (QList<S> {S::Grabbing, S::Stopped}));
    QVERIFY(!grabber.timeoutTimer.isActive());
    grabber.newImageTimeOut();
    QTest::qWait(50);
    QCOMPARE(rig.peer.server.requests.size(), 2);

    // Stopping a request under way closes it without an error; its answer is not used.
    QVERIFY(grabber.startGrabbing());
    QTRY_COMPARE(rig.peer.server.requests.size(), 3);
    grabber.stopGrabbing();
    QCOMPARE(grabber.state(), QImageGrabber::Stopped);
    rig.peer.answerImage(Qt::red);
    QTest::qWait(100);
    QCOMPARE(rig.images.count(), 1);
    QCOMPARE(rig.errors.count(), 0);
    QCOMPARE(grabber.state(), QImageGrabber::Stopped);
}

void TestQImageGrabber::snapshotUrlHandling()
{
    QImageGrabberHttp unset;
    QCOMPARE(unset.errorString(), QStringLiteral("Invalid URL: "));
    QVERIFY(!unset.startGrabbing());

    SnapshotRig rig;
    Peer second;
    rig.grabber.setRequestedFps(1);
    rig.grabber.startGrabbing();
    QTRY_COMPARE(rig.peer.server.requests.size(), 1);
    rig.peer.answerImage(Qt::red);
    QTRY_COMPARE(rig.grabber.state(), QImageGrabber::Grabbing);

    // A new URL while grabbing: restarted there.
    rig.grabber.setSource(second.server.url());
    QCOMPARE(rig.grabber.source(), second.server.url());
    QTRY_COMPARE(second.server.requests.size(), 1);
    QCOMPARE(rig.grabber.state(), QImageGrabber::Connecting);
    second.answerImage(Qt::green);
    QTRY_COMPARE(rig.grabber.state(), QImageGrabber::Grabbing);

    // An invalid one is reported and stops the grabber.
    rig.states.clear();
    rig.grabber.setSource(QStringLiteral("http://[::1"));
    QCOMPARE(rig.errors.count(), 1);
    QCOMPARE(rig.grabber.errorString(), QStringLiteral("Invalid URL: "));
    QCOMPARE(rig.grabber.state(), QImageGrabber::Stopped);
    QCOMPARE(signalled(rig.states), QList<S> {S::Stopped});
    QVERIFY(!rig.grabber.startGrabbing());
}

void TestQImageGrabber::snapshotFailures_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("error");
    QTest::newRow("connection refused") << QByteArray() << QStringLiteral("refused");
    // A gigabyte announced; the grabber gives up past the cap and ends the download.
    QTest::newRow("larger than the cap")
        << "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: 1073741824\r\n\r\n"
            + QByteArray(int(QImageGrabber::MAX_IMAGE_BYTES) + 8 * 1024 * 1024, 'x')
        << QStringLiteral("^The snapshot is larger than 33554432 bytes$");
}

void TestQImageGrabber::snapshotFailures()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, error);

    SnapshotRig rig;
    if (answer.isNull())
        rig.peer.server.close();
    else
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("dropped: The snapshot is larger than 33554432 bytes"));
    QVERIFY(rig.grabber.startGrabbing());
    if (!answer.isNull()) {
        QTRY_COMPARE(rig.peer.server.requests.size(), 1);
        rig.peer.send(answer);
    }
    QTRY_COMPARE(rig.errors.count(), 1);
    QCOMPARE(rig.grabber.state(), QImageGrabber::Error);
    QVERIFY2(rig.grabber.errorString().contains(QRegularExpression(error, QRegularExpression::CaseInsensitiveOption)),
        qPrintable(rig.grabber.errorString()));
    QCOMPARE(signalled(rig.states), QList<S> {S::Error});
    QTRY_COMPARE(rig.peer.server.disconnections, answer.isNull() ? 0 : 1);
    QTest::qWait(50);
    QCOMPARE(rig.errors.count(), 1);
    QCOMPARE(rig.images.count(), 0);
    QCOMPARE(rig.peer.server.requests.size(), answer.isNull() ? 0 : 1);
}

void TestQImageGrabber::snapshotEmptyAndUndecodableAnswers()
{
    SnapshotRig rig;
    rig.grabber.startGrabbing();
    QTRY_COMPARE(rig.peer.server.requests.size(), 1);
    // Not an image before any was decoded: the image handed out is the initial one, whose
    // every pixel is defined (opaque black, down to the fourth byte).
    rig.peer.send(LoopbackHttpServer::snapshotResponse("no picture here"));
    QTRY_COMPARE(rig.images.count(), 1);
    const QImage initial = rig.images.images.at(0);
    QCOMPARE(initial.size(), QSize(640, 480));
    for (int y = 0; y < initial.height(); ++y) {
        const quint32 *row = reinterpret_cast<const quint32 *>(initial.constScanLine(y));
        QVERIFY(std::all_of(row, row + initial.width(), [](quint32 pixel) { return pixel == 0xff000000u; }));
    }
    QTRY_COMPARE(rig.peer.server.requests.size(), 2);
    rig.peer.answerImage(Qt::red);
    QTRY_COMPARE(rig.peer.server.requests.size(), 3);

    // Not an image: handed out all the same, still showing the last picture.
    rig.peer.send(LoopbackHttpServer::snapshotResponse("no picture here"));
    QTRY_COMPARE(rig.images.count(), 3);
    QVERIFY(TestMjpeg::looksLike(rig.images.images.at(2), Qt::red));
    QTRY_COMPARE(rig.peer.server.requests.size(), 4);

    // No body: the loop ends, and the grabber says so.
    rig.peer.send(LoopbackHttpServer::snapshotResponse(QByteArray()));
    QTRY_COMPARE(rig.grabber.state(), QImageGrabber::Stopped);
    QCOMPARE(signalled(rig.states), (QList<S> {S::Grabbing, S::Stopped}));
    QTest::qWait(50);
    QCOMPARE(rig.peer.server.requests.size(), 4);
    QCOMPARE(rig.images.count(), 3);
    QVERIFY(rig.grabber.startGrabbing());
}

QTEST_GUILESS_MAIN(TestQImageGrabber)
#include "tst_qimage_grabber.moc"
