#pragma once

#include <QHostAddress>
#include <QString>

class JsonConfig;

// Where and whether the control API listens, as "~/.zentrova/config.json" keeps it.
struct ApiSettings
{
    // The line protocol without TLS, open only when asked for.
    static constexpr quint16 DEFAULT_LINE_PORT = 7740;
    static constexpr quint16 DEFAULT_WEB_PORT = 7741;
    static constexpr quint16 DEFAULT_LINE_TLS_PORT = 7742;
    static const QString DEFAULT_LISTEN_ADDRESS;

    static const QString KEY_ENABLED;
    static const QString KEY_LINE_PORT;
    static const QString KEY_LINE_TLS_PORT;
    static const QString KEY_PLAIN_LINE;
    static const QString KEY_WEB_TLS;
    static const QString KEY_WEB_PORT;
    static const QString KEY_LISTEN_ADDRESS;
    static const QString KEY_TLS_CERT;
    static const QString KEY_TLS_KEY;
    static const QString KEY_TOKEN_SALT;
    // Only in files from before the stored keys; erased when they are made.
    static const QString KEY_TOKEN_HASH;
    static const QString KEY_TOKEN_STORED_KEY;
    static const QString KEY_TOKEN_SERVER_KEY;

    bool enabled = false;
    quint16 linePort = DEFAULT_LINE_PORT;
    quint16 lineTlsPort = DEFAULT_LINE_TLS_PORT;
    quint16 webPort = DEFAULT_WEB_PORT;
    // The line protocol's port without TLS, for control processors that cannot speak it.
    bool plainLine = false;
    // Off only on a closed network: the web port then serves HTTP and WebSocket without TLS.
    bool webTls = true;
    QString listenAddress = DEFAULT_LISTEN_ADDRESS;
    // Both empty: the controller's own certificate (OwnCertificate).
    QString tlsCertificate;
    QString tlsKey;

    // Values out of range read as their defaults. A file from before the TLS switches whose
    // API was on keeps serving as it did (the plain line port open, the web port plain unless
    // it named a certificate), so that an update does not cut off the clients it has; the
    // service says so at every start.
    static ApiSettings load(const JsonConfig &config);
    // False when the file could not be written.
    bool save(JsonConfig *config) const;
    // The listen address as an address; null for text that is none.
    QHostAddress address() const;
};
