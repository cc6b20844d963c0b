#include "log_capture.h"
#include "mini_video_source.h"
#include "models/tx_device.h"
#include "qimagegrabber/qimage_grabber_mjpeg.h"
#include "test_mjpeg.h"
#include "test_records.h"

#include <QAbstractVideoSurface>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <memory>

namespace {

constexpr int WAIT_MS = 10000;
constexpr quint16 HTTP_PORT = 80;
const QString NAME = QStringLiteral("IPE3x-7c2e0d00aa01");
const QString RETRY_WARNING = QStringLiteral("Error while download image from device");
const char NEED_PORT_80[] = "port 80 on loopback is needed: run the test under scripts/netless";

// The stream address has no port, so the test encoder serves on port 80. A loopback
// address of its own per process keeps parallel tests from meeting there.
QHostAddress encoderAddress(int which)
{
    const quint32 pid = quint32(QCoreApplication::applicationPid());
    return QHostAddress((127u << 24) | ((pid & 0xffffu) << 8) | quint32(10 + which));
}

// An encoder's preview: a multipart body of small images, one every 40 ms, after which the
// body ends or the connection stays open.
LoopbackHttpServer::Handler pacedStream(int frames, bool thenClose)
{
    return [frames, thenClose](QTcpSocket *connection, const QByteArray &) {
        connection->write(LoopbackHttpServer::streamHead() + "--b\r\n");
        for (int i = 1; i <= frames; ++i) {
            QTimer::singleShot(40 * i, connection, [connection, end = thenClose && i == frames] {
                if (connection->state() != QAbstractSocket::ConnectedState)
                    return;
                connection->write(TestMjpeg::multipartPart(TestMjpeg::plain(Qt::darkCyan), "b"));
                if (end)
                    connection->disconnectFromHost();
            });
        }
    };
}

std::unique_ptr<LoopbackHttpServer> startServer(int which, int frames = 3, bool thenClose = false)
{
    auto server
        = std::make_unique<LoopbackHttpServer>(pacedStream(frames, thenClose), encoderAddress(which), HTTP_PORT);
    return server->isListening() ? std::move(server) : nullptr;
}

class NullSurface : public QAbstractVideoSurface
{
public:
    QList<QVideoFrame::PixelFormat> supportedPixelFormats(QAbstractVideoBuffer::HandleType) const override
    {
        return {QVideoFrame::Format_RGB32};
    }
    bool present(const QVideoFrame &) override { return true; }
};

QTimer *retryTimerOf(TxDevice &device)
{
    return device.findChild<QTimer *>(QStringLiteral("retryTimer"));
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
    void init()
    {
        device = std::make_unique<TxDevice>(parsedDiscoveryRecord(NAME, QStringLiteral("TX - 1"), encoderAddress(0)));
    }
    void cleanup() { device.reset(); }
    void failureWarnsOnceAndRetries_data();
    void failureWarnsOnceAndRetries();
    void decodesOnlyWhatAViewShows();
    void offlineStopsAndOnlineRestarts();
    void demoKeepsViewsFromStartingTheStream();
    void bindingViewsAndAddressChange();

private:
    std::unique_ptr<TxDevice> device;
};

void TestTxDevice::failureWarnsOnceAndRetries_data()
{
    QTest::addColumn<bool>("serverUp");
    QTest::newRow("stream ends") << true;
    QTest::newRow("connection refused") << false;
}

void TestTxDevice::failureWarnsOnceAndRetries()
{
    QFETCH(bool, serverUp);

    auto server = startServer(0, 5, true);
    QVERIFY2(server, NEED_PORT_80);
    if (!serverUp)
        server->close();
    QTimer *retry = retryTimerOf(*device);
    QVERIFY(retry);
    QCOMPARE(retry->interval(), 5000);
    QVERIFY(retry->isSingleShot());

    LogCapture warnings(QtWarningMsg);
    // Frames are only lent for the time of the signal, so they are looked at right there.
    QList<bool> framesEmpty;
    connect(device->videoSource(), &MiniVideoSource::imageReceived, this,
        [&framesEmpty](QImage *image) { framesEmpty.append(image->isNull()); });
    NullSurface surface;
    show(device->videoSource(), surface);
    QTRY_VERIFY_WITH_TIMEOUT(retry->isActive(), WAIT_MS);
    const QStringList told = warnings.matching(RETRY_WARNING);
    QCOMPARE(told.size(), 1);
    QVERIFY2(told.at(0).contains(NAME) && told.at(0).contains(QStringLiteral("retry after 5 seconds")),
        qPrintable(told.at(0)));
    QVERIFY(!device->videoSource()->videoAvaiable());
    // The last thing the views got is an empty picture in place of the stale frame.
    QVERIFY(!framesEmpty.isEmpty());
    QVERIFY(framesEmpty.last());
    // Frames came before it; one still being decoded when the stream ended is dropped.
    QCOMPARE(framesEmpty.count(false) > 0, serverUp);

    if (!serverUp) {
        // Still away at the retry: the outage goes on without another warning.
        QSignalSpy failures(device->grabber(), &QImageGrabber::errorHappend);
        QVERIFY(QMetaObject::invokeMethod(retry, "timeout"));
        QVERIFY(failures.wait(WAIT_MS));
        QVERIFY(retry->isActive());
        QVERIFY(server->listen(encoderAddress(0), HTTP_PORT));
    }
    server->setHandler(pacedStream(3, false));
    const int requestsBefore = server->requests.size();
    QVERIFY(QMetaObject::invokeMethod(retry, "timeout"));
    QTRY_COMPARE_WITH_TIMEOUT(server->requests.size(), requestsBefore + 1, WAIT_MS);
    QTRY_VERIFY_WITH_TIMEOUT(device->videoSource()->videoAvaiable(), WAIT_MS);
    QTRY_VERIFY_WITH_TIMEOUT(!framesEmpty.last(), WAIT_MS);
    // One warning when the outage started, one when it ended.
    QCOMPARE(warnings.messages(),
        (QStringList {
            told.at(0), QStringLiteral("Preview of device %1 (%2) is back.").arg(encoderAddress(0).toString(), NAME)}));
    disconnect(device->videoSource(), &MiniVideoSource::imageReceived, this, nullptr);
}

void TestTxDevice::decodesOnlyWhatAViewShows()
{
    auto server = startServer(0, 100);
    QVERIFY2(server, NEED_PORT_80);
    QList<QSize> sizes;
    connect(device->videoSource(), &MiniVideoSource::imageReceived, this,
        [&sizes](QImage *image) { sizes.append(image->size()); });
    QSignalSpy cut(device->grabber(), &QImageGrabber::newFPSCalculated);
    device->startFetchVideoStream();
    QTRY_VERIFY_WITH_TIMEOUT(cut.count() >= 3, WAIT_MS);
    QVERIFY(sizes.isEmpty());

    // The large video area mirrors the encoder: decoded at the size it draws.
    MiniVideoSource videoArea;
    NullSurface surface;
    videoArea.setVideoSurface(&surface);
    videoArea.setSize(QSize(8, 8));
    videoArea.bindSource(device->videoSource());
    QTRY_VERIFY_WITH_TIMEOUT(!sizes.isEmpty(), WAIT_MS);
    QCOMPARE(sizes.last(), QSize(8, 8));

    // Nobody looks any more: the stream stays connected, and nothing is decoded.
    videoArea.unbindSource();
    QTest::qWait(100);
    const int decoded = sizes.size();
    const int cutBefore = cut.count();
    QTRY_VERIFY_WITH_TIMEOUT(cut.count() >= cutBefore + 3, WAIT_MS);
    QCOMPARE(sizes.size(), decoded);
    QCOMPARE(server->requests.size(), 1);
    disconnect(device->videoSource(), &MiniVideoSource::imageReceived, this, nullptr);
}

void TestTxDevice::offlineStopsAndOnlineRestarts()
{
    auto server = startServer(0);
    QVERIFY2(server, NEED_PORT_80);
    device->startFetchVideoStream();
    QTRY_VERIFY_WITH_TIMEOUT(device->videoSource()->videoAvaiable(), WAIT_MS);

    // The encoder disappears: its stream fails first, and a retry is pending when the
    // missed discovery passes take it offline.
    LogCapture warnings(QtWarningMsg);
    server->close();
    QTRY_VERIFY_WITH_TIMEOUT(retryTimerOf(*device)->isActive(), WAIT_MS);
    for (int pass = 0; pass < DeviceBase::OFFLINE_THRESHOLD; ++pass)
        device->offlineCounterIncrease();
    QVERIFY(!device->online());
    QVERIFY(!device->grabber()->isGrabbing());
    QVERIFY(!device->videoSource()->videoAvaiable());
    QVERIFY(!retryTimerOf(*device)->isActive());

    // A view starting the stream of an offline encoder gets one attempt, not a retry loop.
    QSignalSpy failures(device->grabber(), &QImageGrabber::errorHappend);
    device->startFetchVideoStream();
    QVERIFY(failures.wait(WAIT_MS));
    QVERIFY(!retryTimerOf(*device)->isActive());
    QCOMPARE(warnings.matching(RETRY_WARNING).size(), 1);

    QVERIFY(server->listen(encoderAddress(0), HTTP_PORT));
    device->offlineCounterReset();
    QTRY_COMPARE_WITH_TIMEOUT(server->requests.size(), 2, WAIT_MS);
    QTRY_VERIFY_WITH_TIMEOUT(device->videoSource()->videoAvaiable(), WAIT_MS);
}

void TestTxDevice::demoKeepsViewsFromStartingTheStream()
{
    QSignalSpy grabberStates(device->grabber(), &QImageGrabber::stateChanged);
    device->setDemo(true);
    NullSurface surface;
    device->videoSource()->setVideoSurface(&surface);
    QCOMPARE(grabberStates.count(), 0);

    // Coming back online is not a view: it starts the stream even in demo mode.
    device->setOnline(false);
    device->setOnline(true);
    QVERIFY(!grabberStates.isEmpty());
    QCOMPARE(grabberStates.last().at(0).value<QImageGrabber::GrabbingState>(), QImageGrabber::Connecting);
}

void TestTxDevice::bindingViewsAndAddressChange()
{
    auto oldServer = startServer(0);
    auto newServer = startServer(1);
    QVERIFY2(oldServer && newServer, NEED_PORT_80);
    QSignalSpy frames(device->videoSource(), &MiniVideoSource::imageReceived);
    NullSurface first;
    show(device->videoSource(), first);
    QTRY_VERIFY_WITH_TIMEOUT(device->videoSource()->videoAvaiable(), WAIT_MS);
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 1, WAIT_MS);
    QVERIFY(oldServer->requests.value(0).startsWith("GET /stream HTTP/1.1\r\n"));

    // Views binding (and re-binding) their surface leave a running stream alone.
    NullSurface second;
    device->videoSource()->setVideoSurface(&second);
    device->startFetchVideoStream();
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 3, WAIT_MS);
    QCOMPARE(oldServer->requests.size(), 1);
    QCOMPARE(oldServer->openConnections(), 1);

    LogCapture notes(QtInfoMsg);
    device->updateAddress(encoderAddress(1));
    QCOMPARE(notes.messages(),
        QStringList {QStringLiteral("Device '%1' address changed from %2 to %3")
                         .arg(NAME, encoderAddress(0).toString(), encoderAddress(1).toString())});
    QCOMPARE(device->grabber()->source(), QStringLiteral("http://%1/stream").arg(encoderAddress(1).toString()));
    // The preview moves along to the new address by itself.
    QTRY_COMPARE_WITH_TIMEOUT(oldServer->openConnections(), 0, WAIT_MS);
    QTRY_COMPARE_WITH_TIMEOUT(newServer->requests.size(), 1, WAIT_MS);
    const int framesBefore = frames.count();
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() > framesBefore, WAIT_MS);
    QCOMPARE(oldServer->requests.size(), 1);
}

QTEST_MAIN(TestTxDevice)
#include "tst_tx_device.moc"
