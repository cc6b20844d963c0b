#include "avi_fixture.h"
#include "qimagegrabber/avi_format.h"
#include "qimagegrabber/avi_writer.h"
#include "qimagegrabber/qimage_grabber_file.h"
#include "test_home.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr qint64 CLOCK_BASE_MS = 1700000000000;

// Exposes the tick and the timer, and runs on a clock the test sets.
class PlayableGrabber : public QImageGrabberFile
{
public:
    PlayableGrabber()
    {
        setClock([this] { return now; });
        // Receivers copy the image inside the slot; the grabber reuses it for the next frame.
        connect(this, &QImageGrabber::newImageGrabbed, [this](QImage *img) {
            lastImage = *img;
            ++images;
        });
    }
    using QImageGrabberFile::grabberNextFrame;
    const QTimer &timer() const { return frameTimer; }

    // A tick at the given time since the clock base; true when it showed an image.
    bool tickAt(qint64 elapsedMs)
    {
        now = CLOCK_BASE_MS + elapsedMs;
        const int before = images;
        grabberNextFrame();
        return images > before;
    }

    // Which frame of an AviFixture clip a tick showed, -1 for none.
    int frameAt(qint64 elapsedMs) { return tickAt(elapsedMs) ? AviFixture::frameShown(lastImage.width()) : -1; }

    qint64 now = CLOCK_BASE_MS;
    QImage lastImage;
    int images = 0;
};

// Collects what the code under test logs, to check texts and their absence.
class LogCapture
{
public:
    LogCapture() : previous(qInstallMessageHandler(&LogCapture::handle)) { current = this; }
    ~LogCapture()
    {
        qInstallMessageHandler(previous);
        current = nullptr;
    }
    QStringList lines;

private:
    static void handle(QtMsgType, const QMessageLogContext &, const QString &message) { current->lines << message; }
    static LogCapture *current;
    QtMessageHandler previous;
};
LogCapture *LogCapture::current = nullptr;

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &data)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray withMicrosecondsPerFrame(QByteArray data, quint32 microseconds)
{
    AviFixture::putU32(data, avi::MICROSECONDS_PER_FRAME_POS, microseconds);
    return data;
}

QByteArray clipWithAudio(int frames)
{
    AviWriter writer(QSize(AviFixture::frameWidth(frames - 1), 16), 25);
    for (int i = 0; i < frames; ++i) {
        writer.addFrame(AviFixture::jpeg(QSize(AviFixture::frameWidth(i), 16)));
        writer.addChunk(QByteArrayLiteral("01wb"), QByteArray(320, '\0'));
    }
    return writer.toByteArray();
}

} // namespace

class TestQImageGrabberFile : public QObject
{
    Q_OBJECT

private slots:
    void fileSizeLimits_data();
    void fileSizeLimits();
    void startsOnlyWhenLoaded();
    void frameTimerFollowsTheFile_data();
    void frameTimerFollowsTheFile();
    void pacesFramesByTheClock_data();
    void pacesFramesByTheClock();
    void playsFfmpegFiles_data();
    void playsFfmpegFiles();
    void playsTheDemoVideo();

private:
    TestHome home;
    QTemporaryDir dir;
};

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
    QByteArray data = AviFixture::clip(1);
    QVERIFY(data.size() < avi::MIN_FILE_BYTES - 1);
    AviFixture::putU32(data, avi::RIFF_SIZE_POS, quint32(size - avi::CHUNK_HEADER_SIZE));
    const QString path = writeFile(dir, QStringLiteral("sized.avi"), data);
    QVERIFY(QFile::resize(path, size));

    PlayableGrabber grabber;
    LogCapture log;
    grabber.setSource(path);
    QCOMPARE(grabber.state(), loads ? QImageGrabber::Stopped : QImageGrabber::Error);
    QCOMPARE(log.lines.contains(path + QStringLiteral(" is not a valid file or too large.")), !loads);
    QCOMPARE(grabber.startGrabbing(), loads);
    QVERIFY(QFile::remove(path));
}

void TestQImageGrabberFile::startsOnlyWhenLoaded()
{
    PlayableGrabber grabber;
    QSignalSpy stateSpy(&grabber, &QImageGrabber::stateChanged);
    QSignalSpy errorSpy(&grabber, &QImageGrabber::errorHappend);
    QCOMPARE(grabber.grabberName(), QStringLiteral("MJPEG File Grabber"));
    QCOMPARE(grabber.defaultSource(), QStringLiteral("/zentrova.avi"));
    QCOMPARE(grabber.state(), QImageGrabber::Error);
    QVERIFY(!grabber.startGrabbing());

    const QString good = writeFile(dir, QStringLiteral("good.avi"), AviFixture::clip(3));
    grabber.setSource(good);
    QCOMPARE(grabber.source(), good);
    QCOMPARE(grabber.state(), QImageGrabber::Stopped);
    QVERIFY(grabber.startGrabbing());
    QVERIFY(grabber.isGrabbing());
    QVERIFY(grabber.timer().isActive());
    QVERIFY(grabber.startGrabbing());
    grabber.stopGrabbing();
    QCOMPARE(grabber.state(), QImageGrabber::Stopped);
    QVERIFY(!grabber.timer().isActive());

    // A file that is large enough but no AVI: refused without a log line.
    QByteArray notAvi(4096, 'x');
    const QString bad = writeFile(dir, QStringLiteral("bad.avi"), notAvi);
    {
        LogCapture log;
        QVERIFY(grabber.startGrabbing());
        grabber.setSource(bad);
        QVERIFY(log.lines.isEmpty());
    }
    QCOMPARE(grabber.state(), QImageGrabber::Error);
    QVERIFY(!grabber.timer().isActive());
    QVERIFY(!grabber.startGrabbing());
    grabber.setSource(dir.filePath(QStringLiteral("missing.avi")));
    QCOMPARE(grabber.state(), QImageGrabber::Error);
    grabber.setSource(dir.path());
    QCOMPARE(grabber.state(), QImageGrabber::Error);

    // Loading again does not restart playback.
    grabber.setSource(good);
    QCOMPARE(grabber.state(), QImageGrabber::Stopped);
    QVERIFY(!grabber.timer().isActive());
    QVERIFY(grabber.startGrabbing());

    // Users poll isGrabbing; this grabber signals neither state changes nor errors.
    QCOMPARE(stateSpy.count(), 0);
    QCOMPARE(errorSpy.count(), 0);
}

void TestQImageGrabberFile::frameTimerFollowsTheFile_data()
{
    QTest::addColumn<quint32>("microsecondsPerFrame");
    QTest::addColumn<int>("intervalMs");

    QTest::newRow("25 fps") << 40000u << 40;
    QTest::newRow("29.97 fps") << 33366u << 33;
    QTest::newRow("10 fps") << 100000u << 100;
    QTest::newRow("not given") << 0u << 50;
    QTest::newRow("under a millisecond") << 999u << 50;
}

void TestQImageGrabberFile::frameTimerFollowsTheFile()
{
    QFETCH(quint32, microsecondsPerFrame);
    QFETCH(int, intervalMs);

    const QString path =
        writeFile(dir, QStringLiteral("rate.avi"), withMicrosecondsPerFrame(AviFixture::clip(4), microsecondsPerFrame));
    PlayableGrabber grabber;
    grabber.setSource(path);
    QVERIFY(grabber.startGrabbing());
    QCOMPARE(grabber.timer().interval(), intervalMs);
    QVERIFY(!grabber.timer().isSingleShot());

    // Pacing uses the same interval: two intervals late skips exactly one frame.
    QCOMPARE(grabber.frameAt(0), 0);
    QCOMPARE(grabber.frameAt(3 * intervalMs), 2);
}

void TestQImageGrabberFile::pacesFramesByTheClock_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QList<qint64>>("ticks");
    QTest::addColumn<QList<int>>("shown");

    const QByteArray six = AviFixture::clip(6);
    QTest::newRow("on time") << six << QList<qint64>{0, 40, 80, 120, 160, 200} << QList<int>{0, 1, 2, 3, 4, 5};
    QTest::newRow("a tick 120 ms late drops the missed frames")
        << six << QList<qint64>{0, 40, 80, 240, 280} << QList<int>{0, 1, 2, 5, 0};
    QTest::newRow("early ticks still advance") << six << QList<qint64>{0, 10, 20} << QList<int>{0, 1, 2};
    QTest::newRow("loops after the last frame")
        << six << QList<qint64>{0, 40, 80, 120, 160, 200, 240, 280} << QList<int>{0, 1, 2, 3, 4, 5, 0, 1};
    QTest::newRow("too late for every remaining frame")
        << six << QList<qint64>{0, 1000, 1040, 1080} << QList<int>{0, -1, 0, 1};
    QTest::newRow("audio chunks are not frames")
        << clipWithAudio(6) << QList<qint64>{0, 40, 80, 200, 240} << QList<int>{0, 1, 2, 4, 5};

    QByteArray badOffset = six;
    AviFixture::putU32(badOffset, AviFixture::indexEntryPos(six, 1) + avi::INDEX_ENTRY_OFFSET_POS, 0xFFFFFF00);
    QTest::newRow("an entry outside the file is passed over")
        << badOffset << QList<qint64>{0, 40, 80} << QList<int>{0, 2, 3};

    QByteArray undecodable = six;
    const qint64 frameOne = six.indexOf(avi::MOVIE_LIST)
                            + AviFixture::u32(six, AviFixture::indexEntryPos(six, 1) + avi::INDEX_ENTRY_OFFSET_POS)
                            + avi::CHUNK_HEADER_SIZE;
    undecodable.replace(int(frameOne), 64, QByteArray(64, 'x'));
    QTest::newRow("an undecodable frame shows nothing on its tick")
        << undecodable << QList<qint64>{0, 40, 80} << QList<int>{0, -1, 2};
}

void TestQImageGrabberFile::pacesFramesByTheClock()
{
    QFETCH(QByteArray, data);
    QFETCH(QList<qint64>, ticks);
    QFETCH(QList<int>, shown);

    PlayableGrabber grabber;
    grabber.setSource(writeFile(dir, QStringLiteral("paced.avi"), data));
    QVERIFY(grabber.startGrabbing());
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

    const QStringList video{"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25"};
    const QStringList audio{"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=8000"};
    const QStringList mjpeg{"-t", "2", "-c:v", "mjpeg"};
    QTest::newRow("MJPEG") << video + mjpeg << false << true;
    QTest::newRow("MJPEG with audio") << video + audio + mjpeg + QStringList{"-map", "0:v", "-map", "1:a"} << false
                                      << true;
    QTest::newRow("audio stream first") << video + audio + mjpeg + QStringList{"-map", "1:a", "-map", "0:v"} << false
                                        << false;
    QTest::newRow("MPEG-4 video") << video + QStringList{"-t", "2", "-c:v", "mpeg4"} << false << false;
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
    ffmpeg.start(QStringLiteral("ffmpeg"), QStringList{"-nostdin", "-loglevel", "error", "-y"} + arguments
                                                   + QStringList{"-f", "avi", path});
    QVERIFY2(ffmpeg.waitForFinished(60000), "ffmpeg did not finish");
    QCOMPARE(ffmpeg.exitCode(), 0);
    if (truncate)
        QVERIFY(QFile::resize(path, QFileInfo(path).size() * 2 / 3));

    PlayableGrabber grabber;
    grabber.setSource(path);
    QCOMPARE(grabber.startGrabbing(), plays);
    if (!plays) {
        QCOMPARE(grabber.state(), QImageGrabber::Error);
        return;
    }
    QCOMPARE(grabber.timer().interval(), 40);

    // Two seconds at 25 fps are 50 pictures, all different; ffmpeg may add empty chunks
    // (repeats) and audio, which show nothing. After the last picture the first comes again.
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
    // Small enough to ship beside the program.
    QVERIFY(QFileInfo(path).size() < 6 * 1024 * 1024);

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
