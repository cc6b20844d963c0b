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
    // The topic root whose topics of the former encoding (see legacyTopicRoot) have been cleared.
    static const QString KEY_LEGACY_CLEARED;

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

    // The name the site goes by: the site as set, or the host name.
    QString siteName() const;
    // The site as one topic level: what it may hold of the name, never a wildcard or a slash,
    // then '-' and a short hash of the name, so that no two names share a level.
    QString siteLevel() const;
    // "zentrova/SITE"
    QString topicRoot() const;
    // The level and root earlier versions made: the readable part alone, which two names
    // could share. What the broker still holds there is this site's to clear.
    QString legacySiteLevel() const;
    QString legacyTopicRoot() const;
    QString effectiveClientId() const;
    // Why the broker cannot be reached with these settings, or empty.
    QString problem() const;

    // "HOST" or "HOST:PORT" from the command line; false for text that is neither.
    bool setBroker(const QString &text);
};
