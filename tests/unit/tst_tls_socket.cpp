// The server's TLS sockets against Qt's own TLS client on loopback: what the HTTP reader, the
// WebSocket server and the line server rely on when they treat one as a plain socket.
#include "remote/own_certificate.h"
#include "remote/tls_listener.h"

#include <QSignalSpy>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QtTest>

class TestTlsSocket : public QObject
{
    Q_OBJECT

    QTemporaryDir folder;
    TlsListener listener;
    QSslSocket client;
    QTcpSocket *server = nullptr;

    static QSslConfiguration ownTls(const QString &folder)
    {
        QString error;
        OwnCertificate own(folder);
        return own.ensure(&error) ? TlsListener::loadTls(own.certificatePath(), own.keyPath(), &error)
                                  : QSslConfiguration();
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(listener.setTls(ownTls(folder.path()), &error), qPrintable(error));
        QVERIFY(listener.listen(QHostAddress::LocalHost));
    }

    void init()
    {
        client.abort();
        client.setPeerVerifyMode(QSslSocket::VerifyNone);
        client.connectToHostEncrypted(QStringLiteral("127.0.0.1"), listener.serverPort());
        QTRY_VERIFY(client.isEncrypted());
        QTRY_VERIFY(listener.hasPendingConnections());
        server = listener.nextPendingConnection();
    }

    void cleanup()
    {
        delete server;
        server = nullptr;
    }

    void plaintextBothWaysThenCloseNotify()
    {
        // A line that is only its end is a line, also as the first byte that arrived.
        client.write("\n");
        QTRY_VERIFY(server->canReadLine());
        QCOMPARE(server->readLine(), QByteArray("\n"));
        client.write("GET / HTTP/1.1\r\n\r\n");
        QTRY_VERIFY(server->canReadLine());
        QCOMPARE(server->readLine(), QByteArray("GET / HTTP/1.1\r\n"));
        server->write("first ");
        server->write("second");
        QTRY_COMPARE(client.bytesAvailable(), qint64(12));
        QCOMPARE(client.readAll(), QByteArray("first second"));

        // What came before the client's close_notify stays readable after it is told.
        QSignalSpy errors(server, &QAbstractSocket::errorOccurred);
        client.write("last");
        client.disconnectFromHost();
        QTRY_VERIFY(!errors.isEmpty());
        QCOMPARE(errors.first().first().value<QAbstractSocket::SocketError>(), QAbstractSocket::RemoteHostClosedError);
        QCOMPARE(server->readAll(), QByteArray("\r\nlast"));
    }

    void closeSendsWhatWasWrittenAbortDoesNotWait()
    {
        QByteArray received;
        connect(&client, &QIODevice::readyRead, this, [&] { received += client.readAll(); });
        // The server's handshake is through once a client's bytes can be read.
        client.write("?unread");
        QTRY_COMPARE(server->bytesAvailable(), qint64(7));
        server->read(1);
        server->write("answer");
        server->close();
        // Qt's WebSocket reads while bytes are available: any left after a close spin it forever.
        QCOMPARE(server->bytesAvailable(), qint64(0));
        QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(received, QByteArray("answer"));

        // Refused the moment it connects, before its handshake: the refusal still arrives.
        delete server;
        received.clear();
        client.connectToHost(QStringLiteral("127.0.0.1"), listener.serverPort());
        QTRY_VERIFY(listener.hasPendingConnections());
        server = listener.nextPendingConnection();
        server->write("busy");
        server->disconnectFromHost();
        client.startClientEncryption();
        QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(received, QByteArray("busy"));
        client.disconnect(this);

        // A client that does not read must not hold its connection open after an abort: more
        // than the system's buffers take is still waiting when it comes.
        cleanup();
        init();
        server->write(QByteArray(32 * 1024 * 1024, 'x'));
        server->abort();
        QCOMPARE(server->findChild<QTcpSocket *>()->state(), QAbstractSocket::UnconnectedState);
    }

    void readLimitHoldsBackTheRestUntilRead()
    {
        const qint64 limit = 1024;
        const QByteArray sent(256 * 1024, 'b');
        server->setReadBufferSize(limit);
        client.write(sent);
        QTRY_VERIFY(server->bytesAvailable() > 0);
        // At most one record past the limit is decrypted ahead of the reader.
        QTest::qWait(50);
        QVERIFY(server->bytesAvailable() <= limit + 16 * 1024);
        QSignalSpy more(server, &QIODevice::readyRead);
        QByteArray received;
        // A byte at a time, as a line is read from a device without a buffer of its own.
        while ((received += server->read(1)).size() < sent.size())
            QVERIFY(server->bytesAvailable() > 0 || more.wait(5000));
        QCOMPARE(received, sent);
    }

    void keyOfAnotherCertificateRefused()
    {
        QTemporaryDir other;
        QVERIFY(!ownTls(other.path()).isNull());
        QString error;
        const QSslConfiguration mixed = TlsListener::loadTls(
            other.path() + "/" + OwnCertificate::CERTIFICATE_FILE, folder.path() + "/" + OwnCertificate::KEY_FILE, &error);
        QVERIFY(mixed.isNull());
        QVERIFY2(error.contains("does not belong"), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestTlsSocket)
#include "tst_tls_socket.moc"
