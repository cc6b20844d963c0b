#pragma once

#include <QSslConfiguration>
#include <QTcpServer>

#include <memory>

class TlsContext;

// A listening socket of the control API: connections come out as plain sockets, or, once a
// TLS configuration is set, as TlsSocket, all sharing one TLS context.
class TlsListener : public QTcpServer
{
    Q_OBJECT

public:
    explicit TlsListener(QObject *parent = nullptr);
    ~TlsListener() override;

    // A null configuration serves plain connections. False, with error, when the
    // configuration's certificate and key cannot serve TLS.
    bool setTls(const QSslConfiguration &configuration, QString *error);

    // The server's TLS from a PEM certificate (chain) and its PEM key, which may be in the
    // same file; null, with error, when either cannot be read.
    static QSslConfiguration loadTls(const QString &certificatePath, const QString &keyPath, QString *error);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    std::shared_ptr<TlsContext> tls;
};
