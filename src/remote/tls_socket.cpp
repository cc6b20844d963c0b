#include "remote/tls_socket.h"

#include "remote/tls_context.h"

#include <QHostAddress>
#include <QTimer>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <climits>

namespace {

// One TLS record, the most a single read can give.
constexpr int RECORD_BYTES = 16 * 1024;
// Encrypted bytes taken from the system ahead of the reader.
constexpr qint64 TRANSPORT_READ_BYTES = 2 * RECORD_BYTES;
// How long a connection closed during its handshake waits to deliver what was written.
constexpr int HANDSHAKE_CLOSE_MS = 10000;

// Records go straight between OpenSSL and the plain socket's own buffers, with no copy in
// between that would hold memory of its own.
BIO_METHOD *socketMethod()
{
    static BIO_METHOD *const method = [] {
        BIO_METHOD *m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "QTcpSocket");
        BIO_meth_set_write(m, [](BIO *bio, const char *data, int size) {
            return int(static_cast<QTcpSocket *>(BIO_get_data(bio))->write(data, size));
        });
        BIO_meth_set_read(m, [](BIO *bio, char *data, int size) {
            BIO_clear_retry_flags(bio);
            const qint64 got = static_cast<QTcpSocket *>(BIO_get_data(bio))->read(data, size);
            if (got > 0)
                return int(got);
            BIO_set_retry_read(bio);
            return -1;
        });
        // The plain socket sends from its buffer on the event loop: nothing to flush here.
        BIO_meth_set_ctrl(m, [](BIO *, int command, long, void *) -> long { return command == BIO_CTRL_FLUSH; });
        BIO_meth_set_create(m, [](BIO *bio) {
            BIO_set_init(bio, 1);
            return 1;
        });
        return m;
    }();
    return method;
}

} // namespace

TlsSocket::TlsSocket(std::shared_ptr<TlsContext> tlsContext, QObject *parent)
    : QTcpSocket(parent)
    , context(std::move(tlsContext))
    , transport(new QTcpSocket(this))
    , ssl(SSL_new(context->handle()))
{
    BIO *bio = BIO_new(socketMethod());
    BIO_set_data(bio, transport);
    SSL_set_bio(ssl, bio, bio);
    SSL_set_accept_state(ssl);
    connect(transport, &QTcpSocket::readyRead, this, &TlsSocket::receive);
    // Counted in encrypted bytes: those who listen take it as "the client is reading".
    connect(transport, &QTcpSocket::bytesWritten, this, &TlsSocket::bytesWritten);
    connect(transport, &QTcpSocket::errorOccurred, this, &TlsSocket::onTransportError);
    connect(transport, &QTcpSocket::disconnected, this, &TlsSocket::onTransportDisconnected);
}

TlsSocket::~TlsSocket()
{
    transport->disconnect(this);
    setSocketState(UnconnectedState);
    SSL_free(ssl);
}

bool TlsSocket::accept(qintptr descriptor)
{
    if (!transport->setSocketDescriptor(descriptor))
        return false;
    transport->setReadBufferSize(TRANSPORT_READ_BYTES);
    setPeerAddress(transport->peerAddress());
    setPeerPort(transport->peerPort());
    setLocalAddress(transport->localAddress());
    setLocalPort(transport->localPort());
    setSocketState(ConnectedState);
    // Unbuffered: plaintext waits here, not in a second buffer of QIODevice's.
    setOpenMode(ReadWrite | Unbuffered);
    return true;
}

qint64 TlsSocket::bytesAvailable() const
{
    return QIODevice::bytesAvailable() + unreadPlaintext();
}

qint64 TlsSocket::bytesToWrite() const
{
    return transport->bytesToWrite() + unsent.size();
}

bool TlsSocket::canReadLine() const
{
    return QIODevice::canReadLine() || plaintext.indexOf('\n', int(plaintextRead)) >= 0;
}

void TlsSocket::setReadBufferSize(qint64 size)
{
    const bool wider = size == 0 || (readLimit != 0 && size > readLimit);
    readLimit = size;
    if (wider)
        QMetaObject::invokeMethod(this, &TlsSocket::receive, Qt::QueuedConnection);
}

void TlsSocket::receive()
{
    const bool handshaking = !SSL_is_init_finished(ssl);
    if (state() != ConnectedState && !(state() == ClosingState && handshaking))
        return;
    ERR_clear_error();
    if (handshaking) {
        const int done = SSL_do_handshake(ssl);
        if (done != 1) {
            if (SSL_get_error(ssl, done) != SSL_ERROR_WANT_READ)
                fail(SslHandshakeFailedError, QStringLiteral("The TLS handshake failed."));
            return;
        }
        if (state() == ClosingState)
            return shutDown();
        if (!encryptUnsent())
            return;
    }
    // What was read goes before more is added, so that a reader who never quite catches up
    // does not keep all it ever read.
    plaintext.remove(0, int(plaintextRead));
    plaintextRead = 0;
    bool closed = false;
    const qint64 before = unreadPlaintext();
    char record[RECORD_BYTES];
    while (!peerClosed && (readLimit == 0 || unreadPlaintext() < readLimit)) {
        const int got = SSL_read(ssl, record, RECORD_BYTES);
        if (got > 0) {
            plaintext.append(record, got);
            continue;
        }
        const int why = SSL_get_error(ssl, got);
        if (why == SSL_ERROR_ZERO_RETURN) {
            peerClosed = closed = true;
            break;
        }
        if (why != SSL_ERROR_WANT_READ)
            return fail(SslInternalError, QStringLiteral("A TLS record cannot be read."));
        break;
    }
    if (unreadPlaintext() > before)
        emit readyRead();
    if (closed) {
        setSocketError(RemoteHostClosedError);
        setErrorString(QStringLiteral("The client closed the TLS connection."));
        emit errorOccurred(RemoteHostClosedError);
    }
}

qint64 TlsSocket::readData(char *data, qint64 maxSize)
{
    const qint64 taken = qMin(maxSize, unreadPlaintext());
    // QIODevice may ask for nothing, into nothing.
    if (data && taken > 0)
        memcpy(data, plaintext.constData() + plaintextRead, size_t(taken));
    plaintextRead += taken;
    const bool wasFull = readLimit != 0 && unreadPlaintext() + taken >= readLimit;
    if (plaintextRead == plaintext.size()) {
        // Given back, not kept: an idle connection holds no plaintext.
        plaintext = QByteArray();
        plaintextRead = 0;
    }
    if (wasFull && taken > 0)
        QMetaObject::invokeMethod(this, &TlsSocket::receive, Qt::QueuedConnection);
    return taken == 0 && state() == UnconnectedState ? -1 : taken;
}

qint64 TlsSocket::writeData(const char *data, qint64 size)
{
    if (state() != ConnectedState)
        return -1;
    // What is written in one turn of the event loop (an answer and the events behind it)
    // goes out in as few records as it fits, as a client reading record by record expects.
    if (unsent.isEmpty())
        QMetaObject::invokeMethod(this, &TlsSocket::encryptUnsent, Qt::QueuedConnection);
    unsent.append(data, int(size));
    return size;
}

bool TlsSocket::encryptUnsent()
{
    if (unsent.isEmpty() || !SSL_is_init_finished(ssl) || state() == UnconnectedState)
        return true;
    ERR_clear_error();
    const char *data = unsent.constData();
    qint64 size = unsent.size();
    while (size > 0) {
        const int written = SSL_write(ssl, data, int(qMin(size, qint64(INT_MAX))));
        if (written <= 0) {
            unsent = QByteArray();
            fail(SslInternalError, QStringLiteral("A TLS record cannot be written."));
            return false;
        }
        data += written;
        size -= written;
    }
    unsent = QByteArray();
    return true;
}

void TlsSocket::disconnectFromHost()
{
    if (state() != ConnectedState)
        return;
    setSocketState(ClosingState);
    emit stateChanged(ClosingState);
    if (SSL_is_init_finished(ssl) || unsent.isEmpty())
        return shutDown();
    // What was written (a refusal sent the moment a client connects) goes out once the
    // handshake is through, if it is through in time.
    QTimer::singleShot(HANDSHAKE_CLOSE_MS, transport, &QTcpSocket::abort);
}

void TlsSocket::shutDown()
{
    if (SSL_is_init_finished(ssl)) {
        if (!encryptUnsent())
            return;
        ERR_clear_error();
        SSL_shutdown(ssl);
    }
    // Out now: a controller that is stopping closes its clients and has no event loop after.
    transport->flush();
    transport->disconnectFromHost();
}

void TlsSocket::close()
{
    // QAbstractSocket::abort() closes the write channels before it calls close(): that is
    // how an abort, which must not wait for a client that does not read, is told apart.
    const bool aborting = writeChannelCount() == 0;
    if (aborting)
        transport->abort();
    else
        disconnectFromHost();
    // Closed, nothing is left to read: a reader that loops while bytes are available ends.
    plaintext = QByteArray();
    plaintextRead = 0;
    QIODevice::close();
}

void TlsSocket::fail(SocketError error, const QString &why)
{
    setSocketError(error);
    setErrorString(why);
    emit errorOccurred(error);
    transport->abort();
}

void TlsSocket::onTransportError(SocketError error)
{
    setSocketError(error);
    setErrorString(transport->errorString());
    emit errorOccurred(error);
}

void TlsSocket::onTransportDisconnected()
{
    if (state() == UnconnectedState)
        return;
    setSocketState(UnconnectedState);
    emit stateChanged(UnconnectedState);
    emit readChannelFinished();
    emit disconnected();
}
