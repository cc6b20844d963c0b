#include "frame_view.h"
#include "mini_video_source.h"

#include <QAbstractVideoSurface>
#include <QQuickWindow>
#include <QtTest>

// The frame view drawn by the software backend, the one the window uses where OpenGL runs
// on the processor.
class TestFrameView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QImage *>();
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
        QTRY_COMPARE(window.grabWindow().pixelColor(100, 50), QColor(Qt::red));
        QCOMPARE(window.grabWindow().pixelColor(10, 50), leftEdge);

        // Each new frame replaces the picture, and the placeholder clears it.
        frame.fill(Qt::green);
        source.onImageReceived(&frame);
        QTRY_COMPARE(window.grabWindow().pixelColor(100, 50), QColor(Qt::green));
        QImage placeholder;
        source.onImageReceived(&placeholder);
        QTRY_COMPARE(window.grabWindow().pixelColor(100, 50), QColor(Qt::black));
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
