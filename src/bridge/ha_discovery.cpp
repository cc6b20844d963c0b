#include "bridge/ha_discovery.h"

#include "bridge/mqtt_command.h"
#include "bridge/mqtt_topics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

namespace {

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

HomeAssistantDiscovery::HomeAssistantDiscovery(const Site &site)
    : site(site)
    , node(QStringLiteral("zentrova_") + mqtttopics::objectId(site.level))
{
}

QString HomeAssistantDiscovery::topic(const char *component, const QString &object) const
{
    return site.prefix + QLatin1Char('/') + QLatin1String(component) + QLatin1Char('/') + node + QLatin1Char('/')
        + object + QStringLiteral("/config");
}

QString HomeAssistantDiscovery::configFilter() const
{
    return site.prefix + QStringLiteral("/+/") + node + QStringLiteral("/+/config");
}

bool HomeAssistantDiscovery::isConfigTopic(const QString &topic) const
{
    const QStringList levels = topic.split(QLatin1Char('/'));
    return levels.size() == 5 && levels.at(0) == site.prefix && levels.at(2) == node
        && levels.at(4) == QLatin1String("config");
}

QString HomeAssistantDiscovery::availabilityTopic() const
{
    return site.root + QStringLiteral("/status");
}

QJsonObject HomeAssistantDiscovery::controller() const
{
    return {{QStringLiteral("identifiers"), QJsonArray {node}}, {QStringLiteral("name"), site.name},
        {QStringLiteral("manufacturer"), QStringLiteral("zentrova")},
        {QStringLiteral("model"), tr("AV-over-IP controller")}};
}

QJsonObject HomeAssistantDiscovery::screen(const QString &name, const QString &alias, const QString &model) const
{
    return {{QStringLiteral("identifiers"), QJsonArray {QString(node + QLatin1Char('_') + mqtttopics::objectId(name))}},
        {QStringLiteral("name"), alias.isEmpty() ? name : alias}, {QStringLiteral("model"), model},
        {QStringLiteral("via_device"), node}};
}

QJsonObject HomeAssistantDiscovery::entity(const QString &object, const QString &name, const QJsonObject &device) const
{
    return {{QStringLiteral("unique_id"), QString(node + QLatin1Char('_') + object)}, {QStringLiteral("name"), name},
        {QStringLiteral("has_entity_name"), true}, {QStringLiteral("device"), device},
        {QStringLiteral("availability_topic"), availabilityTopic()}};
}

QHash<QString, QByteArray> HomeAssistantDiscovery::configs(
    const QJsonObject &state, const QHash<QString, QString> &encoderAliases) const
{
    QHash<QString, QByteArray> out;
    QStringList names = encoderAliases.values();
    // Stable order, so that a change of nothing publishes nothing.
    names.sort();
    names.prepend(MqttCommand::NONE);
    const QJsonArray options = QJsonArray::fromStringList(names);

    const QJsonObject site_ = controller();
    const auto button = [&](const QString &object, const QString &name, const QJsonObject &device,
                            const QString &command, const QString &press) {
        QJsonObject config = entity(object, name, device);
        config.insert(QStringLiteral("command_topic"), command);
        config.insert(QStringLiteral("payload_press"), press);
        out.insert(topic("button", object), compact(config));
    };
    button(QStringLiteral("all_on"), tr("All displays on"), site_, site.root + QStringLiteral("/power/set"),
        QStringLiteral("on"));
    button(QStringLiteral("all_off"), tr("All displays off"), site_, site.root + QStringLiteral("/power/set"),
        QStringLiteral("off"));
    button(QStringLiteral("numbers_show"), tr("Show numbers"), site_, site.root + QStringLiteral("/numbers/set"),
        QStringLiteral("show"));
    button(QStringLiteral("numbers_hide"), tr("Hide numbers"), site_, site.root + QStringLiteral("/numbers/set"),
        QStringLiteral("hide"));

    // Scene names are the user's own, often with letters that object ids cannot hold: a few
    // characters of a hash keep "会议" and "演讲" (both "__" otherwise) apart.
    const QJsonObject scenes = state.value(QStringLiteral("scene")).toObject();
    for (const QJsonValue &value : scenes.value(QStringLiteral("names")).toArray()) {
        const QString name = value.toString();
        button(QStringLiteral("scene_") + mqtttopics::objectId(name) + QLatin1Char('_') + mqtttopics::shortHash(name),
            name, site_, site.root + QStringLiteral("/scene/set"), name);
    }
    QJsonObject activeScene = entity(QStringLiteral("scene"), tr("Scene"), site_);
    activeScene.insert(QStringLiteral("state_topic"), QString(site.root + QStringLiteral("/scene")));
    out.insert(topic("sensor", QStringLiteral("scene")), compact(activeScene));

    const auto online = [&](const QString &object, const QJsonObject &device, const QString &stateTopic) {
        QJsonObject config = entity(object + QStringLiteral("_online"), tr("Online"), device);
        config.insert(QStringLiteral("state_topic"), stateTopic);
        config.insert(QStringLiteral("payload_on"), QStringLiteral("online"));
        config.insert(QStringLiteral("payload_off"), QStringLiteral("offline"));
        config.insert(QStringLiteral("device_class"), QStringLiteral("connectivity"));
        out.insert(topic("binary_sensor", object + QStringLiteral("_online")), compact(config));
    };
    const auto screenEntities
        = [&](const QString &kind, const QJsonObject &entry, const QString &model, bool routable) {
              const QString name = entry.value(QStringLiteral("name")).toString();
              const QString object = mqtttopics::objectId(name);
              const QString base = site.root + QLatin1Char('/') + kind + QLatin1Char('/') + mqtttopics::level(name);
              const QJsonObject device = screen(name, entry.value(QStringLiteral("alias")).toString(), model);
              online(object, device, base + QStringLiteral("/online"));
              button(object + QStringLiteral("_on"), tr("Display on"), device, base + QStringLiteral("/power/set"),
                  QStringLiteral("on"));
              button(object + QStringLiteral("_off"), tr("Display off"), device, base + QStringLiteral("/power/set"),
                  QStringLiteral("off"));
              if (!routable)
                  return;
              QJsonObject config = entity(object + QStringLiteral("_source"), tr("Source"), device);
              config.insert(QStringLiteral("state_topic"), QString(base + QStringLiteral("/source")));
              config.insert(QStringLiteral("command_topic"), QString(base + QStringLiteral("/source/set")));
              config.insert(QStringLiteral("options"), options);
              out.insert(topic("select", object + QStringLiteral("_source")), compact(config));
          };

    for (const QJsonValue &value : state.value(QStringLiteral("decoders")).toArray()) {
        const QJsonObject decoder = value.toObject();
        screenEntities(
            QStringLiteral("decoder"), decoder, tr("Decoder"), decoder.value(QStringLiteral("wall")).isNull());
    }
    for (const QJsonValue &value : state.value(QStringLiteral("walls")).toArray())
        screenEntities(QStringLiteral("wall"), value.toObject(), tr("Video wall"), true);
    for (const QJsonValue &value : state.value(QStringLiteral("encoders")).toArray()) {
        const QJsonObject encoder = value.toObject();
        const QString name = encoder.value(QStringLiteral("name")).toString();
        online(mqtttopics::objectId(name),
            screen(name, encoder.value(QStringLiteral("alias")).toString(), tr("Encoder")),
            site.root + QStringLiteral("/encoder/") + mqtttopics::level(name) + QStringLiteral("/online"));
    }
    return out;
}
