#pragma once

#include <QCoreApplication>
#include <QSslConfiguration>
#include <QString>

#include <memory>

typedef struct ssl_ctx_st SSL_CTX;

// A listener's TLS settings as one OpenSSL context that all its connections share. QSslSocket
// makes a context of its own for every server-side connection, which costs each idle client
// tens of KiB; one shared context also lets a client resume its session on a new connection.
class TlsContext
{
    Q_DECLARE_TR_FUNCTIONS(TlsContext)

public:
    // TLS 1.2 and 1.3 with forward-secret ciphers, the certificate chain and key of
    // configuration (see TlsListener::loadTls). Null, with error, when they cannot be used.
    static std::shared_ptr<TlsContext> fromConfiguration(const QSslConfiguration &configuration, QString *error);
    ~TlsContext();
    TlsContext(const TlsContext &) = delete;
    TlsContext &operator=(const TlsContext &) = delete;

    SSL_CTX *handle() const { return context; }

private:
    explicit TlsContext(SSL_CTX *context) : context(context) {}

    SSL_CTX *context;
};
