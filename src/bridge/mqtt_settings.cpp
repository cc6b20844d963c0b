#include "bridge/mqtt_settings.h"

#include "base/json_config.h"
#include "bridge/mqtt_topics.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHostInfo>

const QString MqttSettings::DEFAULT_DISCOVERY_PREFIX = QStringLiteral("homeassistant");
const QString MqttSettings::TOPIC_PREFIX = QStringLiteral("zentrova");
const QString MqttSettings::KEY_ENABLED = QStringLiteral("mqtt/enabled");
const QString MqttSettings::KEY_HOST = QStringLiteral("mqtt/host");
const QString MqttSettings::KEY_PORT = QStringLiteral("mqtt/port");
const QString MqttSettings::KEY_CLIENT_ID = QStringLiteral("mqtt/client_id");
const QString MqttSettings::KEY_SITE = QStringLiteral("mqtt/site");
const QString MqttSettings::KEY_USER = QStringLiteral("mqtt/user");
const QString MqttSettings::KEY_PASSWORD = QStringLiteral("mqtt/password");
const QString MqttSettings::KEY_CA_FILE = QStringLiteral("mqtt/ca_file");
const QString MqttSettings::KEY_DISCOVERY_PREFIX = QStringLiteral("mqtt/discovery_prefix");
const QString MqttSettings::KEY_API_USER = QStringLiteral("mqtt/api_user");
const QString MqttSettings::KEY_LEGACY_CLEARED = QStringLiteral("mqtt/legacy_cleared");

MqttSettings MqttSettings::load(const JsonConfig &config)
{
    MqttSettings settings;
    settings.enabled = config.value(KEY_ENABLED, false);
    settings.host = config.value(KEY_HOST, QString()).trimmed();
    const int port = config.value(KEY_PORT, int(DEFAULT_PORT));
    settings.port = port > 0 && port <= 65535 ? quint16(port) : DEFAULT_PORT;
    settings.clientId = config.value(KEY_CLIENT_ID, QString()).trimmed();
    settings.site = config.value(KEY_SITE, QString()).trimmed();
    settings.user = config.value(KEY_USER, QString());
    settings.password = config.value(KEY_PASSWORD, QString());
    settings.caFile = config.value(KEY_CA_FILE, QString()).trimmed();
    settings.apiUser = config.value(KEY_API_USER, QString()).trimmed();
    const QString prefix = mqtttopics::level(config.value(KEY_DISCOVERY_PREFIX, DEFAULT_DISCOVERY_PREFIX));
    settings.discoveryPrefix = prefix.isEmpty() ? DEFAULT_DISCOVERY_PREFIX : prefix;
    return settings;
}

bool MqttSettings::save(JsonConfig *config) const
{
    config->beginBatch();
    config->setValue(KEY_ENABLED, enabled);
    config->setValue(KEY_HOST, host);
    config->setValue(KEY_PORT, int(port));
    config->setValue(KEY_CLIENT_ID, clientId);
    config->setValue(KEY_SITE, site);
    config->setValue(KEY_USER, user);
    config->setValue(KEY_PASSWORD, password);
    config->setValue(KEY_CA_FILE, caFile);
    config->setValue(KEY_DISCOVERY_PREFIX, discoveryPrefix);
    config->setValue(KEY_API_USER, apiUser);
    return config->endBatch();
}

QString MqttSettings::siteName() const
{
    return site.isEmpty() ? QHostInfo::localHostName() : site;
}

QString MqttSettings::siteLevel() const
{
    return legacySiteLevel() + QLatin1Char('-') + mqtttopics::shortHash(siteName());
}

QString MqttSettings::topicRoot() const
{
    return TOPIC_PREFIX + QLatin1Char('/') + siteLevel();
}

QString MqttSettings::legacySiteLevel() const
{
    const QString level = mqtttopics::level(siteName());
    return level.isEmpty() ? QStringLiteral("site") : level;
}

QString MqttSettings::legacyTopicRoot() const
{
    return TOPIC_PREFIX + QLatin1Char('/') + legacySiteLevel();
}

QString MqttSettings::effectiveClientId() const
{
    // The site is in the id, so controllers of different sites never take each other's session.
    return clientId.isEmpty() ? TOPIC_PREFIX + QLatin1Char('-') + siteLevel() : clientId;
}

QString MqttSettings::problem() const
{
    if (host.isEmpty())
        return QCoreApplication::translate("MqttSettings", "No broker is set.");
    if (!caFile.isEmpty() && !QFileInfo(caFile).isReadable())
        return QCoreApplication::translate("MqttSettings", "The file %1 cannot be read.").arg(caFile);
    if (password.size() > 0 && user.isEmpty())
        return QCoreApplication::translate("MqttSettings", "A password needs a user name.");
    return QString();
}

bool MqttSettings::setBroker(const QString &text)
{
    const QString trimmed = text.trimmed();
    const int colon = trimmed.lastIndexOf(QLatin1Char(':'));
    // An IPv6 address without a port has colons too; it comes in brackets when a port follows.
    const bool hasPort = colon >= 0
        && (trimmed.count(QLatin1Char(':')) == 1 || (colon > 0 && trimmed.at(colon - 1) == QLatin1Char(']')));
    QString name = hasPort ? trimmed.left(colon) : trimmed;
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    if (name.isEmpty())
        return false;
    quint16 number = DEFAULT_PORT;
    if (hasPort) {
        bool ok = false;
        const uint value = trimmed.mid(colon + 1).toUInt(&ok);
        if (!ok || value == 0 || value > 65535)
            return false;
        number = quint16(value);
    }
    host = name;
    port = number;
    return true;
}
