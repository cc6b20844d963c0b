#pragma once

#include <QString>

class JsonConfig;

// How and whether the bridge reaches its broker, as "~/.zentrova/config.json" keeps it
// under "mqtt". The password is kept as typed: the broker needs it, not a hash of it.
struct MqttSettings
{
    static constexpr quint16 DEFAULT_PORT = 1883;
    static const QString DEFAULT_DISCOVERY_PREFIX;
    static const QString TOPIC_PREFIX;

    static const QString KEY_ENABLED;
    static const QString KEY_HOST;
    static const QString KEY_PORT;
    static const QString KEY_CLIENT_ID;
    static const QString KEY_SITE;
    static const QString KEY_USER;
    static const QString KEY_PASSWORD;
    static const QString KEY_CA_FILE;
    static const QString KEY_DISCOVERY_PREFIX;
    static const QString KEY_API_USER;

    bool enabled = false;
    QString host;
    quint16 port = DEFAULT_PORT;
    QString clientId; // empty: made from the site
    QString site; // empty: the host name
    QString user;
    QString password;
    QString caFile; // set: TLS, the broker's certificate checked against it
    QString discoveryPrefix = DEFAULT_DISCOVERY_PREFIX;
    // The control API user whose rights the broker's commands have; empty for an operator
    // of every screen, as before there were users.
    QString apiUser;

    // Values out of range read as their defaults.
    static MqttSettings load(const JsonConfig &config);
    // False when the file could not be written.
    bool save(JsonConfig *config) const;

    // The site as one topic level: what it may hold of the name, never a wildcard or a slash.
    QString siteLevel() const;
    // "zentrova/SITE"
    QString topicRoot() const;
    QString effectiveClientId() const;
    // Why the broker cannot be reached with these settings, or empty.
    QString problem() const;

    // "HOST" or "HOST:PORT" from the command line; false for text that is neither.
    bool setBroker(const QString &text);
};
