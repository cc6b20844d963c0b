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
        QTest::addColumn<QSize>("viewSize");
        QTest::addColumn<QSize>("frameSize");
        QTest::addColumn<QList<QPoint>>("picture"); // the frame's colour there
        QTest::addColumn<QList<QPoint>>("bars"); // the window's black there
        QTest::newRow("stretched over the view") << FrameView::Stretch << QSize(200, 100) << QSize(64, 64)
                                                 << QList<QPoint> {{100, 50}, {2, 2}, {197, 97}} << QList<QPoint> {};
        // A fitted frame is centred both ways: the bars on both sides are equal.
        QTest::newRow("square frame in a wide view, bars beside it")
            << FrameView::PreserveAspectFit << QSize(200, 100) << QSize(64, 64)
            << QList<QPoint> {{100, 50}, {53, 2}, {147, 97}}
            << QList<QPoint> {{10, 50}, {46, 50}, {154, 50}, {190, 50}};
        QTest::newRow("wide frame in a tall view, bars above and below")
            << FrameView::PreserveAspectFit << QSize(100, 200) << QSize(64, 32)
            << QList<QPoint> {{50, 100}, {2, 77}, {97, 122}}
            << QList<QPoint> {{50, 10}, {50, 71}, {50, 129}, {50, 190}};
    }

    void showsTheSourcesFrames()
    {
        QFETCH(FrameView::FillMode, mode);
        QFETCH(QSize, viewSize);
        QFETCH(QSize, frameSize);
        QFETCH(QList<QPoint>, picture);
        QFETCH(QList<QPoint>, bars);
        QQuickWindow window;
        window.setColor(Qt::black);
        window.resize(viewSize);
        FrameView view(window.contentItem());
        view.setSize(viewSize);
        view.setFillMode(mode);
        MiniVideoSource source;
        source.setSize(viewSize);
        view.setSource(&source);
        QVERIFY(source.videoSurface());
        QTRY_VERIFY(source.videoSurface()->isActive());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QImage frame(frameSize, QImage::Format_RGB32);
        frame.fill(Qt::red);
        source.onImageReceived(&frame);
        QTRY_COMPARE(shown(window).pixelColor(picture.first()), QColor(Qt::red));
        const QImage screen = shown(window);
        for (const QPoint &point : picture + bars)
            QVERIFY2(screen.pixelColor(point) == QColor(picture.contains(point) ? Qt::red : Qt::black),
                qPrintable(QStringLiteral("%1,%2").arg(point.x()).arg(point.y())));

        // Each new frame replaces the picture, and the placeholder clears it.
        frame.fill(Qt::green);
        source.onImageReceived(&frame);
        QTRY_COMPARE(shown(window).pixelColor(picture.first()), QColor(Qt::green));
        QImage placeholder;
        source.onImageReceived(&placeholder);
        QTRY_COMPARE(shown(window).pixelColor(picture.first()), QColor(Qt::black));
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
