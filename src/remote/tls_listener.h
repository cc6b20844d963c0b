#pragma once

#include <QSslConfiguration>
#include <QTcpServer>

// A listening socket of the control API: connections come out as plain sockets, or, once a
// TLS configuration is set, as server-side TLS sockets whose handshake has begun.
class TlsListener : public QTcpServer
{
    Q_OBJECT

public:
    using QTcpServer::QTcpServer;

    // A null configuration serves plain connections.
    void setTls(const QSslConfiguration &configuration) { tls = configuration; }

    // The server's TLS from a PEM certificate (chain) and its PEM key, which may be in the
    // same file; null, with error, when either cannot be read.
    static QSslConfiguration loadTls(const QString &certificatePath, const QString &keyPath, QString *error);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    QSslConfiguration tls;
};
