#include "remote/tls_listener.h"

#include <QCoreApplication>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>

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
    // TLS 1.2 and 1.3 only; clients are not asked for certificates: the token signs them in.
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return configuration;
}

void TlsListener::incomingConnection(qintptr descriptor)
{
    if (tls.isNull()) {
        QTcpServer::incomingConnection(descriptor);
        return;
    }
    auto *socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    socket->setSslConfiguration(tls);
    socket->startServerEncryption();
    addPendingConnection(socket);
}
