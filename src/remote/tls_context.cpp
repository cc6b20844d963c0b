#include "remote/tls_context.h"

#include <QSslCertificate>
#include <QSslKey>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

namespace {

// TLS 1.2 suites with forward secrecy only; TLS 1.3's own suites are all strong.
constexpr const char *TLS12_CIPHERS = "ECDHE+AESGCM:ECDHE+CHACHA20:ECDHE+AES:!aNULL:!eNULL";

template<typename T>
T *fromPem(const QByteArray &pem, T *(*reader)(BIO *, T **, pem_password_cb *, void *))
{
    BIO *bio = BIO_new_mem_buf(pem.constData(), int(pem.size()));
    T *value = bio ? reader(bio, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(bio);
    return value;
}

} // namespace

std::shared_ptr<TlsContext> TlsContext::fromConfiguration(const QSslConfiguration &configuration, QString *error)
{
    ERR_clear_error();
    std::shared_ptr<TlsContext> tls(new TlsContext(SSL_CTX_new(TLS_server_method())));
    SSL_CTX *context = tls->context;
    if (!context || !SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION)
        || !SSL_CTX_set_cipher_list(context, TLS12_CIPHERS)) {
        *error = tr("OpenSSL cannot make a TLS server context.");
        return nullptr;
    }
    // Record buffers are given back while a connection is idle: most clients are, most of the time.
    SSL_CTX_set_mode(context, SSL_MODE_RELEASE_BUFFERS);
    SSL_CTX_set_options(context, SSL_OP_CIPHER_SERVER_PREFERENCE | SSL_OP_NO_RENEGOTIATION);
    // Sessions resume from tickets the client keeps, so that no client grows the server's memory.
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);

    const QList<QSslCertificate> chain = configuration.localCertificateChain();
    for (int i = 0; i < chain.size(); ++i) {
        X509 *certificate = fromPem(chain.at(i).toPem(), PEM_read_bio_X509);
        const bool used = certificate
            && (i == 0 ? SSL_CTX_use_certificate(context, certificate) : SSL_CTX_add1_chain_cert(context, certificate));
        X509_free(certificate);
        if (!used) {
            *error = tr("The TLS certificate cannot be used.");
            return nullptr;
        }
    }
    EVP_PKEY *key = fromPem(configuration.privateKey().toPem(), PEM_read_bio_PrivateKey);
    const bool keyUsed = key && SSL_CTX_use_PrivateKey(context, key);
    EVP_PKEY_free(key);
    if (chain.isEmpty() || !keyUsed || !SSL_CTX_check_private_key(context)) {
        *error = tr("The TLS private key does not belong to the certificate.");
        return nullptr;
    }
    return tls;
}

TlsContext::~TlsContext()
{
    SSL_CTX_free(context);
}
