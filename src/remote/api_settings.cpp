#include "remote/api_settings.h"

#include "base/json_config.h"

const QString ApiSettings::DEFAULT_LISTEN_ADDRESS = QStringLiteral("0.0.0.0");
const QString ApiSettings::KEY_ENABLED = QStringLiteral("api/enabled");
const QString ApiSettings::KEY_LINE_PORT = QStringLiteral("api/line_port");
const QString ApiSettings::KEY_LINE_TLS_PORT = QStringLiteral("api/line_tls_port");
const QString ApiSettings::KEY_PLAIN_LINE = QStringLiteral("api/plain_line");
const QString ApiSettings::KEY_WEB_TLS = QStringLiteral("api/web_tls");
const QString ApiSettings::KEY_WEB_PORT = QStringLiteral("api/web_port");
const QString ApiSettings::KEY_LISTEN_ADDRESS = QStringLiteral("api/listen_address");
const QString ApiSettings::KEY_TLS_CERT = QStringLiteral("api/tls_cert");
const QString ApiSettings::KEY_TLS_KEY = QStringLiteral("api/tls_key");
const QString ApiSettings::KEY_TOKEN_SALT = QStringLiteral("api/token_salt");
const QString ApiSettings::KEY_TOKEN_HASH = QStringLiteral("api/token_hash");
const QString ApiSettings::KEY_TOKEN_STORED_KEY = QStringLiteral("api/token_stored_key");
const QString ApiSettings::KEY_TOKEN_SERVER_KEY = QStringLiteral("api/token_server_key");

namespace {

quint16 portOr(int value, quint16 fallback)
{
    return value > 0 && value <= 65535 ? quint16(value) : fallback;
}

} // namespace

ApiSettings ApiSettings::load(const JsonConfig &config)
{
    ApiSettings settings;
    settings.enabled = config.value(KEY_ENABLED, false);
    settings.linePort = portOr(config.value(KEY_LINE_PORT, int(DEFAULT_LINE_PORT)), DEFAULT_LINE_PORT);
    settings.webPort = portOr(config.value(KEY_WEB_PORT, int(DEFAULT_WEB_PORT)), DEFAULT_WEB_PORT);
    settings.listenAddress = config.value(KEY_LISTEN_ADDRESS, DEFAULT_LISTEN_ADDRESS);
    if (QHostAddress(settings.listenAddress).isNull())
        settings.listenAddress = DEFAULT_LISTEN_ADDRESS;
    settings.tlsCertificate = config.value(KEY_TLS_CERT, QString());
    settings.tlsKey = config.value(KEY_TLS_KEY, QString());
    settings.lineTlsPort
        = portOr(config.value(KEY_LINE_TLS_PORT, int(DEFAULT_LINE_TLS_PORT)), DEFAULT_LINE_TLS_PORT);
    const bool servedPlain = settings.enabled && settings.tlsCertificate.isEmpty();
    settings.plainLine = config.value(KEY_PLAIN_LINE, settings.enabled);
    settings.webTls = config.value(KEY_WEB_TLS, !servedPlain);
    return settings;
}

bool ApiSettings::save(JsonConfig *config) const
{
    config->beginBatch();
    config->setValue(KEY_ENABLED, enabled);
    config->setValue(KEY_LINE_PORT, int(linePort));
    config->setValue(KEY_WEB_PORT, int(webPort));
    config->setValue(KEY_LINE_TLS_PORT, int(lineTlsPort));
    config->setValue(KEY_PLAIN_LINE, plainLine);
    config->setValue(KEY_WEB_TLS, webTls);
    config->setValue(KEY_LISTEN_ADDRESS, listenAddress);
    config->setValue(KEY_TLS_CERT, tlsCertificate);
    config->setValue(KEY_TLS_KEY, tlsKey);
    return config->endBatch();
}

QHostAddress ApiSettings::address() const
{
    return QHostAddress(listenAddress);
}
