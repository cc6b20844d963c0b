#include "remote/tls_listener.h"

#include "remote/tls_context.h"
#include "remote/tls_socket.h"

#include <QCoreApplication>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>

QSslConfiguration TlsListener::loadTls(const QString &certificatePath, const QString &keyPath, QString *error)
{
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(certificatePath, QSsl::Pem);
    if (chain.isEmpty() || chain.first().isNull()) {
        *error = tr("No certificate can be read from %1.").arg(certificatePath);
        return QSslConfiguration();
    }
    QFile keyFile(keyPath.isEmpty() ? certificatePath : keyPath);
    const QByteArray pem = keyFile.open(QIODevice::ReadOnly) ? keyFile.readAll() : QByteArray();
    QSslKey key;
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Ec, QSsl::Rsa}) {
        key = QSslKey(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull())
            break;
    }
    if (key.isNull()) {
        *error = tr("No private key (EC or RSA, PEM, not encrypted) can be read from %1.").arg(keyFile.fileName());
        return QSslConfiguration();
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    // A key of another certificate would fail every handshake, long after the start said all was well.
    if (!TlsContext::fromConfiguration(configuration, error))
        return QSslConfiguration();
    return configuration;
}

TlsListener::TlsListener(QObject *parent) : QTcpServer(parent) {}

TlsListener::~TlsListener() = default;

bool TlsListener::setTls(const QSslConfiguration &configuration, QString *error)
{
    tls.reset();
    if (configuration.isNull())
        return true;
    tls = TlsContext::fromConfiguration(configuration, error);
    return tls != nullptr;
}

void TlsListener::incomingConnection(qintptr descriptor)
{
    if (!tls) {
        QTcpServer::incomingConnection(descriptor);
        return;
    }
    auto *socket = new TlsSocket(tls, this);
    if (!socket->accept(descriptor)) {
        delete socket;
        return;
    }
    addPendingConnection(socket);
}
