#include "qimagegrabber/avi_format.h"
#include "qimagegrabber/avi_index.h"
#include "qimagegrabber/avi_writer.h"
#include "qimagegrabber/frame_decoder.h"
#include "qimagegrabber/qimage_grabber_file.h"
#include "test_home.h"
#include "test_mjpeg.h"

#include <QBuffer>
#include <QImageWriter>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

// Frame i of a clip is (16 + 8 i) x 16 pixels, so the width of a decoded image tells
// which frame was shown.
int frameWidth(int frame)
{
    return 16 + 8 * frame;
}

QByteArray jpeg(int frame)
{
    QImage image(QSize(frameWidth(frame), 16), QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpg");
    // Small tables keep a one-frame clip under the 1 KiB lower file size limit.
    writer.setOptimizedWrite(true);
    writer.write(image);
    return bytes;
}

// A clip of frames JPEG frames, each followed by a chunk of another stream if given.
QByteArray clip(int frames, const QByteArray &otherChunk = QByteArray())
{
    AviWriter writer(QSize(frameWidth(frames - 1), 16), 25);
    for (int i = 0; i < frames; ++i) {
        writer.addFrame(jpeg(i));
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

QByteArray replaced(QByteArray data, qint64 pos, const QByteArray &bytes)
{
    return data.replace(int(pos), bytes.size(), bytes);
}

// Cut to size, with a RIFF size that agrees.
QByteArray cutAt(const QByteArray &data, qint64 size)
{
    return withU32(data.left(int(size)), avi::RIFF_SIZE_POS, quint32(size - avi::CHUNK_HEADER_SIZE));
}

// The offset field of an idx1 entry, and the chunk it points to (offsets count from "movi").
qint64 offsetField(const QByteArray &data, int entry)
{
    return data.indexOf(avi::INDEX_ID) + avi::CHUNK_HEADER_SIZE + qint64(entry) * avi::INDEX_ENTRY_SIZE
        + avi::INDEX_ENTRY_OFFSET_POS;
}

qint64 chunkPos(const QByteArray &data, int entry)
{
    return data.indexOf(avi::MOVIE_LIST) + qFromLittleEndian<quint32>(data.constData() + offsetField(data, entry));
}

// Exposes the tick and the timer, and runs on a clock the test sets.
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
    void indexRefusesMalformedFiles_data();
    void indexRefusesMalformedFiles();
    void indexPassesOverBadEntries_data();
    void indexPassesOverBadEntries();
    void fileSizeLimits_data();
    void fileSizeLimits();
    void startsOnlyWhenLoaded();
    void goesOnWhereItStopped();
    void refusesOversizedFrames();
    void pacesFramesByTheClock_data();
    void pacesFramesByTheClock();
    void playsFfmpegFiles_data();
    void playsFfmpegFiles();
    void playsTheDemoVideo();

private:
    QString writeFile(const QByteArray &data)
    {
        QFile file(dir.filePath(QStringLiteral("clip.avi")));
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return file.fileName();
    }

    TestHome home;
    QTemporaryDir dir;
};

void TestQImageGrabberFile::indexRefusesMalformedFiles_data()
{
    QTest::addColumn<QByteArray>("data");

    const QByteArray good = clip(3);
    QVERIFY(AviIndex::parse(good));
    const qint64 indexPos = good.indexOf(avi::INDEX_ID);
    // Where the first stream header sits in the files AviWriter makes.
    const qint64 streamHeaderPos = avi::MAIN_HEADER_POS + avi::MAIN_HEADER_SIZE + avi::STREAM_HEADER_AFTER_MAIN_HEADER;

    // The rules of the format, and sizes that point outside the file; the fuzz target
    // feeds every other kind of damage.
    QTest::newRow("truncated by one byte") << good.left(good.size() - 1);
    QTest::newRow("padded by one byte") << good + '\0';
    QTest::newRow("avih size beyond the file") << withU32(good, avi::MAIN_HEADER_SIZE_POS, 0xFFFFFFF0);
    QTest::newRow("audio stream first") << replaced(good, streamHeaderPos + avi::STREAM_TYPE_OFFSET, "auds");
    QTest::newRow("other video codec") << replaced(good, streamHeaderPos + avi::STREAM_HANDLER_OFFSET, "H264");
    QTest::newRow("idx1 one entry too long") << withU32(good, indexPos + avi::FOURCC_SIZE, 4 * avi::INDEX_ENTRY_SIZE);
}

void TestQImageGrabberFile::indexRefusesMalformedFiles()
{
    QFETCH(QByteArray, data);
    QVERIFY(!AviIndex::parse(data));
}

void TestQImageGrabberFile::indexPassesOverBadEntries_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("badEntry");

    const QByteArray good = clip(3);
    const qint64 chunk = chunkPos(good, 1);
    const quint32 pastTheEnd = quint32(good.size() - chunk - avi::CHUNK_HEADER_SIZE + 1);

    QTest::newRow("offset far beyond the file") << withU32(good, offsetField(good, 1), 0xFFFFFFF0) << 1;
    QTest::newRow("chunk size one byte too long") << withU32(good, chunk + avi::FOURCC_SIZE, pastTheEnd) << 1;
    QTest::newRow("audio chunk") << replaced(good, chunk, "01wb") << 1;
}

void TestQImageGrabberFile::indexPassesOverBadEntries()
{
    QFETCH(QByteArray, data);
    QFETCH(int, badEntry);

    const auto index = AviIndex::parse(data);
    QVERIFY(index);
    QCOMPARE(index->entryCount(), 3);
    QByteArray jpeg = "untouched";
    QVERIFY(!index->videoFrame(badEntry, &jpeg));
    QCOMPARE(jpeg, QByteArrayLiteral("untouched"));
    // The neighbours still play.
    for (int entry : {0, 2}) {
        QVERIFY(index->videoFrame(entry, &jpeg));
        QCOMPARE(QImage::fromData(jpeg).width(), frameWidth(entry));
    }
}

void TestQImageGrabberFile::fileSizeLimits_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("loads");

    QTest::newRow("one byte under the minimum") << avi::MIN_FILE_BYTES - 1 << false;
    QTest::newRow("the minimum") << avi::MIN_FILE_BYTES << true;
    QTest::newRow("the maximum") << avi::MAX_FILE_BYTES << true;
    QTest::newRow("one byte over the maximum") << avi::MAX_FILE_BYTES + 1 << false;
}

void TestQImageGrabberFile::fileSizeLimits()
{
    QFETCH(qint64, size);
    QFETCH(bool, loads);

    // A valid clip padded with zeros (sparse on disk) to the size under test.
    const QByteArray data = clip(1);
    QVERIFY(data.size() < avi::MIN_FILE_BYTES - 1);
    const QString path = writeFile(withU32(data, avi::RIFF_SIZE_POS, quint32(size - avi::CHUNK_HEADER_SIZE)));
    QVERIFY(QFile::resize(path, size));

    PlayableGrabber grabber;
    if (!loads)
        QTest::ignoreMessage(QtDebugMsg, qPrintable(path + " is not a valid file or too large."));
    grabber.setSource(path);
    QCOMPARE(grabber.state(), loads ? QImageGrabber::Stopped : QImageGrabber::Error);
    QCOMPARE(grabber.startGrabbing(), loads);
}

void TestQImageGrabberFile::startsOnlyWhenLoaded()
{
    PlayableGrabber grabber;
    QSignalSpy stateSpy(&grabber, &QImageGrabber::stateChanged);
    QCOMPARE(grabber.state(), QImageGrabber::Error);
    QVERIFY(!grabber.startGrabbing());

    const QString good = writeFile(clip(3));
    grabber.setSource(good);
    QCOMPARE(grabber.state(), QImageGrabber::Stopped);
    QVERIFY(grabber.startGrabbing());
    QVERIFY(grabber.isGrabbing() && grabber.timer().isActive());

    // A failed load while playing stops the timer and leaves nothing to start.
    const QString missing = dir.filePath(QStringLiteral("missing.avi"));
    QTest::ignoreMessage(QtDebugMsg, qPrintable(missing + " is not a valid file or too large."));
    grabber.setSource(missing);
    QCOMPARE(grabber.state(), QImageGrabber::Error);
    QVERIFY(!grabber.timer().isActive());
    QVERIFY(!grabber.startGrabbing());

    // Loading again does not restart playback.
    grabber.setSource(good);
    QCOMPARE(grabber.state(), QImageGrabber::Stopped);
    QVERIFY(!grabber.timer().isActive());
    QVERIFY(grabber.startGrabbing());
    grabber.stopGrabbing();
    QCOMPARE(grabber.state(), QImageGrabber::Stopped);
    QVERIFY(!grabber.timer().isActive());
    // Users poll isGrabbing(); none of these changes is signalled.
    QCOMPARE(stateSpy.count(), 0);
}

void TestQImageGrabberFile::goesOnWhereItStopped()
{
    PlayableGrabber grabber;
    grabber.setSource(writeFile(clip(6)));
    QVERIFY(grabber.startGrabbing());
    QCOMPARE(grabber.frameAt(0), 0);
    QCOMPARE(grabber.frameAt(40), 1);
    // Ten seconds stopped are not ten seconds of frames to drop.
    grabber.stopGrabbing();
    grabber.now += 10000;
    QVERIFY(grabber.startGrabbing());
    QCOMPARE(grabber.frameAt(10040), 2);
    QCOMPARE(grabber.frameAt(10080), 3);
}

void TestQImageGrabberFile::refusesOversizedFrames()
{
    // A tiny file whose one JPEG claims 20000 x 20000 pixels: refused from its header, so
    // a tick neither takes seconds nor gigabytes.
    AviWriter writer(QSize(16, 16), 25);
    writer.addFrame(TestMjpeg::claimingSize(20000, 20000));
    writer.addFrame(jpeg(1));
    PlayableGrabber grabber;
    const QByteArray padded = writer.toByteArray() + QByteArray(avi::MIN_FILE_BYTES, '\0');
    grabber.setSource(writeFile(cutAt(padded, padded.size())));
    QVERIFY(grabber.startGrabbing());
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(grabber.frameAt(0), -1);
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(grabber.frameAt(40), 1);
}

void TestQImageGrabberFile::pacesFramesByTheClock_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("intervalMs");
    QTest::addColumn<QList<qint64>>("ticks");
    QTest::addColumn<QList<int>>("shown");

    const QByteArray six = clip(6);
    using Ticks = QList<qint64>;
    using Frames = QList<int>;
    QTest::newRow("on time, then loops") << six << 40 << Ticks {0, 40, 80, 120, 160, 200, 240, 280}
                                         << Frames {0, 1, 2, 3, 4, 5, 0, 1};
    QTest::newRow("a tick 120 ms late drops the missed frames")
        << six << 40 << Ticks {0, 40, 80, 240, 280} << Frames {0, 1, 2, 5, 0};
    QTest::newRow("early ticks still advance") << six << 40 << Ticks {0, 10, 20} << Frames {0, 1, 2};
    QTest::newRow("too late for every remaining frame")
        << six << 40 << Ticks {0, 1000, 1040, 1080} << Frames {0, -1, 0, 1};
    // 200 ms after the start, frame 200 / interval - 1 is due.
    QTest::newRow("29.97 fps") << withU32(six, avi::MICROSECONDS_PER_FRAME_POS, 33366) << 33 << Ticks {0, 200}
                               << Frames {0, 5};
    QTest::newRow("under 1 ms: 50 ms") << withU32(six, avi::MICROSECONDS_PER_FRAME_POS, 999) << 50 << Ticks {0, 200}
                                       << Frames {0, 3};
    QTest::newRow("audio chunks are not frames")
        << clip(6, "01wb") << 40 << Ticks {0, 40, 80, 200, 240} << Frames {0, 1, 2, 4, 5};
    QTest::newRow("an undecodable frame shows nothing on its tick")
        << replaced(six, chunkPos(six, 1) + avi::CHUNK_HEADER_SIZE, QByteArray(64, 'x')) << 40 << Ticks {0, 40, 80}
        << Frames {0, -1, 2};
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
    QVERIFY(!grabber.timer().isSingleShot());
    QList<int> actual;
    for (qint64 tick : ticks)
        actual << grabber.frameAt(tick);
    QCOMPARE(actual, shown);
}

void TestQImageGrabberFile::playsFfmpegFiles_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("truncate");
    QTest::addColumn<bool>("plays");

    const QStringList video {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25"};
    const QStringList audio {"-f", "lavfi", "-i", "sine=sample_rate=8000"};
    const QStringList mjpeg {"-t", "2", "-c:v", "mjpeg"};
    QTest::newRow("MJPEG") << video + mjpeg << false << true;
    QTest::newRow("MJPEG, then audio") << video + audio + mjpeg + QStringList {"-map", "0:v", "-map", "1:a"} << false
                                       << true;
    QTest::newRow("audio first") << video + audio + mjpeg + QStringList {"-map", "1:a", "-map", "0:v"} << false
                                 << false;
    QTest::newRow("MPEG-4 video") << video + QStringList {"-t", "2", "-c:v", "mpeg4"} << false << false;
    QTest::newRow("truncated") << video + mjpeg << true << false;
}

void TestQImageGrabberFile::playsFfmpegFiles()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, truncate);
    QFETCH(bool, plays);

    const QString path = dir.filePath(QStringLiteral("ffmpeg.avi"));
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedChannels);
    ffmpeg.start(QStringLiteral("ffmpeg"),
        QStringList {"-nostdin", "-loglevel", "error", "-y"} + arguments + QStringList {path});
    QVERIFY2(ffmpeg.waitForFinished(60000), "ffmpeg did not finish");
    QCOMPARE(ffmpeg.exitCode(), 0);
    if (truncate)
        QVERIFY(QFile::resize(path, QFileInfo(path).size() * 2 / 3));

    PlayableGrabber grabber;
    grabber.setSource(path);
    QCOMPARE(grabber.startGrabbing(), plays);
    if (!plays)
        return;
    QCOMPARE(grabber.timer().interval(), 40);

    // Two seconds at 25 fps are 50 different pictures; the empty chunks (repeats) and audio
    // that ffmpeg adds show nothing. After the last picture the first comes again.
    QList<QImage> frames;
    for (int tick = 0; tick < 300; ++tick) {
        if (!grabber.tickAt(tick * 40))
            continue;
        if (!frames.isEmpty() && grabber.lastImage == frames.first())
            break;
        frames << grabber.lastImage;
    }
    QCOMPARE(frames.size(), 50);
    QCOMPARE(frames.first().size(), QSize(320, 240));
    QVERIFY(frames.at(0) != frames.at(1));
}

void TestQImageGrabberFile::playsTheDemoVideo()
{
    const QString path = QStringLiteral(ZENTROVA_BINARY_DIR "/OrvantaLiteDemo.avi");
    QVERIFY2(QFileInfo::exists(path), "the build did not make the demo video");
    QVERIFY2(QFileInfo(path).size() < 6 * 1024 * 1024, "too large to ship");

    PlayableGrabber grabber;
    grabber.setSource(path);
    QVERIFY(grabber.startGrabbing());
    QCOMPARE(grabber.timer().interval(), 40);
    QList<QImage> frames;
    for (qint64 tick : {0, 40, 80}) {
        QVERIFY(grabber.tickAt(tick));
        frames << grabber.lastImage;
    }
    QCOMPARE(frames.first().size(), QSize(1280, 720));
    QVERIFY(frames.at(0) != frames.at(1));
    QVERIFY(frames.at(1) != frames.at(2));
}

QTEST_GUILESS_MAIN(TestQImageGrabberFile)
#include "tst_qimage_grabber_file.moc"
