#include "log_capture.h"
#include "test_mjpeg.h"
#include "video/decode_pool.h"
#include "video/frame_decoder.h"
#include "video/jpeg_decoder.h"
#include "video/mjpeg_frame_cutter.h"
#include "video/qimage_grabber_http.h"
#include "video/qimage_grabber_mjpeg.h"

#include <QBuffer>
#include <QImageReader>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>

namespace {

using S = QImageGrabber::GrabbingState;
using TestMjpeg::blockHeader;

// Image payloads that carry framing look-alikes, so that a cutter that reads into the
// image bytes shows up as a wrong cut.
const QList<QByteArray> PAYLOADS = {
    QByteArray("\xff\xd8 first image\r\n\r\nContent-Length: 3\r\n--ffmpeg\r\n\xff\xd9"),
    QByteArray("\xff\xd8 mjpeg00000010 second\n\r\n\xff\xd9"),
    QByteArray(40, '\n') + "\r\n\xff\xd9",
};

// Every image cut from body, in order.
QList<QByteArray> cutAll(MjpegFrameCutter &cutter, QByteArray body)
{
    QBuffer input(&body);
    input.open(QIODevice::ReadOnly);
    QList<QByteArray> images;
    while (cutter.cutImage(&input)) {
        images << QByteArray();
        cutter.takeNewestImage(images.last());
    }
    return images;
}

class StreamProbe : public QImageGrabberMjpeg
{
public:
    using QImageGrabber::decoder;
    using QImageGrabberMjpeg::newImageTimeOut;
    using QImageGrabberMjpeg::processReceivedData;
};

QList<S> signalled(const QSignalSpy &states)
{
    QList<S> list;
    for (const QList<QVariant> &arguments : states)
        list << arguments.at(0).value<S>();
    return list;
}

QByteArray part(const QColor &colour)
{
    return TestMjpeg::multipartPart(TestMjpeg::plain(colour), "b");
}

// Copies of the frames handed out, as a receiver takes them inside its slot, and where
// their pixels were.
struct ImageLog
{
    explicit ImageLog(QImageGrabber &grabber)
    {
        QObject::connect(&grabber, &QImageGrabber::newImageGrabbed, &grabber, [this](QImage *image) {
            images << image->copy();
            pixels << image->constBits();
        });
    }
    QList<QImage> images;
    QList<const uchar *> pixels;
};

// A stream grabber fed by hand: the bytes arrive and are cut at once, and the decoder is
// waited for only when asked.
struct FedStream
{
    FedStream() { input.open(QIODevice::ReadOnly); }
    void arrive(const QByteArray &bytes)
    {
        arrived += bytes;
        grabber.processReceivedData(&input);
    }
    bool arriveAndDecode(const QByteArray &bytes)
    {
        arrive(bytes);
        return QTest::qWaitFor([this] { return !grabber.decoder->busy(); }, 5000);
    }
    StreamProbe grabber;
    ImageLog log {grabber};
    QByteArray arrived = "--b\r\n";
    QBuffer input {&arrived};
};

// A grabber on a loopback peer that answers every request with head and keeps the
// connections for the test to write on.
template <typename Grabber> struct Rig
{
    explicit Rig(const QByteArray &head = QByteArray())
    {
        peer.setHandler([this, head](QTcpSocket *connection, const QByteArray &) {
            connection->write(head);
            connections << connection;
        });
        grabber.setSource(peer.url());
    }
    void send(const QByteArray &bytes) { connections.last()->write(bytes); }
    LoopbackHttpServer peer;
    QList<QPointer<QTcpSocket>> connections;
    Grabber grabber;
    QSignalSpy states {&grabber, &QImageGrabber::stateChanged};
    QSignalSpy errors {&grabber, &QImageGrabber::errorHappend};
    QSignalSpy ended {&grabber, &QImageGrabber::downloadStopped};
    ImageLog log {grabber};
};

} // namespace

class TestQImageGrabber : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cutsEachFraming_data();
    void cutsEachFraming();
    void decodesAtTheScaleShown_data();
    void decodesAtTheScaleShown();
    void decodesTheNewestFrameOneAtATime();
    void decodesEveryFrameOfABurstySender_data();
    void decodesEveryFrameOfABurstySender();
    void decodePoolHasAWorkerOnOneCore();
    void streamFailures_data();
    void streamFailures();
    void streamStartsAndStops();
    void streamPlaysFfmpegMultipart();
    void snapshotTooLarge();

private:
    QTemporaryDir dir;
};

void TestQImageGrabber::initTestCase()
{
    // Frames as encoders make them (4:2:0, as ffmpeg's MJPEG encoder writes), and a grey one.
    QProcess ffmpeg;
    ffmpeg.setWorkingDirectory(dir.path());
    ffmpeg.setProcessChannelMode(QProcess::ForwardedChannels);
    ffmpeg.start("ffmpeg",
        {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i", "testsrc2=s=1280x720", "-frames:v", "1", "-pix_fmt",
            "yuvj420p", "-q:v", "5", "wide.jpg", "-frames:v", "1", "-vf", "scale=320:240,format=gray", "grey.jpg"});
    QVERIFY2(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0, "ffmpeg could not make the frames");
}

void TestQImageGrabber::cutsEachFraming_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QList<QByteArray>>("images");
    QTest::addColumn<bool>("overflows");
    QTest::addColumn<QStringList>("warnings");

    QByteArray ffmpeg = "--ffmpeg\r\n", bare, headersFirst, blocks;
    for (const QByteArray &payload : PAYLOADS) {
        const QByteArray length = QByteArray::number(payload.size());
        ffmpeg += TestMjpeg::multipartPart(payload);
        bare += "--x\r\nContent-Type: image/jpeg\r\nContent-Length: " + length + "\r\n\r\n" + payload;
        headersFirst += "Content-Length: " + length + "\r\n\r\n" + payload;
        blocks += blockHeader(payload.size(), blocks.isEmpty() ? 50 : 51) + payload;
    }
    // Only the first block header of a download is told, with the network bytes escaped.
    const auto told = [](int size) -> QString {
        return QStringLiteral("%1 CI mjpeg%2").arg(size).arg(size, 8, 10, QLatin1Char('0')) + QString(36, ' ')
            + "\\x0a";
    };
    const auto row
        = [](const char *name, const QByteArray &body, const QList<QByteArray> &images, bool overflows = false,
              const QStringList &warnings = {}) { QTest::newRow(name) << body << images << overflows << warnings; };
    row("multipart as ffmpeg sends it", ffmpeg, PAYLOADS);
    row("multipart without line break after the image", bare, PAYLOADS);
    row("multipart starting with the part headers", headersFirst, PAYLOADS);
    row("block framing", blocks, PAYLOADS, false, {told(PAYLOADS.at(0).size())});
    for (const char *line : {"CONTENT-LENGTH: 5", "Content-Length:5", "Content-length:\t 05  "})
        row(line, QByteArray("--x\r\n" + QByteArray(line) + "\r\n\r\nABCDE").repeated(2), {"ABCDE", "ABCDE"});
    // Out of step, every following 51 bytes are no header either: the first is told, the rest
    // counted. The bytes would play tricks on a terminal.
    const QByteArray junk = QByteArray("\x1b[2J\r\nFAKE LOG LINE\n").leftJustified(51, '\x7f');
    row("misaligned blocks", blockHeader(3, 50) + "one" + junk.repeated(20560) + blockHeader(2, 51) + "ok",
        {"one", "ok"}, false,
        {told(3), "invalid border \\x1b[2J\\x0d\\x0aFAKE LOG LINE\\x0a" + QString("\\x7f").repeated(31),
            "20559 more invalid borders skipped"});
    // Images up to 64 bytes, unfinished header lines up to 32.
    const QByteArray start = "--boundary-long-enough-to-be-read-as-a-first-line\r\n";
    const QByteArray atCap(64, 'j');
    row("part at the cap", start + "Content-Length: 64\r\n\r\n" + atCap, {atCap});
    row("part above the cap", start + "Content-Length: 65\r\n\r\n" + atCap, {}, true);
    row("unfinished header line at its cap", start + "X-Padding: " + QByteArray(21, 'p'), {});
    row("header line that never ends", start + "X-Padding: " + QByteArray(22, 'p'), {}, true);
    row("long header line that ends", start + "X-Padding: " + QByteArray(60, 'p') + "\r\n", {});
}

void TestQImageGrabber::cutsEachFraming()
{
    QFETCH(QByteArray, body);
    QFETCH(QList<QByteArray>, images);
    QFETCH(bool, overflows);
    QFETCH(QStringList, warnings);

    MjpegFrameCutter cutter(64, 32);
    LogCapture told(QtWarningMsg);
    QCOMPARE(cutAll(cutter, body), images);
    QCOMPARE(cutter.overflowed(), overflows);
    QCOMPARE(told.messages(), warnings);
}

void TestQImageGrabber::decodesAtTheScaleShown_data()
{
    QTest::addColumn<QByteArray>("jpeg");
    QTest::addColumn<QSize>("shown");
    QTest::addColumn<QSize>("decoded"); // invalid: nothing handed out

    const auto file = [this](const char *name) {
        QFile source(dir.filePath(name));
        return source.open(QIODevice::ReadOnly) ? source.readAll() : QByteArray();
    };
    const QSize hd(1280, 720);
    // The toolkit's reader decodes at the same reduced scales where they divide the sides
    // evenly, so the pictures must be the same, pixel for pixel.
    for (int denominator : {1, 2, 4, 8})
        QTest::addRow("ffmpeg at 1/%d", denominator) << file("wide.jpg") << hd / denominator << hd / denominator;
    QTest::newRow("ffmpeg, grey") << file("grey.jpg") << QSize(40, 30) << QSize(40, 30);
    QTest::newRow("one pixel wider than half") << TestMjpeg::plain(Qt::red, hd) << QSize(641, 360) << hd;
    QTest::newRow("a square view needs the height") << TestMjpeg::plain(Qt::red, hd) << QSize(200, 200) << hd / 2;
    // 1279 / 8 rounds up to 160, 719 / 8 to 90.
    QTest::newRow("sides rounded up") << TestMjpeg::plain(Qt::red, QSize(1279, 719)) << QSize(160, 90)
                                      << QSize(160, 90);
    QTest::newRow("nobody sees it") << TestMjpeg::plain(Qt::red) << QSize(0, 0) << QSize();
    QTest::newRow("not a JPEG") << QByteArray("GIF89a and more bytes") << JpegDecoder::FULL_SIZE << QSize();
    const QByteArray blue = TestMjpeg::plain(Qt::blue);
    QTest::newRow("header only") << blue.left(blue.indexOf("\xff\xda")) << JpegDecoder::FULL_SIZE << QSize();
    QTest::newRow("too many pixels") << TestMjpeg::plain(Qt::gray, QSize(4097, 4096)) << JpegDecoder::FULL_SIZE
                                     << QSize();
}

void TestQImageGrabber::decodesAtTheScaleShown()
{
    QFETCH(QByteArray, jpeg);
    QFETCH(QSize, shown);
    QFETCH(QSize, decoded);

    FedStream stream;
    stream.grabber.setShownSize(shown);
    QVERIFY(stream.arriveAndDecode(TestMjpeg::multipartPart(jpeg, "b")));
    QCOMPARE(stream.log.images.size(), decoded.isValid() ? 1 : 0);
    if (!decoded.isValid())
        return;
    QImage image = stream.log.images.at(0);
    QCOMPARE(image.format(), QImage::Format_RGB32);
    // Compared with their fourth bytes, which the format requires to be 0xff.
    image.reinterpretAsFormat(QImage::Format_ARGB32);
    QBuffer buffer(&jpeg);
    QImageReader reader(&buffer, "JPG");
    reader.setScaledSize(decoded);
    QCOMPARE(image, reader.read().convertToFormat(QImage::Format_ARGB32));
}

void TestQImageGrabber::decodesTheNewestFrameOneAtATime()
{
    FedStream stream;
    QImage held;
    QObject::connect(&stream.grabber, &QImageGrabber::newImageGrabbed, &stream.grabber, [&held](QImage *image) {
        if (held.isNull())
            held = *image;
    });
    // An idle decoder starts on the first of two images that arrive together; the second waits
    // for it. While they are decoded, blue and then yellow arrive: yellow replaces green and
    // then blue, unread.
    stream.arrive(part(Qt::red) + part(Qt::green));
    stream.arrive(part(Qt::blue));
    QVERIFY(stream.arriveAndDecode(part(Qt::yellow)));
    QVERIFY(stream.arriveAndDecode(part(Qt::magenta)));
    QVERIFY(stream.arriveAndDecode(part(Qt::blue)));
    const QList<QImage> &images = stream.log.images;
    QCOMPARE(images.size(), 4);
    for (int i = 0; i < 4; ++i)
        QVERIFY(TestMjpeg::looksLike(images.at(i), QList<QColor> {Qt::red, Qt::yellow, Qt::magenta, Qt::blue}.at(i)));
    // The first frame is still held, as a view holds the frame it shows: it stays as it was.
    // The second one nobody holds any more: the fourth is decoded into it.
    QVERIFY(TestMjpeg::looksLike(held, Qt::red));
    QCOMPARE(stream.log.pixels.at(3), stream.log.pixels.at(1));

    // Drawn once a minute, as a thumbnail might be: the next frame is decoded, those that
    // follow it sooner are not.
    stream.grabber.setFrameInterval(60000);
    QVERIFY(stream.arriveAndDecode(part(Qt::green)));
    QVERIFY(stream.arriveAndDecode(part(Qt::red)));
    QCOMPARE(images.size(), 5);
    QVERIFY(TestMjpeg::looksLike(images.last(), Qt::green));
}

// A sender that writes its frames in pairs, gap milliseconds apart, as a media player's MJPEG
// server does, or both in one write, as a relay that buffers does. It sends the next pair only
// when told (a line on its input), so that the test decides when a pair comes, and pauses
// briefly before it so that no pair arrives in the same millisecond as the one before; it
// holds the connection until its input closes.
const char PairSender[] = R"(
import socket, sys, time
gap, pairs, image = float(sys.argv[1]) / 1000, int(sys.argv[2]), open(sys.argv[3], 'rb').read()
part = b'--b\r\nContent-Type: image/jpeg\r\nContent-Length: %d\r\n\r\n' % len(image) + image + b'\r\n'
server = socket.socket()
server.bind(('127.0.0.1', 0))
server.listen(1)
print(server.getsockname()[1], flush=True)
connection, _ = server.accept()
connection.recv(65536)
connection.sendall(b'HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=b\r\n\r\n')
for i in range(pairs):
    if not sys.stdin.readline():
        sys.exit()
    time.sleep(0.005)
    if gap == 0:
        connection.sendall(part + part)
    else:
        connection.sendall(part)
        time.sleep(gap)
        connection.sendall(part)
sys.stdin.read()
)";

void TestQImageGrabber::decodesEveryFrameOfABurstySender_data()
{
    QTest::addColumn<int>("gapMs");
    QTest::newRow("pairs in one write") << 0;
    QTest::newRow("pairs 3 ms apart") << 3;
}

void TestQImageGrabber::decodesEveryFrameOfABurstySender()
{
    QFETCH(int, gapMs);
    // Exactly the frames the rate history holds, so that the average covers all of them.
    constexpr int pairs = QImageGrabber::FPS_HISTORY_SIZE / 2;
    QTemporaryDir dir;
    QFile image(dir.filePath("frame.jpg"));
    QVERIFY(image.open(QIODevice::WriteOnly));
    image.write(TestMjpeg::plain(Qt::darkCyan, QSize(320, 240)));
    image.close();
    QProcess sender;
    sender.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sender.start("timeout",
        {"120", "python3", "-c", PairSender, QString::number(gapMs), QString::number(pairs), image.fileName()});
    auto stopSender = qScopeGuard([&sender] {
        // timeout hands the signal on to the sender, so that nothing of it outlives the test.
        sender.terminate();
        if (!sender.waitForFinished(5000))
            sender.kill();
        sender.waitForFinished();
    });
    QVERIFY(sender.waitForReadyRead(30000));
    const int port = sender.readLine().trimmed().toInt();

    QImageGrabberMjpeg grabber;
    grabber.setUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/stream").arg(port)));
    ImageLog log(grabber);
    QSignalSpy rates(&grabber, &QImageGrabber::newFPSCalculated);
    // The grabber's clock starts inside startGrabbing, between these two readings.
    const qint64 beforeStart = QImageGrabber::monotonicMs();
    QVERIFY(grabber.startGrabbing());
    const qint64 afterStart = QImageGrabber::monotonicMs();
    // A pair comes once the one before it is shown: the second frame of a pair that comes
    // while the decoder is still busy with the first must wait, not be dropped. How long a
    // decode takes on a loaded machine then changes nothing.
    qint64 lastPairAsked = 0;
    for (int pair = 0; pair < pairs; ++pair) {
        lastPairAsked = QImageGrabber::monotonicMs();
        QVERIFY(sender.write("\n") == 1);
        QTRY_COMPARE_WITH_TIMEOUT(log.images.size(), 2 * (pair + 1), 30000);
    }
    const qint64 lastShown = QImageGrabber::monotonicMs();
    QVERIFY(!rates.isEmpty());
    // The average counts every frame that arrived, also the second of a pair that came in
    // the same read. The last rate came with the last frame or the one before it (a frame
    // with no interval of its own brings none), so over the time from start to the last
    // pair it is the frames' count divided by a span the clock readings above bound.
    const double average = rates.last().at(1).toDouble();
    const double lowest = 1000.0 * (2 * pairs - 1) / double(lastShown - beforeStart);
    const double highest = 1000.0 * 2 * pairs / double(qMax<qint64>(1, lastPairAsked - afterStart));
    // Both sides are whole milliseconds; the margin only absorbs the rounding of the division.
    QVERIFY2(average >= lowest * (1 - 1e-9) && average <= highest * (1 + 1e-9),
        qPrintable(QStringLiteral("%1 not within %2 to %3").arg(average).arg(lowest).arg(highest)));
}

void TestQImageGrabber::decodePoolHasAWorkerOnOneCore()
{
    // The shared pool takes one fewer than the cores; on one core that is none, yet frames
    // must still be decoded.
    DecodePool pool(0);
    QCOMPARE(pool.threadCount(), 1);
    std::atomic<bool> ran {false};
    pool.run([&ran] { ran = true; });
    QTRY_VERIFY(ran);
}

void TestQImageGrabber::streamFailures_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("error");

    const QString tooLarge = QStringLiteral("The stream sent an image or a header line larger than allowed");
    const QByteArray start = LoopbackHttpServer::streamHead() + "--b\r\nContent-Type: image/jpeg\r\n";
    QTest::newRow("not found") << QByteArray("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n")
                               << QStringLiteral("server replied: Not Found");
    QTest::newRow("image above the cap") << start
            + "Content-Length: " + QByteArray::number(QImageGrabber::MAX_IMAGE_BYTES + 1)
            + "\r\n\r\n" << tooLarge;
    // Longer than the reply may hold unread: a grabber without a limit here would stall.
    QTest::newRow("header line that never ends") << start + "X-Padding: " + QByteArray(2 << 20, 'p') << tooLarge;
    QTest::newRow("stalled") << LoopbackHttpServer::streamHead() + "--b\r\n"
                             << QStringLiteral("No image for 10 seconds");
}

void TestQImageGrabber::streamFailures()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, error);

    Rig<StreamProbe> rig(answer);
    QVERIFY(rig.grabber.startGrabbing());
    if (error.startsWith("No image")) {
        QTRY_COMPARE(rig.grabber.state(), QImageGrabber::Grabbing);
        rig.grabber.newImageTimeOut();
    }
    QTRY_COMPARE(rig.errors.count(), 1);
    QVERIFY2(rig.grabber.errorString().contains(error), qPrintable(rig.grabber.errorString()));
    QTRY_COMPARE(rig.peer.disconnections, 1);
    QTest::qWait(50); // the finished signal that follows the error must not undo it
    QCOMPARE(rig.grabber.state(), QImageGrabber::Error);
    QCOMPARE(signalled(rig.states).last(), S::Error);
    QCOMPARE(rig.errors.count(), 1);
    QCOMPARE(rig.ended.count(), 0);
}

void TestQImageGrabber::streamStartsAndStops()
{
    LoopbackHttpServer peer(
        [](QTcpSocket *connection, const QByteArray &) { connection->write(LoopbackHttpServer::streamHead()); });
    auto grabber = std::make_unique<QImageGrabberMjpeg>();
    QSignalSpy states(grabber.get(), &QImageGrabber::stateChanged);
    QSignalSpy errors(grabber.get(), &QImageGrabber::errorHappend);
    grabber->setUrl(QUrl(peer.url()));
    // Connecting is announced while the state still reads Stopped.
    QVERIFY(grabber->startGrabbing());
    QCOMPARE(grabber->state(), QImageGrabber::Stopped);
    QTRY_COMPARE(grabber->state(), QImageGrabber::Grabbing);
    QVERIFY(peer.requests.value(0).contains("\r\nUser-Agent: Kobo7171 Imagegrabber LIB\r\n"));
    // Stopping reports Stopped at once and ends the download without an error.
    grabber->stopGrabbing();
    QCOMPARE(signalled(states), (QList<S> {S::Connecting, S::Grabbing, S::Stopped}));
    QTRY_COMPARE(peer.disconnections, 1);
    QCOMPARE(errors.count(), 0);

    // The grabbers share one network manager, which lives on after any of them: so would
    // the download of a grabber that goes away.
    grabber->startGrabbing();
    QTRY_COMPARE(grabber->state(), QImageGrabber::Grabbing);
    grabber.reset();
    QTRY_COMPARE(peer.disconnections, 2);
}

void TestQImageGrabber::streamPlaysFfmpegMultipart()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const QString url = QStringLiteral("http://127.0.0.1:%1/stream").arg(probe.serverPort());
    probe.close();
    QProcess peer;
    peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    peer.start("ffmpeg",
        {"-hide_banner", "-loglevel", "error", "-re", "-f", "lavfi", "-i", "testsrc=s=320x240:r=10", "-t", "3", "-c:v",
            "mjpeg", "-f", "mpjpeg", "-listen", "1", url});
    QVERIFY(peer.waitForStarted());
    auto stopPeer = qScopeGuard([&peer] {
        peer.kill();
        peer.waitForFinished();
    });

    QImageGrabberMjpeg grabber;
    grabber.setUrl(QUrl(url));
    ImageLog log(grabber);
    QSignalSpy cut(&grabber, &QImageGrabber::newFPSCalculated);
    QSignalSpy ended(&grabber, &QImageGrabber::downloadStopped);
    // ffmpeg listens a moment after it starts; until then the connection is refused.
    connect(&grabber, &QImageGrabber::errorHappend, &grabber,
        [&grabber] { QTimer::singleShot(50, &grabber, [&grabber] { grabber.startGrabbing(); }); });
    grabber.startGrabbing();

    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 20000);
    QCOMPARE(grabber.state(), QImageGrabber::Stopped);
    QVERIFY2(cut.count() >= 25 && cut.count() <= 31, qPrintable(QString::number(cut.count())));
    QVERIFY(log.images.size() >= cut.count() - 1);
    for (const QImage &image : qAsConst(log.images))
        QCOMPARE(image.size(), QSize(320, 240));
}

void TestQImageGrabber::snapshotTooLarge()
{
    Rig<QImageGrabberHttp> rig;
    QVERIFY(rig.grabber.startGrabbing());
    QTRY_COMPARE(rig.peer.requests.size(), 1);
    QVERIFY(rig.peer.requests.at(0).contains("\r\nUser-Agent: QImageGrabber\r\n"));
    // A gigabyte announced: the grabber gives up past the cap and ends the download.
    rig.send("HTTP/1.1 200 OK\r\nContent-Length: 1073741824\r\n\r\n"
        + QByteArray(int(QImageGrabber::MAX_IMAGE_BYTES) + (8 << 20), 'x'));
    QTRY_COMPARE(rig.errors.count(), 1);
    QCOMPARE(rig.grabber.errorString(), QStringLiteral("The snapshot is larger than 33554432 bytes"));
    QCOMPARE(signalled(rig.states), QList<S> {S::Error});
    QTRY_COMPARE(rig.connections.last()->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(rig.log.images.size(), 0);
}

QTEST_GUILESS_MAIN(TestQImageGrabber)
#include "tst_qimage_grabber.moc"
