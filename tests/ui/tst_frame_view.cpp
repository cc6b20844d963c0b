#include "video/frame_view.h"
#include "video/mini_video_source.h"

#include <QAbstractVideoSurface>
#include <QQuickWindow>
#include <QScreen>
#include <QtTest>

// The frame view drawn by the software scene graph, the one the window uses where OpenGL runs
// on the processor, or by the one QT_QUICK_BACKEND names (empty: OpenGL).
namespace {

// What the screen shows of the window: grabbing the window itself would draw it afresh.
QImage shown(QQuickWindow &window)
{
    return window.screen()->grabWindow(window.winId()).toImage();
}

} // namespace

class TestFrameView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QImage *>();
        if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
            QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
    }

    void showsTheSourcesFrames_data()
    {
        QTest::addColumn<FrameView::FillMode>("mode");
        QTest::addColumn<QColor>("leftEdge");
        QTest::newRow("stretched over the view") << FrameView::Stretch << QColor(Qt::red);
        QTest::newRow("square frame in a wide view, bars beside it")
            << FrameView::PreserveAspectFit << QColor(Qt::black);
    }

    void showsTheSourcesFrames()
    {
        QFETCH(FrameView::FillMode, mode);
        QFETCH(QColor, leftEdge);
        QQuickWindow window;
        window.setColor(Qt::black);
        window.resize(200, 100);
        FrameView view(window.contentItem());
        view.setSize(QSizeF(200, 100));
        view.setFillMode(mode);
        MiniVideoSource source;
        source.setSize(QSize(200, 100));
        view.setSource(&source);
        QVERIFY(source.videoSurface());
        QTRY_VERIFY(source.videoSurface()->isActive());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QImage frame(64, 64, QImage::Format_RGB32);
        frame.fill(Qt::red);
        source.onImageReceived(&frame);
        QTRY_COMPARE(shown(window).pixelColor(100, 50), QColor(Qt::red));
        QCOMPARE(shown(window).pixelColor(10, 50), leftEdge);

        // Each new frame replaces the picture, and the placeholder clears it.
        frame.fill(Qt::green);
        source.onImageReceived(&frame);
        QTRY_COMPARE(shown(window).pixelColor(100, 50), QColor(Qt::green));
        QImage placeholder;
        source.onImageReceived(&placeholder);
        QTRY_COMPARE(shown(window).pixelColor(100, 50), QColor(Qt::black));
    }

    void handsTheSurfaceBack()
    {
        MiniVideoSource first;
        MiniVideoSource second;
        {
            FrameView view;
            view.setSource(&first);
            QAbstractVideoSurface *surface = first.videoSurface();
            QVERIFY(surface);
            view.setSource(&second);
            QVERIFY(!first.videoSurface());
            QCOMPARE(second.videoSurface(), surface);
        }
        // A destroyed view leaves no surface behind to be presented to.
        QVERIFY(!second.videoSurface());
    }
};

QTEST_MAIN(TestFrameView)
#include "tst_frame_view.moc"
