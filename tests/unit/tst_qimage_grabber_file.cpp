#include "test_home.h"
#include "test_mjpeg.h"
#include "video/avi_format.h"
#include "video/avi_writer.h"
#include "video/frame_decoder.h"
#include "video/qimage_grabber_file.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

// A clip whose frame i is (16 + 8 i) x 16 pixels, so that the width of a decoded image
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

// Runs on a clock the test sets, and ticks when the test says.
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

class TestQImageGrabberFile : public QObject
{
    Q_OBJECT

private slots:
    void startsOnlyWhenLoadedAndGoesOnWhereItStopped();
    void pacesFramesByTheClock_data();
    void pacesFramesByTheClock();
    void playsRealFiles_data();
    void playsRealFiles();

private:
    // Frames that differ, each with a comment that holds "idx1" and "movi" chunk headers.
    QString writeTaggedFrames(int count, const QSize &size)
    {
        const QByteArray tags = QByteArray("idx1\x10\0\0\0", 8) + QByteArray("LIST\x04\0\0\0movi", 12);
        const QByteArray comment = QByteArray::fromHex("fffe") + char(0) + char(tags.size() + 2) + tags;
        for (int i = 0; i < count; ++i) {
            const QByteArray jpeg = TestMjpeg::plain(QColor::fromHsv(i * 7, 255, 200), size);
            writeFile(jpeg.left(2) + comment + jpeg.mid(2), QStringLiteral("tagged%1.jpg").arg(i, 2, 10, QChar('0')));
        }
        return dir.filePath(QStringLiteral("tagged%02d.jpg"));
    }

    QString writeFile(const QByteArray &data, const QString &name = QStringLiteral("clip.avi"))
    {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return file.fileName();
    }

    TestHome home;
    QTemporaryDir dir;
};

void TestQImageGrabberFile::startsOnlyWhenLoadedAndGoesOnWhereItStopped()
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
    const QByteArray padded = withU32(clip(1), avi::RIFF_SIZE_POS, quint32(size - avi::CHUNK_HEADER_SIZE));
    const QString large = writeFile(padded, QStringLiteral("large.avi"));
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

void TestQImageGrabberFile::pacesFramesByTheClock_data()
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

void TestQImageGrabberFile::pacesFramesByTheClock()
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

void TestQImageGrabberFile::playsRealFiles_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("truncate");
    QTest::addColumn<QSize>("size"); // invalid: refused

    const QStringList video {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25"};
    const QStringList audio {"-f", "lavfi", "-i", "sine=sample_rate=8000"};
    const QStringList mjpeg {"-t", "2", "-c:v", "mjpeg"};
    const QSize qvga(320, 240);
    QTest::newRow("MJPEG") << video + mjpeg << false << qvga;
    QTest::newRow("MJPEG, then audio") << video + audio + mjpeg + QStringList {"-map", "0:v", "-map", "1:a"} << false
                                       << qvga;
    QTest::newRow("audio first") << video + audio + mjpeg + QStringList {"-map", "1:a", "-map", "0:v"} << false
                                 << QSize();
    QTest::newRow("MPEG-4 video") << video + QStringList {"-t", "2", "-c:v", "mpeg4"} << false << QSize();
    QTest::newRow("truncated") << video + mjpeg << true << QSize();
    // The chunk tags in a title before the movie list and in every frame's bytes (a JPEG
    // comment) before the index: the structure is walked, not searched.
    const QString frames = writeTaggedFrames(50, qvga);
    QTest::newRow("chunk tags in the data") << QStringList {"-f", "image2", "-framerate", "25", "-i", frames, "-c:v",
        "copy", "-metadata", "title=LISTxxxxmovi"}
                                            << false << qvga;
}

void TestQImageGrabberFile::playsRealFiles()
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

QTEST_GUILESS_MAIN(TestQImageGrabberFile)
#include "tst_qimage_grabber_file.moc"
