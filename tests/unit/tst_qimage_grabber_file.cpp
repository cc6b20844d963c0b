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

    // A tick at the given milliseconds since an arbitrary epoch; true when it showed an image.
    bool tickAt(qint64 elapsedMs)
    {
        now = 1700000000000 + elapsedMs;
        lastImage = QImage();
        grabberNextFrame();
        return !lastImage.isNull();
    }
    // Which frame of an AviFixture clip a tick showed, -1 for none.
    int frameAt(qint64 elapsedMs) { return tickAt(elapsedMs) ? AviFixture::frameShown(lastImage.width()) : -1; }

    qint64 now = 0;
    QImage lastImage;
};

} // namespace

class TestQImageGrabberFile : public QObject
{
    Q_OBJECT

private slots:
    void fileSizeLimits_data();
    void fileSizeLimits();
    void startsOnlyWhenLoaded();
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
    const QString path = writeFile(data);
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

    const QString good = writeFile(AviFixture::clip(3));
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

void TestQImageGrabberFile::pacesFramesByTheClock_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("intervalMs");
    QTest::addColumn<QList<qint64>>("ticks");
    QTest::addColumn<QList<int>>("shown");

    const QByteArray six = AviFixture::clip(6);
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
    const auto withFramePeriod = [&six](quint32 microseconds) {
        QByteArray data = six;
        AviFixture::putU32(data, avi::MICROSECONDS_PER_FRAME_POS, microseconds);
        return data;
    };
    QTest::newRow("29.97 fps") << withFramePeriod(33366) << 33 << Ticks {0, 200} << Frames {0, 5};
    QTest::newRow("10 fps") << withFramePeriod(100000) << 100 << Ticks {0, 200} << Frames {0, 1};
    QTest::newRow("no frame period: 50 ms") << withFramePeriod(0) << 50 << Ticks {0, 200} << Frames {0, 3};
    QTest::newRow("under 1 ms: 50 ms") << withFramePeriod(999) << 50 << Ticks {0, 200} << Frames {0, 3};

    AviWriter withAudio(QSize(AviFixture::frameWidth(5), 16), 25);
    for (int i = 0; i < 6; ++i) {
        withAudio.addFrame(AviFixture::jpeg(QSize(AviFixture::frameWidth(i), 16)));
        withAudio.addChunk(QByteArrayLiteral("01wb"), QByteArray(320, '\0'));
    }
    QTest::newRow("audio chunks are not frames")
        << withAudio.toByteArray() << 40 << Ticks {0, 40, 80, 200, 240} << Frames {0, 1, 2, 4, 5};

    const qint64 offsetField = AviFixture::indexEntryPos(six, 1) + avi::INDEX_ENTRY_OFFSET_POS;
    QByteArray undecodable = six;
    const qint64 frameOne = six.indexOf(avi::MOVIE_LIST) + AviFixture::u32(six, offsetField) + avi::CHUNK_HEADER_SIZE;
    undecodable.replace(int(frameOne), 64, QByteArray(64, 'x'));
    QTest::newRow("an undecodable frame shows nothing on its tick")
        << undecodable << 40 << Ticks {0, 40, 80} << Frames {0, -1, 2};
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
