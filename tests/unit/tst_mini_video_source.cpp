#include "mini_video_source.h"

#include <QAbstractVideoSurface>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>
#include <QVideoSurfaceFormat>
#include <QtTest>

namespace {

// Stands in for the surface a video view hands over: records starts, stops and frames.
class FakeSurface : public QAbstractVideoSurface
{
public:
    QList<QVideoFrame::PixelFormat> supportedPixelFormats(QAbstractVideoBuffer::HandleType) const override
    {
        return {QVideoFrame::Format_RGB32, QVideoFrame::Format_ARGB32};
    }
    bool start(const QVideoSurfaceFormat &format) override
    {
        ++starts;
        startedWith = format;
        if (refuse)
            setError(UnsupportedFormatError);
        return !refuse && QAbstractVideoSurface::start(format);
    }
    void stop() override
    {
        ++stops;
        QAbstractVideoSurface::stop();
    }
    bool present(const QVideoFrame &frame) override
    {
        frames << frame;
        return true;
    }
    int starts = 0;
    int stops = 0;
    bool refuse = false;
    QVideoSurfaceFormat startedWith;
    QList<QVideoFrame> frames;
};

// The frames a source forwards, by pointer, as mirrors receive them.
struct ForwardLog : QList<QImage *>
{
    explicit ForwardLog(MiniVideoSource &source)
    {
        QObject::connect(&source, &MiniVideoSource::imageReceived, &source, [this](QImage *image) { append(image); });
    }
};

QList<bool> flags(const QSignalSpy &spy)
{
    QList<bool> values;
    for (const QList<QVariant> &arguments : spy)
        values << arguments.at(0).toBool();
    return values;
}

QTimer *startTimerOf(MiniVideoSource &source)
{
    return source.findChild<QTimer *>(QStringLiteral("surfaceStartTimer"));
}

// A source with a sized surface that has been started.
void startOn(MiniVideoSource &source, FakeSurface &surface)
{
    source.setVideoSurface(&surface);
    source.setSize(QSize(320, 240));
    source.startSurface();
}

} // namespace

class TestMiniVideoSource : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QAbstractVideoSurface *>(); }
    void surfaceStartsOnceAfterTheLastChange();
    void failedStartIsLoggedAndTriedAgainOnTheNextChange();
    void framesArePresentedOnlyOnAnActiveSurface();
    void propertyWritesAnnounceOnlyChanges();
    void mirrorsTheBoundSource();
    void tellsTheSizeItIsShownAt();
};

void TestMiniVideoSource::surfaceStartsOnceAfterTheLastChange()
{
    MiniVideoSource source;
    FakeSurface surface;
    QTimer *timer = startTimerOf(source);
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 500);
    QVERIFY(timer->isSingleShot());

    // A shorter wait than the real one, to watch the timer being started anew.
    timer->setInterval(300);
    // Nothing starts before the view has a size in both directions.
    QTest::ignoreMessage(QtDebugMsg, "surface changed");
    source.setVideoSurface(&surface);
    for (const QSize &empty : {QSize(320, 0), QSize(0, 240)})
        source.setSize(empty);
    QVERIFY(!timer->isActive());
    source.setSize(QSize(640, 360));
    QVERIFY(timer->isActive());
    QTest::qWait(150);
    const int leftBefore = timer->remainingTime();
    source.setSize(QSize(320, 180));
    QVERIFY(timer->remainingTime() > leftBefore + 100);
    QCOMPARE(surface.starts, 0);

    QTest::ignoreMessage(QtDebugMsg, "surface start");
    QTRY_COMPARE(surface.starts, 1);
    QVERIFY(surface.isActive());
    // The view's size, not the images', and plain memory frames.
    QCOMPARE(surface.startedWith.frameSize(), QSize(320, 180));
    QCOMPARE(surface.startedWith.pixelFormat(), QVideoFrame::Format_RGB32);
    QCOMPARE(surface.startedWith.handleType(), QAbstractVideoBuffer::NoHandle);

    // A running surface is stopped at the next change and waits for the timer again.
    source.setSize(QSize(800, 450));
    QCOMPARE(surface.stops, 1);
    QVERIFY(!surface.isActive());
    QVERIFY(timer->isActive());

    // A new surface restarts the wait as well; a lost one is not started.
    FakeSurface other;
    source.setVideoSurface(&other);
    QVERIFY(timer->isActive());
    source.setVideoSurface(nullptr);
    source.startSurface();
    QCOMPARE(other.starts, 0);
    QCOMPARE(surface.starts, 1);
}

void TestMiniVideoSource::failedStartIsLoggedAndTriedAgainOnTheNextChange()
{
    MiniVideoSource source;
    FakeSurface surface;
    surface.refuse = true;
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^surface start failed with error: .*UnsupportedFormatError$"));
    startOn(source, surface);
    QVERIFY(!surface.isActive());
    QImage frame(320, 240, QImage::Format_RGB32);
    source.onImageReceived(&frame);
    QVERIFY(surface.frames.isEmpty());

    surface.refuse = false;
    source.setSize(QSize(640, 480));
    QVERIFY(startTimerOf(source)->isActive());
    source.startSurface();
    QVERIFY(surface.isActive());
}

void TestMiniVideoSource::framesArePresentedOnlyOnAnActiveSurface()
{
    MiniVideoSource source;
    ForwardLog forwarded(source);
    QImage frame(64, 48, QImage::Format_ARGB32);
    frame.fill(Qt::red);

    source.onImageReceived(&frame);
    QCOMPARE(forwarded, QList<QImage *> {&frame});

    FakeSurface surface;
    source.setVideoSurface(&surface);
    source.setSize(QSize(320, 240));
    source.onImageReceived(&frame); // still waiting to start
    QVERIFY(surface.frames.isEmpty());
    QCOMPARE(forwarded.size(), 2);

    source.startSurface();
    source.onImageReceived(&frame);
    QCOMPARE(surface.frames.size(), 1);
    QCOMPARE(surface.frames.at(0).size(), QSize(64, 48));
    QCOMPARE(surface.frames.at(0).pixelFormat(), QVideoFrame::Format_ARGB32);
    QCOMPARE(forwarded.size(), 3);

    // An empty image clears the view.
    QImage empty;
    source.onImageReceived(&empty);
    QCOMPARE(surface.frames.size(), 2);
    QVERIFY(!surface.frames.at(1).isValid());
    QCOMPARE(forwarded.last(), &empty);

    // A view that goes away takes its surface along; frames still travel on.
    auto *lost = new FakeSurface;
    source.setVideoSurface(lost);
    source.startSurface();
    delete lost;
    source.onImageReceived(&frame);
    QCOMPARE(forwarded.size(), 5);
    QCOMPARE(source.videoSurface(), nullptr);
}

void TestMiniVideoSource::propertyWritesAnnounceOnlyChanges()
{
    MiniVideoSource source;
    QSignalSpy available(&source, &MiniVideoSource::videoAvaiableChanged);
    QSignalSpy sizes(&source, &MiniVideoSource::sizeChanged);
    QSignalSpy surfaces(&source, &MiniVideoSource::surfaceChanged);

    QVERIFY(source.setProperty("videoAvaiable", false));
    QVERIFY(source.setProperty("videoAvaiable", true));
    QVERIFY(source.setProperty("videoAvaiable", true));
    QCOMPARE(flags(available), QList<bool> {true});
    // The encoder's own calls are announced every time.
    source.setVideoAvaiable(true);
    QCOMPARE(flags(available), (QList<bool> {true, true}));

    QVERIFY(source.setProperty("size", QSize(10, 10)));
    QVERIFY(source.setProperty("size", QSize(10, 10)));
    QCOMPARE(sizes.count(), 1);
    FakeSurface surface;
    for (QAbstractVideoSurface *each : QList<QAbstractVideoSurface *> {nullptr, &surface, &surface})
        QVERIFY(source.setProperty("videoSurface", QVariant::fromValue(each)));
    QCOMPARE(surfaces.count(), 1);
}

void TestMiniVideoSource::mirrorsTheBoundSource()
{
    MiniVideoSource first;
    MiniVideoSource second;
    MiniVideoSource mirror;
    first.setVideoAvaiable(true);
    QSignalSpy available(&mirror, &MiniVideoSource::videoAvaiableChanged);
    ForwardLog forwarded(mirror);
    FakeSurface surface;
    startOn(mirror, surface);

    mirror.bindSource(&first);
    QCOMPARE(flags(available), (QList<bool> {false, true}));
    mirror.bindSource(&first);
    QCOMPARE(available.count(), 2);
    QCOMPARE(mirror.boundSource(), &first);

    QImage frame(32, 32, QImage::Format_RGB32);
    first.onImageReceived(&frame);
    QCOMPARE(forwarded, QList<QImage *> {&frame});
    QCOMPARE(surface.frames.size(), 1);
    first.setVideoAvaiable(false);
    QCOMPARE(flags(available).last(), false);

    available.clear();
    mirror.bindSource(&second);
    QCOMPARE(flags(available), (QList<bool> {false, false}));
    QCOMPARE(mirror.boundSource(), &second);
    first.onImageReceived(&frame);
    first.setVideoAvaiable(true);
    QCOMPARE(forwarded.size(), 1);
    QCOMPARE(available.count(), 2);
    second.onImageReceived(&frame);
    QCOMPARE(forwarded.size(), 2);

    available.clear();
    mirror.unbindSource();
    QCOMPARE(flags(available), QList<bool> {false});
    second.onImageReceived(&frame);
    second.setVideoAvaiable(true);
    QCOMPARE(forwarded.size(), 2);
    QCOMPARE(available.count(), 1);
    QVERIFY(!mirror.videoAvaiable());
    QCOMPARE(mirror.boundSource(), nullptr);

    // Bound again after an unbind, the same source mirrors anew.
    mirror.bindSource(&second);
    QVERIFY(mirror.videoAvaiable());
    // No source at all unbinds, where it used to read from a null source.
    mirror.bindSource(nullptr);
    QVERIFY(!mirror.videoAvaiable());
    QCOMPARE(mirror.boundSource(), nullptr);
    second.onImageReceived(&frame);
    QCOMPARE(forwarded.size(), 2);

    // A mirrored source that goes away is no longer reported as bound.
    auto *shortLived = new MiniVideoSource;
    mirror.bindSource(shortLived);
    QCOMPARE(mirror.boundSource(), shortLived);
    delete shortLived;
    QCOMPARE(mirror.boundSource(), nullptr);
}

void TestMiniVideoSource::tellsTheSizeItIsShownAt()
{
    MiniVideoSource thumbnail;
    QSignalSpy told(&thumbnail, &MiniVideoSource::shownSizeChanged);
    const auto lastTold = [&told] { return told.isEmpty() ? QSize(0, 0) : told.last().at(0).toSize(); };

    // A size alone is no view; a view that has not told its size may draw at any.
    thumbnail.setSize(QSize(160, 90));
    QVERIFY(told.isEmpty());
    thumbnail.setSize(QSize(0, 0));
    FakeSurface cell;
    thumbnail.setVideoSurface(&cell);
    QCOMPARE(lastTold(), QSize(INT_MAX, INT_MAX));
    thumbnail.setSize(QSize(160, 90));
    QCOMPARE(lastTold(), QSize(160, 90));

    // The large video area mirrors it: the larger of the two in each direction counts.
    auto *videoArea = new MiniVideoSource;
    FakeSurface area;
    videoArea->setVideoSurface(&area);
    videoArea->setSize(QSize(1280, 80));
    videoArea->bindSource(&thumbnail);
    QCOMPARE(lastTold(), QSize(1280, 90));
    videoArea->setSize(QSize(1280, 720));
    QCOMPARE(lastTold(), QSize(1280, 720));
    QCOMPARE(thumbnail.shownSize(), QSize(1280, 720));

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
    const int announcements = told.count();
    thumbnail.setSize(QSize(100, 100));
    QCOMPARE(told.count(), announcements);
}

QTEST_GUILESS_MAIN(TestMiniVideoSource)
#include "tst_mini_video_source.moc"
