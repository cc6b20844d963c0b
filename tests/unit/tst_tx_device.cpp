#include "log_capture.h"
#include "models/tx_device.h"
#include "null_surface.h"
#include "test_mjpeg.h"
#include "test_records.h"
#include "video/mini_video_source.h"
#include "video/qimage_grabber_mjpeg.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {

constexpr int WAIT_MS = 10000;
constexpr quint16 HTTP_PORT = 80;
const QString NAME = QStringLiteral("IPE3x-7c2e0d00aa01");
const char NEED_PORT_80[] = "port 80 on loopback is needed: run the test under scripts/netless";

// The stream address has no port, so the test encoder serves on port 80. A loopback
// address of its own per process keeps parallel tests from meeting there.
QHostAddress encoderAddress(int which)
{
    const quint32 pid = quint32(QCoreApplication::applicationPid());
    return QHostAddress((127u << 24) | ((pid & 0xffffu) << 8) | quint32(10 + which));
}

// An encoder's preview: a multipart body of five small images, 40 ms apart, on a connection
// that then stays open.
void pacedStream(QTcpSocket *connection, const QByteArray &)
{
    connection->write(LoopbackHttpServer::streamHead() + "--b\r\n");
    for (int i = 1; i <= 5; ++i) {
        QTimer::singleShot(40 * i, connection, [connection] {
            if (connection->state() == QAbstractSocket::ConnectedState)
                connection->write(TestMjpeg::multipartPart(TestMjpeg::plain(Qt::darkCyan), "b"));
        });
    }
}

// A view showing the source: frames are decoded only while there is one.
void show(MiniVideoSource *source, NullSurface &surface)
{
    source->setVideoSurface(&surface);
    source->setSize(QSize(16, 16));
}

} // namespace

class TestTxDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QImage *>(); }

    void outageIsToldOnceAndOfflineStopsRetries()
    {
        LogCapture warnings(QtWarningMsg);
        // Frames are only lent for the time of the signal, so they are looked at right there.
        QList<bool> framesEmpty;
        TxDevice device(parsedDiscoveryRecord(NAME, QStringLiteral("TX - 1"), encoderAddress(0)));
        QTimer *retry = device.findChild<QTimer *>(QStringLiteral("retryTimer"));
        connect(device.videoSource(), &MiniVideoSource::imageReceived, this,
            [&framesEmpty](QImage *image) { framesEmpty.append(image->isNull()); });
        NullSurface surface;
        show(device.videoSource(), surface);
        QTRY_VERIFY_WITH_TIMEOUT(retry->isActive(), WAIT_MS);
        // The views get an empty picture in place of a stale one.
        QVERIFY(!framesEmpty.isEmpty() && framesEmpty.last());

        // Still away at the retry: the outage goes on without another warning.
        QSignalSpy failures(device.grabber(), &QImageGrabber::errorHappend);
        QVERIFY(QMetaObject::invokeMethod(retry, "timeout"));
        QVERIFY(failures.wait(WAIT_MS));
        QVERIFY(retry->isActive());

        // Offline, it is not retried; a view starting the stream gets one attempt.
        for (int pass = 0; pass < DeviceBase::OFFLINE_THRESHOLD; ++pass)
            device.offlineCounterIncrease();
        QVERIFY(!retry->isActive());
        device.startFetchVideoStream();
        QVERIFY(failures.wait(WAIT_MS));
        QVERIFY(!retry->isActive());

        // Back online, the stream starts again.
        LoopbackHttpServer server(pacedStream, encoderAddress(0), HTTP_PORT);
        QVERIFY2(server.isListening(), NEED_PORT_80);
        device.offlineCounterReset();
        QTRY_VERIFY_WITH_TIMEOUT(device.videoSource()->videoAvaiable(), WAIT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(!framesEmpty.last(), WAIT_MS);
        // One warning when the outage started, one when it ended.
        QCOMPARE(warnings.matching(QStringLiteral("Error while download image from device")).size(), 1);
        QCOMPARE(warnings.matching(QStringLiteral("is back")).size(), 1);
    }

    void addressChangeMovesThePreview()
    {
        LoopbackHttpServer oldServer(pacedStream, encoderAddress(0), HTTP_PORT);
        LoopbackHttpServer newServer(pacedStream, encoderAddress(1), HTTP_PORT);
        QVERIFY2(oldServer.isListening() && newServer.isListening(), NEED_PORT_80);
        TxDevice device(parsedDiscoveryRecord(NAME, QStringLiteral("TX - 1"), encoderAddress(0)));
        QSignalSpy frames(device.videoSource(), &MiniVideoSource::imageReceived);
        NullSurface surface;
        // A demo's views leave the stream alone.
        device.setDemo(true);
        show(device.videoSource(), surface);
        QCOMPARE(device.grabber()->state(), QImageGrabber::Stopped);
        device.videoSource()->setVideoSurface(nullptr);
        device.setDemo(false);
        show(device.videoSource(), surface);
        QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 1, WAIT_MS);

        device.updateAddress(encoderAddress(1));
        QCOMPARE(device.grabber()->source(), QStringLiteral("http://%1/stream").arg(encoderAddress(1).toString()));
        QTRY_COMPARE_WITH_TIMEOUT(oldServer.openConnections(), 0, WAIT_MS);
        QTRY_COMPARE_WITH_TIMEOUT(newServer.requests.size(), 1, WAIT_MS);
        const int framesBefore = frames.count();
        QTRY_VERIFY_WITH_TIMEOUT(frames.count() > framesBefore, WAIT_MS);
        QCOMPARE(oldServer.requests.size(), 1);
    }
};

QTEST_MAIN(TestTxDevice)
#include "tst_tx_device.moc"
