#include "loopback_http_server.h"
#include "qimagegrabber/qimage_grabber_http.h"
#include "test_mjpeg.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

namespace {

class ProbeGrabber : public QImageGrabberHttp
{
public:
    using QImageGrabber::lastFrameTime;
    using QImageGrabber::timeoutTimer;
    using QImageGrabberHttp::newImageTimeOut;
    using QImageGrabberHttp::QImageGrabberHttp;
};

// A snapshot endpoint whose answers the test releases one by one.
struct SnapshotPeer
{
    SnapshotPeer()
    {
        server.setHandler([this](QTcpSocket *connection, const QByteArray &) { waiting << connection; });
    }
    void answer(const QByteArray &response)
    {
        QTcpSocket *connection = waiting.takeLast();
        QVERIFY(connection);
        connection->write(response);
    }
    void answerImage(const QColor &colour) { answer(LoopbackHttpServer::snapshotResponse(TestMjpeg::plain(colour))); }
    LoopbackHttpServer server;
    QList<QPointer<QTcpSocket>> waiting;
};

struct ImageLog
{
    explicit ImageLog(QImageGrabber &grabber)
    {
        QObject::connect(&grabber, &QImageGrabber::newImageGrabbed, &grabber, [this](QImage *image) {
            images << image->copy();
            arrivals << QTime::currentTime();
        });
    }
    int count() const { return images.size(); }
    QList<QImage> images;
    QList<QTime> arrivals;
};

} // namespace

class TestQImageGrabberHttp : public QObject
{
    Q_OBJECT

private slots:
    void pacesRequestsToTheRequestedRate_data();
    void pacesRequestsToTheRequestedRate();
    void startTwice();
    void stopEndsTheLoop();
    void urlHandling();
    void reportsNetworkErrors();
    void emptyAndUndecodableAnswers();
    void dropsSnapshotsPastTheSizeCap();
};

void TestQImageGrabberHttp::pacesRequestsToTheRequestedRate_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<int>("answerAfterMs");
    QTest::addColumn<int>("requestInterval"); // 0: the next request goes out at once

    QTest::newRow("4 fps, answered after 100 ms") << 4.0 << 100 << 250;
    QTest::newRow("4 fps, answered after 300 ms") << 4.0 << 300 << 0;
    QTest::newRow("no rate requested") << 0.0 << 10 << 0;
    QTest::newRow("negative rate") << -5.0 << 10 << 0;
}

void TestQImageGrabberHttp::pacesRequestsToTheRequestedRate()
{
    QFETCH(double, fps);
    QFETCH(int, answerAfterMs);
    QFETCH(int, requestInterval);

    SnapshotPeer peer;
    ProbeGrabber grabber(QUrl(peer.server.url(QStringLiteral("/?action=snapshot"))));
    grabber.setRequestedFps(fps);
    QSignalSpy states(&grabber, &QImageGrabber::stateChanged);
    QSignalSpy rates(&grabber, &QImageGrabber::newFPSCalculated);
    ImageLog images(grabber);

    QVERIFY(grabber.startGrabbing());
    QCOMPARE(grabber.state(), QImageGrabber::Connecting);
    QCOMPARE(states.count(), 0);
    QTRY_COMPARE(peer.server.requests.size(), 1);
    QVERIFY(peer.server.requests.at(0).startsWith("GET /?action=snapshot HTTP/1.1\r\n"));
    QVERIFY(peer.server.requests.at(0).contains("\r\nUser-Agent: QImageGrabber\r\n"));

    // The pacing counts from the moment the request went out.
    const QTime requestTime = QTime::currentTime().addMSecs(-answerAfterMs);
    grabber.lastFrameTime = requestTime;
    peer.answerImage(Qt::red);
    QTRY_COMPARE(images.count(), 1);
    const int elapsed = requestTime.msecsTo(images.arrivals.at(0));
    QVERIFY(TestMjpeg::looksLike(images.images.at(0), Qt::red));
    QCOMPARE(states.count(), 1);
    QCOMPARE(states.at(0).at(0).value<QImageGrabber::GrabbingState>(), QImageGrabber::Grabbing);
    QCOMPARE(rates.count(), 1);
    QVERIFY(rates.at(0).at(0).toDouble() <= 1000.0 / answerAfterMs);

    if (requestInterval == 0) {
        QVERIFY(!grabber.timeoutTimer.isActive());
        QTRY_COMPARE(peer.server.requests.size(), 2);
        return;
    }
    QVERIFY(grabber.timeoutTimer.isActive());
    QVERIFY(grabber.timeoutTimer.isSingleShot());
    const int delay = grabber.timeoutTimer.interval();
    QVERIFY2(delay <= requestInterval - elapsed && delay >= requestInterval - elapsed - 2,
        qPrintable(QStringLiteral("%1 ms after %2 ms").arg(delay).arg(elapsed)));
    grabber.timeoutTimer.stop();
    QCOMPARE(peer.server.requests.size(), 1);
    grabber.newImageTimeOut();
    QTRY_COMPARE(peer.server.requests.size(), 2);
}

void TestQImageGrabberHttp::startTwice()
{
    SnapshotPeer peer;
    QImageGrabberHttp grabber(QUrl(peer.server.url()));
    QVERIFY(grabber.startGrabbing());
    QTRY_COMPARE(peer.server.requests.size(), 1);
    // Still connecting: a second start sends another request and drops the first one.
    QVERIFY(grabber.startGrabbing());
    QTRY_COMPARE(peer.server.requests.size(), 2);
    QTRY_COMPARE(peer.server.disconnections, 1);

    grabber.setRequestedFps(1);
    ImageLog images(grabber);
    peer.answerImage(Qt::green);
    QTRY_COMPARE(images.count(), 1);
    QCOMPARE(grabber.state(), QImageGrabber::Grabbing);
    QVERIFY(!grabber.startGrabbing());
}

void TestQImageGrabberHttp::stopEndsTheLoop()
{
    SnapshotPeer peer;
    ProbeGrabber grabber(QUrl(peer.server.url()));
    QSignalSpy states(&grabber, &QImageGrabber::stateChanged);
    // Nothing requested yet: nothing to stop.
    grabber.stopGrabbing();
    QCOMPARE(states.count(), 0);

    grabber.setRequestedFps(1);
    grabber.startGrabbing();
    QTRY_COMPARE(peer.server.requests.size(), 1);
    peer.answerImage(Qt::blue);
    QTRY_VERIFY(grabber.timeoutTimer.isActive());

    QSignalSpy errors(&grabber, &QImageGrabber::errorHappend);
    grabber.stopGrabbing();
    QCOMPARE(grabber.state(), QImageGrabber::Stopped);
    QCOMPARE(states.count(), 2);
    QCOMPARE(states.last().at(0).value<QImageGrabber::GrabbingState>(), QImageGrabber::Stopped);
    QVERIFY(!grabber.timeoutTimer.isActive());
    grabber.newImageTimeOut();
    QTest::qWait(50);
    QCOMPARE(peer.server.requests.size(), 1);
    QCOMPARE(errors.count(), 0);

    // Stopping a request under way closes it without an error; its answer is not used.
    ImageLog images(grabber);
    QVERIFY(grabber.startGrabbing());
    QTRY_COMPARE(peer.server.requests.size(), 2);
    grabber.stopGrabbing();
    QCOMPARE(grabber.state(), QImageGrabber::Stopped);
    peer.answerImage(Qt::red);
    QTest::qWait(100);
    QCOMPARE(images.count(), 0);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(grabber.state(), QImageGrabber::Stopped);
}

void TestQImageGrabberHttp::urlHandling()
{
    QImageGrabberHttp unset;
    QCOMPARE(unset.errorString(), QStringLiteral("Invalid URL: "));
    QVERIFY(!unset.startGrabbing());

    SnapshotPeer first;
    SnapshotPeer second;
    QImageGrabberHttp grabber(QUrl(first.server.url()));
    QSignalSpy errors(&grabber, &QImageGrabber::errorHappend);
    QSignalSpy states(&grabber, &QImageGrabber::stateChanged);
    grabber.setRequestedFps(1);
    grabber.startGrabbing();
    QTRY_COMPARE(first.server.requests.size(), 1);
    first.answerImage(Qt::red);
    QTRY_COMPARE(grabber.state(), QImageGrabber::Grabbing);

    // A new URL while grabbing: restarted there.
    grabber.setSource(second.server.url());
    QCOMPARE(grabber.source(), second.server.url());
    QTRY_COMPARE(second.server.requests.size(), 1);
    QCOMPARE(grabber.state(), QImageGrabber::Connecting);
    second.answerImage(Qt::green);
    QTRY_COMPARE(grabber.state(), QImageGrabber::Grabbing);

    // An invalid one is reported and stops the grabber.
    states.clear();
    grabber.setSource(QStringLiteral("http://[::1"));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(grabber.errorString(), QStringLiteral("Invalid URL: "));
    QCOMPARE(grabber.state(), QImageGrabber::Stopped);
    QCOMPARE(states.count(), 1);
    QVERIFY(!grabber.startGrabbing());
}

void TestQImageGrabberHttp::reportsNetworkErrors()
{
    QString url;
    {
        LoopbackHttpServer closed;
        url = closed.url();
    }
    QImageGrabberHttp grabber {QUrl(url)};
    QSignalSpy errors(&grabber, &QImageGrabber::errorHappend);
    QSignalSpy states(&grabber, &QImageGrabber::stateChanged);
    ImageLog images(grabber);
    QVERIFY(grabber.startGrabbing());
    QTRY_COMPARE(errors.count(), 1);
    QCOMPARE(grabber.state(), QImageGrabber::Error);
    QVERIFY(grabber.errorString().contains(QStringLiteral("refused"), Qt::CaseInsensitive));
    QCOMPARE(states.count(), 1);
    QTest::qWait(50);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(images.count(), 0);
}

void TestQImageGrabberHttp::emptyAndUndecodableAnswers()
{
    SnapshotPeer peer;
    QImageGrabberHttp grabber(QUrl(peer.server.url()));
    QSignalSpy states(&grabber, &QImageGrabber::stateChanged);
    ImageLog images(grabber);
    grabber.startGrabbing();
    QTRY_COMPARE(peer.server.requests.size(), 1);
    peer.answerImage(Qt::red);
    QTRY_COMPARE(peer.server.requests.size(), 2);

    // Not an image: handed out all the same, still showing the last picture.
    peer.answer(LoopbackHttpServer::snapshotResponse("no picture here"));
    QTRY_COMPARE(images.count(), 2);
    QVERIFY(TestMjpeg::looksLike(images.images.at(1), Qt::red));
    QTRY_COMPARE(peer.server.requests.size(), 3);

    // No body: the loop ends, and the grabber says so.
    peer.answer(LoopbackHttpServer::snapshotResponse(QByteArray()));
    QTRY_COMPARE(grabber.state(), QImageGrabber::Stopped);
    QCOMPARE(states.count(), 2);
    QTest::qWait(50);
    QCOMPARE(peer.server.requests.size(), 3);
    QCOMPARE(images.count(), 2);
    QVERIFY(grabber.startGrabbing());
}

void TestQImageGrabberHttp::dropsSnapshotsPastTheSizeCap()
{
    SnapshotPeer peer;
    QImageGrabberHttp grabber(QUrl(peer.server.url()));
    QSignalSpy errors(&grabber, &QImageGrabber::errorHappend);
    ImageLog images(grabber);
    grabber.startGrabbing();
    QTRY_COMPARE(peer.server.requests.size(), 1);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("dropped: The snapshot is larger than 33554432 bytes"));
    // A gigabyte announced; the grabber gives up past the cap and ends the download.
    peer.answer("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: 1073741824\r\n\r\n"
        + QByteArray(int(QImageGrabber::MAX_IMAGE_BYTES) + 8 * 1024 * 1024, 'x'));
    QTRY_COMPARE(errors.count(), 1);
    QCOMPARE(grabber.state(), QImageGrabber::Error);
    QCOMPARE(grabber.errorString(), QStringLiteral("The snapshot is larger than 33554432 bytes"));
    QTRY_COMPARE(peer.server.disconnections, 1);
    QCOMPARE(images.count(), 0);
    QCOMPARE(peer.server.requests.size(), 1);
}

QTEST_GUILESS_MAIN(TestQImageGrabberHttp)
#include "tst_qimage_grabber_http.moc"
