// The snapshot grabber against real HTTP servers on loopback: busybox httpd, Python's
// http.server, and a server that misbehaves on purpose (a body cut short with and without a
// length, a body that stops coming).
#include "test_mjpeg.h"
#include "video/qimage_grabber_http.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Answers by path: /cut-with-length and /cut send half the image and close, with and without
// a Content-Length; /stall sends half and then nothing, and says so on its output.
const char MisbehavingServer[] = R"(
import socket, sys
image = open(sys.argv[2], 'rb').read()
half = image[:len(image) // 2]
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(('127.0.0.1', int(sys.argv[1])))
server.listen(8)
held = []
while True:
    connection, _ = server.accept()
    fields = connection.recv(65536).split(b' ')
    path = fields[1] if len(fields) > 1 else b''
    head = b'HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n'
    if path == b'/cut-with-length':
        connection.sendall(head + b'Content-Length: %d\r\nConnection: close\r\n\r\n' % len(image) + half)
    elif path == b'/cut':
        connection.sendall(b'HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n\r\n' + half)
    elif path == b'/stall':
        connection.sendall(head + b'Content-Length: %d\r\n\r\n' % len(image) + half)
        print('stalled', flush=True)
        held.append(connection)
        continue
    connection.close()
)";

enum class Server { Busybox, Python, Misbehaving };

quint16 freeTcpPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

class SnapshotProbe : public QImageGrabberHttp
{
public:
    using QImageGrabberHttp::onStalled;
    using QImageGrabberHttp::stallTimer;
};

} // namespace

Q_DECLARE_METATYPE(Server)

class TestQImageGrabberHttp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QFile image(dir.filePath("snap.jpg"));
        QVERIFY(image.open(QIODevice::WriteOnly));
        image.write(TestMjpeg::plain(Qt::darkCyan, QSize(320, 240)));
        QFile text(dir.filePath("note.txt"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("This is no picture.\n");
    }

    void answers_data()
    {
        QTest::addColumn<Server>("server");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("whole"); // else: one failure, and no image
        QTest::newRow("busybox httpd, an image") << Server::Busybox << "/snap.jpg" << true;
        QTest::newRow("busybox httpd, not found") << Server::Busybox << "/missing.jpg" << false;
        QTest::newRow("http.server, an image") << Server::Python << "/snap.jpg" << true;
        QTest::newRow("http.server, a text") << Server::Python << "/note.txt" << false;
        QTest::newRow("cut short, with a length") << Server::Misbehaving << "/cut-with-length" << false;
        QTest::newRow("cut short, without a length") << Server::Misbehaving << "/cut" << false;
        QTest::newRow("stalled") << Server::Misbehaving << "/stall" << false;
    }

    void answers()
    {
        QFETCH(Server, server);
        QFETCH(QString, path);
        QFETCH(bool, whole);

        const quint16 port = freeTcpPort();
        QVERIFY(port != 0);
        QProcess peer;
        peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList arguments {"60"};
        if (server == Server::Busybox)
            arguments << "busybox"
                      << "httpd"
                      << "-f"
                      << "-p" << QStringLiteral("127.0.0.1:%1").arg(port) << "-h" << dir.path();
        else if (server == Server::Python)
            arguments << "python3"
                      << "-m"
                      << "http.server" << QString::number(port) << "--bind"
                      << "127.0.0.1"
                      << "--directory" << dir.path();
        else
            arguments << "python3"
                      << "-c" << MisbehavingServer << QString::number(port) << dir.filePath("snap.jpg");
        peer.start("timeout", arguments);
        QVERIFY(peer.waitForStarted());
        auto stopPeer = qScopeGuard([&peer] {
            // timeout hands the signal on to the server, so that nothing of it outlives the test.
            peer.terminate();
            if (!peer.waitForFinished(5000))
                peer.kill();
            peer.waitForFinished();
        });
        const auto listening = [port] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            return probe.waitForConnected(200);
        };
        QVERIFY2(QTest::qWaitFor(listening, 10000), "the server does not listen");

        SnapshotProbe grabber;
        grabber.setSource(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path));
        QList<QImage> images;
        QList<QImageGrabber::GrabbingState> stateAtError;
        connect(&grabber, &QImageGrabber::newImageGrabbed, this, [&](QImage *image) { images << image->copy(); });
        connect(&grabber, &QImageGrabber::errorHappend, this, [&] { stateAtError << grabber.state(); });
        QSignalSpy rates(&grabber, &QImageGrabber::newFPSCalculated);
        QVERIFY(grabber.startGrabbing());

        if (whole) {
            QTRY_VERIFY_WITH_TIMEOUT(images.size() >= 5, 10000);
            grabber.stopGrabbing();
            QCOMPARE(stateAtError.size(), 0);
            for (const QImage &image : qAsConst(images))
                QVERIFY(TestMjpeg::looksLike(image, Qt::darkCyan) && image.size() == QSize(320, 240));
            QVERIFY(!rates.isEmpty());
            return;
        }
        if (path == "/stall") {
            QVERIFY(peer.waitForReadyRead(10000));
            QCOMPARE(peer.readLine().trimmed(), QByteArray("stalled"));
            // Half a body and nothing more: the grabber waits for the stall timer, which the test
            // drives instead of waiting ten seconds for it.
            QTest::qWait(200);
            QCOMPARE(grabber.state(), QImageGrabber::Connecting);
            QVERIFY(grabber.stallTimer.isActive() && grabber.stallTimer.isSingleShot());
            QCOMPARE(grabber.stallTimer.interval(), QImageGrabberHttp::STALL_TIMEOUT_MS);
            grabber.onStalled();
        }
        QTRY_COMPARE_WITH_TIMEOUT(stateAtError.size(), 1, 10000);
        // Whatever the network still reports about the failed request is not a second failure.
        QTest::qWait(300);
        QCOMPARE(stateAtError, QList<QImageGrabber::GrabbingState> {QImageGrabber::Error});
        QCOMPARE(grabber.state(), QImageGrabber::Error);
        QCOMPARE(images.size(), 0);
        QVERIFY(!grabber.stallTimer.isActive());
        qInfo().noquote() << "reported:" << grabber.errorString();
    }

private:
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestQImageGrabberHttp)
#include "tst_qimage_grabber_http.moc"
