#include "video/frame_pacer.h"
#include "video/mini_video_source.h"

#include <QAbstractVideoSurface>
#include <QSignalSpy>
#include <QTimer>
#include <QVideoSurfaceFormat>
#include <QtTest>

namespace {

// Stands in for the surface a video view hands over, and keeps the frames it is given.
class FakeSurface : public QAbstractVideoSurface
{
public:
    QList<QVideoFrame::PixelFormat> supportedPixelFormats(QAbstractVideoBuffer::HandleType) const override
    {
        return {QVideoFrame::Format_RGB32, QVideoFrame::Format_ARGB32};
    }
    bool present(const QVideoFrame &frame) override
    {
        frames << frame;
        return true;
    }
    QList<QVideoFrame> frames;
};

} // namespace

class TestMiniVideoSource : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QImage *>(); }
    void presentsOnASurfaceStartedAfterTheLastChange();
    void mirrorsTheBoundSource();
    void tellsTheSizeItIsShownAt();
    void pacesFrames_data();
    void pacesFrames();
    void drawsAtItsOwnRateAndForwardsEveryFrame();
};

void TestMiniVideoSource::presentsOnASurfaceStartedAfterTheLastChange()
{
    MiniVideoSource source;
    QSignalSpy forwarded(&source, &MiniVideoSource::imageReceived);
    FakeSurface surface;
    QImage frame(64, 48, QImage::Format_ARGB32);
    // Nothing starts before the view has a size in both directions.
    source.setVideoSurface(&surface);
    source.setSize(QSize(320, 0));
    QVERIFY(!source.findChild<QTimer *>()->isActive());
    source.setSize(QSize(320, 180));
    source.onImageReceived(&frame); // still waiting to start
    QVERIFY(surface.frames.isEmpty());

    // Started at the view's size, not the images', with plain memory frames.
    QTRY_VERIFY(surface.isActive());
    QCOMPARE(surface.surfaceFormat().frameSize(), QSize(320, 180));
    QCOMPARE(surface.surfaceFormat().pixelFormat(), QVideoFrame::Format_RGB32);
    source.onImageReceived(&frame);
    QImage empty;
    source.onImageReceived(&empty);
    QCOMPARE(surface.frames.size(), 2);
    QCOMPARE(surface.frames.at(0).size(), QSize(64, 48));
    QCOMPARE(surface.frames.at(0).pixelFormat(), QVideoFrame::Format_ARGB32);
    // An empty image clears the view.
    QVERIFY(!surface.frames.at(1).isValid());

    // A view that goes away takes its surface along; frames still travel on.
    auto *lost = new FakeSurface;
    source.setVideoSurface(lost);
    source.startSurface();
    delete lost;
    source.onImageReceived(&frame);
    QCOMPARE(forwarded.count(), 4);
    QCOMPARE(source.videoSurface(), nullptr);
}

void TestMiniVideoSource::mirrorsTheBoundSource()
{
    MiniVideoSource first;
    MiniVideoSource second;
    MiniVideoSource mirror;
    first.setVideoAvaiable(true);
    QSignalSpy available(&mirror, &MiniVideoSource::videoAvaiableChanged);
    QSignalSpy forwarded(&mirror, &MiniVideoSource::imageReceived);
    QImage frame(32, 32, QImage::Format_RGB32);

    mirror.bindSource(&first);
    mirror.bindSource(&first);
    first.onImageReceived(&frame);
    first.setVideoAvaiable(false);
    // Bound elsewhere, the first source no longer reaches the mirror.
    mirror.bindSource(&second);
    first.onImageReceived(&frame);
    first.setVideoAvaiable(true);
    second.onImageReceived(&frame);
    QCOMPARE(forwarded.count(), 2);
    QCOMPARE(static_cast<QList<QVariantList>>(available),
        (QList<QVariantList> {{false}, {true}, {false}, {false}, {false}}));
    QCOMPARE(mirror.boundSource(), &second);

    // No source at all unbinds, where it used to read from a null source.
    mirror.bindSource(nullptr);
    second.onImageReceived(&frame);
    second.setVideoAvaiable(true);
    QCOMPARE(forwarded.count(), 2);
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
    thumbnail.setFrameInterval(100);
    QCOMPARE(thumbnail.shownFrameInterval(), 100);

    // The large video area mirrors it: the larger of the two in each direction counts, and
    // it wants every frame.
    auto *videoArea = new MiniVideoSource;
    FakeSurface area;
    videoArea->setVideoSurface(&area);
    videoArea->setSize(QSize(1280, 80));
    videoArea->bindSource(&thumbnail);
    QCOMPARE(lastTold(), QSize(1280, 90));
    QCOMPARE(thumbnail.shownFrameInterval(), 0);
    videoArea->setSize(QSize(1280, 720));
    QCOMPARE(lastTold(), QSize(1280, 720));
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
    QCOMPARE(thumbnail.shownFrameInterval(), 100);
}

void TestMiniVideoSource::pacesFrames_data()
{
    QTest::addColumn<int>("interval");
    QTest::addColumn<QList<qint64>>("arrivals");
    QTest::addColumn<QList<qint64>>("admitted");
    const QList<qint64> at25fps {0, 40, 80, 120, 160, 200, 240, 280, 320, 360, 400};
    QTest::newRow("every frame") << 0 << QList<qint64> {0, 0, 1} << QList<qint64> {0, 0, 1};
    // Slots at 100, 200, ... give or take 50 ms: 10 a second from 25, evenly.
    QTest::newRow("25 fps at 10") << 100 << at25fps << QList<qint64> {0, 80, 160, 280, 360};
    QTest::newRow("jitter around the slot")
        << 100 << QList<qint64> {0, 95, 210, 290, 330} << QList<qint64> {0, 95, 210, 290};
    // After a pause the next slot counts from the frame that ends it: no burst.
    QTest::newRow("after a pause") << 100 << QList<qint64> {0, 1000, 1040, 1080, 1100} << QList<qint64> {0, 1000, 1080};
}

void TestMiniVideoSource::pacesFrames()
{
    QFETCH(int, interval);
    QFETCH(QList<qint64>, arrivals);
    QFETCH(QList<qint64>, admitted);
    FramePacer pacer;
    pacer.setInterval(interval);
    QList<qint64> through;
    for (qint64 at : arrivals) {
        if (pacer.admitAt(at))
            through << at;
    }
    QCOMPARE(through, admitted);
}

void TestMiniVideoSource::drawsAtItsOwnRateAndForwardsEveryFrame()
{
    MiniVideoSource thumbnail;
    FakeSurface cell;
    thumbnail.setVideoSurface(&cell);
    thumbnail.setSize(QSize(160, 90));
    thumbnail.setFrameInterval(1000);
    QTRY_VERIFY(cell.isActive());
    MiniVideoSource videoArea;
    FakeSurface area;
    videoArea.setVideoSurface(&area);
    videoArea.setSize(QSize(640, 360));
    videoArea.bindSource(&thumbnail);
    QTRY_VERIFY(area.isActive());

    // Ten frames at once: the cell draws the first, the large view every one.
    QImage frame(64, 48, QImage::Format_RGB32);
    for (int i = 0; i < 10; ++i)
        thumbnail.onImageReceived(&frame);
    QCOMPARE(cell.frames.size(), 1);
    QCOMPARE(area.frames.size(), 10);
    // The placeholder that ends a stream is drawn at once.
    QImage placeholder;
    thumbnail.onImageReceived(&placeholder);
    QCOMPARE(cell.frames.size(), 2);
    QVERIFY(!cell.frames.last().isValid());
}

QTEST_GUILESS_MAIN(TestMiniVideoSource)
#include "tst_mini_video_source.moc"
