#include "log_capture.h"
#include "null_surface.h"
#include "test_files.h"
#include "test_home.h"
#include "test_mjpeg.h"
#include "video/avi_format.h"
#include "video/avi_writer.h"
#include "video/decode_pool.h"
#include "video/frame_decoder.h"
#include "video/frame_pacer.h"
#include "video/jpeg_decoder.h"
#include "video/mini_video_source.h"
#include "video/mjpeg_frame_cutter.h"
#include "video/qimage_grabber_file.h"
#include "video/qimage_grabber_http.h"
#include "video/qimage_grabber_mjpeg.h"

#include <QBuffer>
#include <QImageReader>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVideoSurfaceFormat>
#include <QtEndian>
#include <QtTest>
#include <atomic>
#include <tuple>

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

class StreamProbe : public QImageGrabberMjpeg
{
public:
    using QImageGrabber::decoder;
    using QImageGrabberMjpeg::newImageTimeOut;
    using QImageGrabberMjpeg::processReceivedData;

    // The downloads of all grabbers that have not ended: an ended one reports nothing more.
    static QList<QNetworkReply *> downloads()
    {
        QList<QNetworkReply *> replies = networkManager()->findChildren<QNetworkReply *>();
        replies.erase(
            std::remove_if(replies.begin(), replies.end(), std::mem_fn(&QNetworkReply::isFinished)), replies.end());
        return replies;
    }
};

class SnapshotProbe : public QImageGrabberHttp
{
public:
    using QImageGrabberHttp::onStalled;
    using QImageGrabberHttp::stallTimer;
};

quint16 freeTcpPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// A peer program under timeout, which hands the signal that ends it on, so that nothing of
// the peer outlives the test.
struct PeerProcess : QProcess
{
    explicit PeerProcess(const QStringList &arguments)
    {
        setProcessChannelMode(QProcess::ForwardedErrorChannel);
        start("timeout", QStringList {"120"} + arguments);
    }
    ~PeerProcess() override
    {
        terminate();
        if (!waitForFinished(5000))
            kill();
        waitForFinished();
    }
};

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

// A sender that writes its frames in pairs, both in one write, as a relay that buffers does.
// It sends the next pair only when told (a line on its input), so that the test decides when a
// pair comes, and pauses briefly before it so that no pair arrives in the same millisecond as
// the one before; it holds the connection until its input closes.
const char PairSender[] = R"(
import socket, sys, time
image = open(sys.argv[1], 'rb').read()
part = b'--b\r\nContent-Type: image/jpeg\r\nContent-Length: %d\r\n\r\n' % len(image) + image + b'\r\n'
server = socket.create_server(('127.0.0.1', 0))
print(server.getsockname()[1], flush=True)
connection = server.accept()[0]
connection.recv(65536)
connection.sendall(b'HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=b\r\n\r\n')
while sys.stdin.readline():
    time.sleep(0.005)
    connection.sendall(part + part)
)";

// An AVI clip whose frame i is (16 + 8 i) x 16 pixels, so that the width of a decoded image
// tells which frame was shown; each frame is followed by a chunk of another stream if
// given, and the bad frame, if any, is no JPEG.
QByteArray clip(int frames, const QByteArray &otherChunk = QByteArray(), int badFrame = -1)
{
    AviWriter writer(QSize(16 + 8 * (frames - 1), 16), 25);
    for (int i = 0; i < frames; ++i) {
        writer.addFrame(i == badFrame ? QByteArray(64, 'x') : TestMjpeg::plain(Qt::darkCyan, QSize(16 + 8 * i, 16)));
        if (!otherChunk.isEmpty())
            writer.addChunk(otherChunk, QByteArray(320, '\0'));
    }
    return writer.toByteArray();
}

QByteArray withU32(QByteArray data, qint64 pos, quint32 value)
{
    qToLittleEndian(value, data.data() + pos);
    return data;
}

// An odd-sized chunk, padded to an even length, between the header list and the movie list.
QByteArray withOddChunk(QByteArray data)
{
    const quint32 headerListSize = qFromLittleEndian<quint32>(data.constData() + avi::RIFF_HEADER_SIZE + 4);
    data.insert(
        int(avi::RIFF_HEADER_SIZE + avi::CHUNK_HEADER_SIZE + headerListSize), QByteArray("JUNK\3\0\0\0abc\0", 12));
    return withU32(data, avi::RIFF_SIZE_POS, quint32(data.size() - avi::CHUNK_HEADER_SIZE));
}

// A file grabber on a clock the test sets, which ticks when the test says.
class PlayableGrabber : public QImageGrabberFile
{
public:
    PlayableGrabber()
    {
        setClock([this] { return now; });
        connect(this, &QImageGrabber::newImageGrabbed, [this](QImage *img) { lastImage = *img; });
    }
    const QTimer &timer() const { return frameTimer; }

    // A tick at the given milliseconds since an arbitrary start; true when it showed an image.
    bool tickAt(qint64 elapsedMs)
    {
        now = 1700000000000 + elapsedMs;
        lastImage = QImage();
        // The test gives the ticks; the real timer must not add its own while the test waits.
        frameTimer.stop();
        grabberNextFrame();
        if (!QTest::qWaitFor([this] { return !decoder->busy(); }, 5000))
            qFatal("a frame took more than 5 s to decode");
        return !lastImage.isNull();
    }
    // Which frame of a clip a tick showed, -1 for none.
    int frameAt(qint64 elapsedMs) { return tickAt(elapsedMs) ? (lastImage.width() - 16) / 8 : -1; }

    qint64 now = 0;
    QImage lastImage;
};

} // namespace

// The video path: cutting and decoding preview streams, the stream, snapshot and file grabbers,
// and the source a view draws from.
class TestVideo : public QObject
{
    Q_OBJECT

    QString writeFile(const QByteArray &data, const QString &name = QStringLiteral("clip.avi"))
    {
        return ::writeFile(dir.filePath(name), data) ? dir.filePath(name) : QString();
    }

    TestHome home;
    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QImage *>();
        // Frames as encoders make them (4:2:0, as ffmpeg's MJPEG encoder writes), and a grey one.
        QProcess ffmpeg;
        ffmpeg.setWorkingDirectory(dir.path());
        ffmpeg.setProcessChannelMode(QProcess::ForwardedChannels);
        ffmpeg.start("ffmpeg",
            {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i", "testsrc2=s=1280x720", "-frames:v", "1", "-pix_fmt",
                "yuvj420p", "-q:v", "5", "wide.jpg", "-frames:v", "1", "-vf", "scale=320:240,format=gray", "grey.jpg"});
        QVERIFY2(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0, "ffmpeg could not make the frames");
        writeFile(TestMjpeg::plain(Qt::darkCyan, QSize(320, 240)), "snap.jpg");
        writeFile("This is no picture.\n", "note.txt");
    }

    void cutsEachFraming_data()
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

    void cutsEachFraming()
    {
        QFETCH(QByteArray, body);
        QFETCH(QList<QByteArray>, images);
        QFETCH(bool, overflows);
        QFETCH(QStringList, warnings);

        MjpegFrameCutter cutter(64, 32);
        LogCapture told(QtWarningMsg);
        QBuffer input(&body);
        input.open(QIODevice::ReadOnly);
        QList<QByteArray> cut;
        while (cutter.cutImage(&input))
            cutter.takeNewestImage((cut << QByteArray()).last());
        QCOMPARE(cut, images);
        QCOMPARE(cutter.overflowed(), overflows);
        QCOMPARE(told.messages(), warnings);
    }

    void decodesAtTheScaleShown_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        QTest::addColumn<QSize>("shown");
        QTest::addColumn<QSize>("decoded"); // invalid: nothing handed out

        const QSize hd(1280, 720);
        const QByteArray red = TestMjpeg::plain(Qt::red, hd), blue = TestMjpeg::plain(Qt::blue);
        // The toolkit's reader decodes at the same reduced scales where they divide the sides
        // evenly, so the pictures must be the same, pixel for pixel.
        for (int denominator : {1, 2, 4, 8})
            QTest::addRow("ffmpeg at 1/%d", denominator)
                << readFile(dir.filePath("wide.jpg")) << hd / denominator << hd / denominator;
        QTest::newRow("ffmpeg, grey") << readFile(dir.filePath("grey.jpg")) << QSize(40, 30) << QSize(40, 30);
        QTest::newRow("one pixel wider than half") << red << QSize(641, 360) << hd;
        QTest::newRow("a square view needs the height") << red << QSize(200, 200) << hd / 2;
        // 1279 / 8 rounds up to 160, 719 / 8 to 90.
        QTest::newRow("sides rounded up")
            << TestMjpeg::plain(Qt::red, QSize(1279, 719)) << QSize(160, 90) << QSize(160, 90);
        QTest::newRow("nobody sees it") << blue << QSize(0, 0) << QSize();
        QTest::newRow("not a JPEG") << QByteArray("GIF89a and more bytes") << JpegDecoder::FULL_SIZE << QSize();
        QTest::newRow("header only") << blue.left(blue.indexOf("\xff\xda")) << JpegDecoder::FULL_SIZE << QSize();
        QTest::newRow("too many pixels") << TestMjpeg::plain(Qt::gray, QSize(4097, 4096)) << JpegDecoder::FULL_SIZE
                                         << QSize();
    }

    void decodesAtTheScaleShown()
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

    void decodesTheNewestFrameOneAtATime()
    {
        const auto part = [](const QColor &colour) { return TestMjpeg::multipartPart(TestMjpeg::plain(colour), "b"); };
        FedStream stream;
        QImage held;
        connect(&stream.grabber, &QImageGrabber::newImageGrabbed, &stream.grabber, [&held](QImage *image) {
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
            QVERIFY(TestMjpeg::looksLike(images.at(i), QList<QColor> {Qt::red, Qt::yellow, Qt::magenta, Qt::blue}[i]));
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

        // The shared pool takes one fewer than the cores; on one core that is none, yet frames
        // must still be decoded.
        DecodePool pool(0);
        QCOMPARE(pool.threadCount(), 1);
        std::atomic<bool> ran {false};
        pool.run([&ran] { ran = true; });
        QTRY_VERIFY(ran);
    }

    void decodesEveryFrameOfABurstySender()
    {
        // Exactly the frames the rate history holds, so that the average covers all of them.
        constexpr int pairs = QImageGrabber::FPS_HISTORY_SIZE / 2;
        PeerProcess sender({"python3", "-c", PairSender, dir.filePath("snap.jpg")});
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

    void streamStartsAndStops()
    {
        LoopbackHttpServer peer(
            [](QTcpSocket *connection, const QByteArray &) { connection->write(LoopbackHttpServer::streamHead()); });
        auto grabber = std::make_unique<QImageGrabberMjpeg>();
        QList<S> states;
        connect(grabber.get(), &QImageGrabber::stateChanged, this, [&states](S state) { states << state; });
        QSignalSpy errors(grabber.get(), &QImageGrabber::errorHappend);
        grabber->setUrl(QUrl(peer.url()));
        // Connecting is announced while the state still reads Stopped.
        QVERIFY(grabber->startGrabbing());
        QCOMPARE(grabber->state(), QImageGrabber::Stopped);
        QTRY_COMPARE(grabber->state(), QImageGrabber::Grabbing);
        // Stopping reports Stopped at once and ends the download without an error.
        grabber->stopGrabbing();
        QCOMPARE(states, (QList<S> {S::Connecting, S::Grabbing, S::Stopped}));
        QTRY_COMPARE(peer.disconnections, 1);
        QCOMPARE(errors.count(), 0);

        // The grabbers share one network manager, which lives on after any of them: so would
        // the download of a grabber that goes away.
        grabber->startGrabbing();
        QTRY_COMPARE(grabber->state(), QImageGrabber::Grabbing);
        grabber.reset();
        QTRY_COMPARE(peer.disconnections, 2);
    }

    void streamPlaysFfmpegMultipart()
    {
        const QString url = QStringLiteral("http://127.0.0.1:%1/stream").arg(freeTcpPort());
        PeerProcess peer({"ffmpeg", "-hide_banner", "-loglevel", "error", "-re", "-f", "lavfi", "-i",
            "testsrc=s=320x240:r=10", "-t", "3", "-c:v", "mjpeg", "-f", "mpjpeg", "-listen", "1", url});

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

    // Both network grabbers against real HTTP servers (busybox httpd, Python's http.server) and
    // a loopback peer that misbehaves on purpose, by path; a path under /stream is the stream's.
    void answers_data()
    {
        QTest::addColumn<QStringList>("server"); // empty: the loopback peer, which sends the answer
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("path"); // under /stream for the stream grabber
        QTest::addColumn<QString>("error"); // empty: whole images; else one failure, and no image
        const auto row = [](const char *name, const QStringList &server, const QByteArray &answer, const char *path,
                             const char *error) { QTest::newRow(name) << server << answer << QString(path) << error; };
        const QStringList busybox {"busybox", "httpd", "-f", "-p", "127.0.0.1:PORT", "-h", dir.path()};
        const QStringList python {
            "python3", "-m", "http.server", "PORT", "--bind", "127.0.0.1", "--directory", dir.path()};
        row("busybox httpd, an image", busybox, {}, "/snap.jpg", "");
        row("busybox httpd, not found", busybox, {}, "/missing.jpg", "server replied: Not Found");
        row("http.server, an image", python, {}, "/snap.jpg", "");
        row("http.server, a text", python, {}, "/note.txt", "no whole image");
        // The loopback peer closes the connection after its answer to a path under /cut.
        const QByteArray jpeg = TestMjpeg::plain(Qt::darkCyan, QSize(320, 240)), half = jpeg.left(jpeg.size() / 2);
        const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(jpeg.size()) + "\r\n";
        row("snapshot cut short, with a length", {}, ok + "Connection: close\r\n\r\n" + half, "/cut", "closed");
        row("snapshot cut short, without a length", {}, "HTTP/1.0 200 OK\r\n\r\n" + half, "/cut", "no whole image");
        row("snapshot stalled", {}, ok + "\r\n" + half, "/stall", "No image for 10 seconds");
        row("snapshot of a gigabyte", {},
            "HTTP/1.1 200 OK\r\nContent-Length: 1073741824\r\n\r\n"
                + QByteArray(int(QImageGrabber::MAX_IMAGE_BYTES) + (8 << 20), 'x'),
            "/", "The snapshot is larger than 33554432 bytes");
        const QByteArray head = LoopbackHttpServer::streamHead() + "--b\r\n",
                         part = head + "Content-Type: image/jpeg\r\n";
        const char *tooLarge = "The stream sent an image or a header line larger than allowed";
        row("stream not found", {}, "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n", "/stream", "Not Found");
        row("stream image above the cap", {},
            part + "Content-Length: " + QByteArray::number(QImageGrabber::MAX_IMAGE_BYTES + 1) + "\r\n\r\n", "/stream",
            tooLarge);
        // Longer than the reply may hold unread: a grabber without a limit here would stall.
        row("stream header line that never ends", {}, part + "X-Padding: " + QByteArray(2 << 20, 'p'), "/stream",
            tooLarge);
        row("stream stalled", {}, head, "/stream/stall", "No image for 10 seconds");
    }

    void answers()
    {
        QFETCH(QStringList, server);
        QFETCH(QByteArray, answer);
        QFETCH(QString, path);
        QFETCH(QString, error);

        LoopbackHttpServer loopback([&](QTcpSocket *connection, const QByteArray &) {
            connection->write(answer);
            if (path == "/cut")
                connection->disconnectFromHost();
        });
        const QString port = QString::number(server.isEmpty() ? loopback.port() : freeTcpPort());
        server.replaceInStrings("PORT", port);
        std::unique_ptr<PeerProcess> peer(server.isEmpty() ? nullptr : new PeerProcess(server));
        const auto listening = [&port] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port.toUShort());
            return probe.waitForConnected(200);
        };
        QVERIFY2(!peer || QTest::qWaitFor(listening, 10000), "the server does not listen");

        StreamProbe stream;
        SnapshotProbe snapshot;
        QImageGrabber &grabber = path.startsWith("/stream") ? static_cast<QImageGrabber &>(stream) : snapshot;
        grabber.setSource("http://127.0.0.1:" + port + path);
        ImageLog log(grabber);
        QList<S> stateAtError;
        connect(&grabber, &QImageGrabber::errorHappend, this, [&] { stateAtError << grabber.state(); });
        QSignalSpy rates(&grabber, &QImageGrabber::newFPSCalculated);
        QSignalSpy ended(&grabber, &QImageGrabber::downloadStopped);
        QVERIFY(grabber.startGrabbing());

        if (error.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(log.images.size() >= 5, 10000);
            grabber.stopGrabbing();
            QCOMPARE(stateAtError.size(), 0);
            for (const QImage &image : qAsConst(log.images))
                QVERIFY(TestMjpeg::looksLike(image, Qt::darkCyan) && image.size() == QSize(320, 240));
            QVERIFY(!rates.isEmpty());
            return;
        }
        if (path == "/stall") {
            QTRY_COMPARE(loopback.requests.size(), 1);
            // Half a body and nothing more: the grabber waits for the stall timer, which the test
            // drives instead of waiting ten seconds for it.
            QTRY_VERIFY(StreamProbe::downloads().size() == 1 && StreamProbe::downloads().at(0)->bytesAvailable() > 0);
            QCOMPARE(grabber.state(), QImageGrabber::Connecting);
            QVERIFY(snapshot.stallTimer.isActive() && snapshot.stallTimer.isSingleShot());
            QCOMPARE(snapshot.stallTimer.interval(), QImageGrabberHttp::STALL_TIMEOUT_MS);
            snapshot.onStalled();
        } else if (path == "/stream/stall") {
            QTRY_COMPARE(grabber.state(), QImageGrabber::Grabbing);
            stream.newImageTimeOut();
        }
        QTRY_COMPARE_WITH_TIMEOUT(stateAtError.size(), 1, 10000);
        QVERIFY2(grabber.errorString().contains(error), qPrintable(grabber.errorString()));
        if (server.isEmpty()) {
            const char *agent = path.startsWith("/stream") ? "Kobo7171 Imagegrabber LIB" : "QImageGrabber";
            QVERIFY(loopback.requests.value(0).contains("\r\nUser-Agent: " + QByteArray(agent) + "\r\n"));
            QTRY_COMPARE(loopback.disconnections, 1);
        }
        // Whatever the network still reports about the failed request is not a second failure.
        QTRY_VERIFY(StreamProbe::downloads().isEmpty());
        QCOMPARE(stateAtError, QList<S> {S::Error});
        QCOMPARE(grabber.state(), QImageGrabber::Error);
        QCOMPARE(log.images.size(), 0);
        QCOMPARE(ended.count(), 0);
        QVERIFY(!snapshot.stallTimer.isActive());
    }

    void fileStartsOnlyWhenLoadedAndGoesOnWhereItStopped()
    {
        PlayableGrabber grabber;
        QSignalSpy stateSpy(&grabber, &QImageGrabber::stateChanged);
        QVERIFY(!grabber.startGrabbing());
        const QString good = writeFile(clip(6));
        grabber.setSource(good);
        QCOMPARE(grabber.state(), QImageGrabber::Stopped);
        QVERIFY(grabber.startGrabbing());
        QVERIFY(grabber.timer().isActive());
        QCOMPARE(grabber.frameAt(0), 0);
        QCOMPARE(grabber.frameAt(40), 1);
        // Ten seconds stopped are not ten seconds of frames to drop.
        grabber.stopGrabbing();
        QVERIFY(!grabber.timer().isActive());
        grabber.now += 10000;
        QVERIFY(grabber.startGrabbing());
        QCOMPARE(grabber.frameAt(10040), 2);
        QCOMPARE(grabber.frameAt(10080), 3);

        // A valid clip, padded (sparse on disk) to one byte over the largest file that is read
        // whole: refused, which stops the timer and leaves nothing to start.
        const qint64 size = avi::MAX_FILE_BYTES + 1;
        const QString large = writeFile(
            withU32(clip(1), avi::RIFF_SIZE_POS, quint32(size - avi::CHUNK_HEADER_SIZE)), QStringLiteral("large.avi"));
        QVERIFY(QFile::resize(large, size));
        grabber.setSource(large);
        QCOMPARE(grabber.state(), QImageGrabber::Error);
        QVERIFY(!grabber.timer().isActive());
        QVERIFY(!grabber.startGrabbing());
        // Loading again does not restart playback.
        grabber.setSource(good);
        QCOMPARE(grabber.state(), QImageGrabber::Stopped);
        QVERIFY(!grabber.timer().isActive());
        // Users poll isGrabbing(); none of these changes is signalled.
        QCOMPARE(stateSpy.count(), 0);
    }

    void filePacesFramesByTheClock_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("intervalMs");
        QTest::addColumn<QList<qint64>>("ticks");
        QTest::addColumn<QList<int>>("shown");

        const auto row = [](const char *name, const QByteArray &data, int intervalMs, const QList<qint64> &ticks,
                             const QList<int> &shown) { QTest::newRow(name) << data << intervalMs << ticks << shown; };
        const QByteArray six = clip(6);
        row("on time, then loops", six, 40, {0, 40, 80, 120, 160, 200, 240, 280}, {0, 1, 2, 3, 4, 5, 0, 1});
        row("a tick 120 ms late drops the missed frames", six, 40, {0, 40, 80, 240, 280}, {0, 1, 2, 5, 0});
        row("too late for every remaining frame", six, 40, {0, 1000, 1040, 1080}, {0, -1, 0, 1});
        // 200 ms after the start, frame 200 / interval - 1 is due.
        row("29.97 fps", withU32(six, avi::MICROSECONDS_PER_FRAME_POS, 33366), 33, {0, 200}, {0, 5});
        row("under 1 ms: 50 ms", withU32(six, avi::MICROSECONDS_PER_FRAME_POS, 999), 50, {0, 200}, {0, 3});
        row("audio chunks are not frames", clip(6, "01wb"), 40, {0, 40, 80, 200, 240}, {0, 1, 2, 4, 5});
        row("an odd-sized chunk before the movie list", withOddChunk(six), 40, {0, 40}, {0, 1});
        row("an undecodable frame shows nothing on its tick", clip(6, QByteArray(), 1), 40, {0, 40, 80}, {0, -1, 2});
    }

    void filePacesFramesByTheClock()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, intervalMs);
        QFETCH(QList<qint64>, ticks);
        QFETCH(QList<int>, shown);

        PlayableGrabber grabber;
        grabber.setSource(writeFile(data));
        QVERIFY(grabber.startGrabbing());
        QCOMPARE(grabber.timer().interval(), intervalMs);
        QList<int> actual;
        for (qint64 tick : ticks)
            actual << grabber.frameAt(tick);
        QCOMPARE(actual, shown);
    }

    void filePlaysRealFiles_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("truncate");
        QTest::addColumn<QSize>("size"); // invalid: refused

        const QStringList video {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25"};
        const QStringList audio = video + QStringList {"-f", "lavfi", "-i", "sine=sample_rate=8000"};
        const QStringList mjpeg {"-t", "2", "-c:v", "mjpeg"};
        const QSize qvga(320, 240);
        QTest::newRow("MJPEG") << video + mjpeg << false << qvga;
        QTest::newRow("MJPEG, then audio")
            << audio + mjpeg + QStringList {"-map", "0:v", "-map", "1:a"} << false << qvga;
        QTest::newRow("audio first") << audio + mjpeg + QStringList {"-map", "1:a", "-map", "0:v"} << false << QSize();
        QTest::newRow("MPEG-4 video") << video + QStringList {"-t", "2", "-c:v", "mpeg4"} << false << QSize();
        QTest::newRow("truncated") << video + mjpeg << true << QSize();
        // The chunk tags in a title before the movie list and in every frame's bytes (a JPEG
        // comment) before the index: the structure is walked, not searched.
        const QByteArray tags = QByteArray("idx1\x10\0\0\0", 8) + QByteArray("LIST\x04\0\0\0movi", 12);
        const QByteArray comment = QByteArray::fromHex("fffe") + char(0) + char(tags.size() + 2) + tags;
        for (int i = 0; i < 50; ++i) {
            const QByteArray jpeg = TestMjpeg::plain(QColor::fromHsv(i * 7, 255, 200), qvga);
            writeFile(jpeg.left(2) + comment + jpeg.mid(2), QStringLiteral("tagged%1.jpg").arg(i, 2, 10, QChar('0')));
        }
        QTest::newRow("chunk tags in the data") << QStringList {"-f", "image2", "-framerate", "25", "-i",
            dir.filePath("tagged%02d.jpg"), "-c:v", "copy", "-metadata", "title=LISTxxxxmovi"}
                                                << false << qvga;
    }

    void filePlaysRealFiles()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, truncate);
        QFETCH(QSize, size);

        const QString path = dir.filePath(QStringLiteral("ffmpeg.avi"));
        QProcess ffmpeg;
        ffmpeg.setProcessChannelMode(QProcess::ForwardedChannels);
        ffmpeg.start("ffmpeg", QStringList {"-nostdin", "-loglevel", "error", "-y"} + arguments + QStringList {path});
        QVERIFY2(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0, "ffmpeg could not make the file");
        if (truncate)
            QVERIFY(QFile::resize(path, QFileInfo(path).size() * 2 / 3));

        PlayableGrabber grabber;
        grabber.setSource(path);
        QCOMPARE(grabber.startGrabbing(), size.isValid());
        // Two seconds at 25 fps are 50 pictures, each shown once; the empty chunks (repeats) and
        // audio that ffmpeg adds show nothing. After the last picture the first comes again.
        QList<QImage> frames;
        for (int tick = 0; tick < 300 && size.isValid(); ++tick) {
            if (!grabber.tickAt(tick * 40))
                continue;
            if (!frames.isEmpty() && grabber.lastImage == frames.first())
                break;
            frames << grabber.lastImage;
        }
        QCOMPARE(frames.size(), size.isValid() ? 50 : 0);
        for (const QImage &frame : qAsConst(frames))
            QCOMPARE(frame.size(), size);
    }

    void mirrorsAndPresents()
    {
        MiniVideoSource first, second, mirror;
        first.setVideoAvaiable(true);
        QSignalSpy available(&mirror, &MiniVideoSource::videoAvaiableChanged);
        QSignalSpy mirrored(&mirror, &MiniVideoSource::imageReceived);
        QImage frame(64, 48, QImage::Format_ARGB32);

        mirror.bindSource(&first);
        mirror.bindSource(&first);
        first.onImageReceived(&frame);
        first.setVideoAvaiable(false);
        // Bound elsewhere, the first source no longer reaches the mirror.
        mirror.bindSource(&second);
        first.onImageReceived(&frame);
        first.setVideoAvaiable(true);
        second.onImageReceived(&frame);
        QCOMPARE(mirrored.count(), 2);
        QCOMPARE(static_cast<QList<QVariantList>>(available),
            (QList<QVariantList> {{false}, {true}, {false}, {false}, {false}}));
        QCOMPARE(mirror.boundSource(), &second);

        // No source at all unbinds, where it used to read from a null source.
        mirror.bindSource(nullptr);
        second.onImageReceived(&frame);
        second.setVideoAvaiable(true);
        QCOMPARE(mirrored.count(), 2);
        QVERIFY(!mirror.videoAvaiable());
        QCOMPARE(mirror.boundSource(), nullptr);
        // Bound again after an unbind, the same source mirrors anew.
        mirror.bindSource(&second);
        QVERIFY(mirror.videoAvaiable());

        // A mirrored source that goes away is no longer reported as bound.
        auto *shortLived = new MiniVideoSource;
        mirror.bindSource(shortLived);
        delete shortLived;
        QCOMPARE(mirror.boundSource(), nullptr);

        // A thumbnail cell, and the large video area that mirrors it.
        MiniVideoSource thumbnail;
        QSignalSpy told(&thumbnail, &MiniVideoSource::shownSizeChanged);
        QSignalSpy forwarded(&thumbnail, &MiniVideoSource::imageReceived);
        const auto lastTold = [&told] { return told.isEmpty() ? QSize(0, 0) : told.last().at(0).toSize(); };

        // A size alone is no view; a view that has not told its size may draw at any.
        thumbnail.setSize(QSize(160, 90));
        QVERIFY(told.isEmpty());
        thumbnail.setSize(QSize(0, 0));
        NullSurface cell;
        thumbnail.setVideoSurface(&cell);
        QCOMPARE(lastTold(), QSize(INT_MAX, INT_MAX));
        // Nothing starts before the view has a size in both directions.
        thumbnail.setSize(QSize(160, 0));
        QVERIFY(!thumbnail.findChild<QTimer *>()->isActive());
        thumbnail.setSize(QSize(160, 90));
        QCOMPARE(lastTold(), QSize(160, 90));
        thumbnail.onImageReceived(&frame); // still waiting to start
        QCOMPARE(cell.presented, 0);
        thumbnail.setFrameInterval(1000);
        QCOMPARE(thumbnail.shownFrameInterval(), 1000);

        // The large video area mirrors it: the larger of the two in each direction counts, and
        // it wants every frame.
        auto *videoArea = new MiniVideoSource;
        NullSurface area;
        videoArea->setVideoSurface(&area);
        videoArea->setSize(QSize(1280, 80));
        videoArea->bindSource(&thumbnail);
        QCOMPARE(lastTold(), QSize(1280, 90));
        QCOMPARE(thumbnail.shownFrameInterval(), 0);
        videoArea->setSize(QSize(1280, 720));
        QCOMPARE(lastTold(), QSize(1280, 720));

        // Started at the view's size, not the images', with plain memory frames. Ten frames at
        // once: the cell draws the first, the large view every one.
        QTRY_VERIFY(cell.isActive() && area.isActive());
        QCOMPARE(cell.surfaceFormat().frameSize(), QSize(160, 90));
        QCOMPARE(cell.surfaceFormat().pixelFormat(), QVideoFrame::Format_RGB32);
        for (int i = 0; i < 10; ++i)
            thumbnail.onImageReceived(&frame);
        QCOMPARE(cell.presented, 1);
        QCOMPARE(cell.last.size(), QSize(64, 48));
        QCOMPARE(cell.last.pixelFormat(), QVideoFrame::Format_ARGB32);
        QCOMPARE(area.presented, 10);
        // The placeholder that ends a stream is drawn at once, and clears the view.
        QImage placeholder;
        thumbnail.onImageReceived(&placeholder);
        QCOMPARE(cell.presented, 2);
        QVERIFY(!cell.last.isValid());

        // A view that goes away takes its surface along; frames still travel on.
        auto *lost = new NullSurface;
        thumbnail.setVideoSurface(lost);
        thumbnail.startSurface();
        delete lost;
        thumbnail.onImageReceived(&frame);
        QCOMPARE(forwarded.count(), 13);
        QCOMPARE(thumbnail.videoSurface(), nullptr);
        // The cell goes away: only the mirror shows it.
        thumbnail.setVideoSurface(nullptr);
        QCOMPARE(lastTold(), QSize(1280, 720));
        videoArea->unbindSource();
        QCOMPARE(lastTold(), QSize(0, 0));
        videoArea->bindSource(&thumbnail);
        QCOMPARE(lastTold(), QSize(1280, 720));
        // A mirror that is destroyed while bound no longer counts.
        delete videoArea;
        QCOMPARE(lastTold(), QSize(0, 0));
        thumbnail.setVideoSurface(&cell);
        QCOMPARE(thumbnail.shownFrameInterval(), 1000);
    }

    void pacesFrames()
    {
        // Interval, arrivals, those let through. Every frame; slots at 100, 200, ... give or take
        // 50 ms, 10 a second from 25, evenly, and with jitter around the slot; after a pause the
        // next slot counts from the frame that ends it: no burst.
        const QList<std::tuple<int, QList<qint64>, QList<qint64>>> cases {{0, {0, 0, 1}, {0, 0, 1}},
            {100, {0, 40, 80, 120, 160, 200, 240, 280, 320, 360, 400}, {0, 80, 160, 280, 360}},
            {100, {0, 95, 210, 290, 330}, {0, 95, 210, 290}}, {100, {0, 1000, 1040, 1080, 1100}, {0, 1000, 1080}}};
        for (const auto &[interval, arrivals, admitted] : cases) {
            FramePacer pacer;
            pacer.setInterval(interval);
            QList<qint64> through;
            for (qint64 at : arrivals) {
                if (pacer.admitAt(at))
                    through << at;
            }
            QCOMPARE(through, admitted);
        }
    }
};

QTEST_GUILESS_MAIN(TestVideo)
#include "tst_video.moc"
