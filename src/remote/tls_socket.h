#pragma once

#include <QByteArray>
#include <QTcpSocket>

#include <memory>

class TlsContext;
typedef struct ssl_st SSL;

// The server's side of one TLS connection, for code that takes a QTcpSocket: the HTTP reader,
// the WebSocket server and the line server read and write plaintext as from a plain socket.
// Records pass through OpenSSL with the listener's shared context, straight from and into the
// plain socket this one owns, and OpenSSL gives its record buffers back while the connection
// is idle: an idle client costs little more than one without TLS.
//
// A client's close_notify is told as RemoteHostClosedError, as a plain socket tells a closed
// connection; what was read before it stays readable.
class TlsSocket : public QTcpSocket
{
    Q_OBJECT

public:
    explicit TlsSocket(std::shared_ptr<TlsContext> context, QObject *parent = nullptr);
    ~TlsSocket() override;

    // Takes an accepted connection; the handshake begins with the client's first bytes.
    bool accept(qintptr descriptor);

    qint64 bytesAvailable() const override;
    qint64 bytesToWrite() const override;
    bool canReadLine() const override;
    // Plaintext read ahead at most while nobody reads it (0: no limit); the encrypted bytes
    // behind it stay with the system, so the client waits.
    void setReadBufferSize(qint64 size) override;
    // Sends close_notify after what was written, then ends the connection.
    void disconnectFromHost() override;
    void close() override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    void receive();
    // close_notify after what was written, then the connection ends.
    void shutDown();
    // False when the connection failed.
    bool encryptUnsent();
    void fail(SocketError error, const QString &why);
    void onTransportError(SocketError error);
    void onTransportDisconnected();
    qint64 unreadPlaintext() const { return plaintext.size() - plaintextRead; }

    std::shared_ptr<TlsContext> context;
    QTcpSocket *transport;
    SSL *ssl;
    QByteArray plaintext;
    qint64 plaintextRead = 0;
    // Written, and not yet encrypted: in this turn of the event loop, or before the handshake.
    QByteArray unsent;
    qint64 readLimit = 0;
    bool peerClosed = false;
};
