#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QHash>
#include <QJsonObject>
#include <QString>

// Home Assistant's MQTT discovery: one retained config message per entity, under
// "PREFIX/COMPONENT/NODE/OBJECT/config". Each site is one device (the controller) that its
// screens hang from; every screen is a device with a source `select` (not for decoders
// inside a wall, which follow the wall), an online `binary_sensor` and two display
// `button`s, as the controller sends power commands but cannot read the displays back.
// The site's device also has a `button` per scene (pressing it recalls the scene) and a
// `sensor` naming the scene the screens show.
class HomeAssistantDiscovery
{
    // Entity and model names are in the controller's language.
    Q_DECLARE_TR_FUNCTIONS(HomeAssistantDiscovery)

public:
    struct Site
    {
        QString root; // "zentrova/SITE"
        QString prefix; // "homeassistant"
        QString name; // as the user wrote it
        QString level; // the site as a topic level
    };

    explicit HomeAssistantDiscovery(const Site &site);

    // Topic to payload for every entity of the installation that `state` describes
    // (CommandSet::state()); `encoderAliases` maps device names to what the user calls them.
    QHash<QString, QByteArray> configs(const QJsonObject &state, const QHash<QString, QString> &encoderAliases) const;
    // A subscription that matches this site's configs, and no other site's.
    QString configFilter() const;
    // Whether topic is one that configFilter() matches.
    bool isConfigTopic(const QString &topic) const;
    // Where every entity of the site learns whether the controller is there.
    QString availabilityTopic() const;

private:
    QJsonObject controller() const;
    QJsonObject screen(const QString &name, const QString &alias, const QString &model) const;
    QString topic(const char *component, const QString &object) const;
    QJsonObject entity(const QString &object, const QString &name, const QJsonObject &device) const;

    Site site;
    QString node;
};
