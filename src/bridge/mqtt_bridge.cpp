#include "bridge/mqtt_bridge.h"

#include "base/audit_operation.h"
#include "base/json_config.h"
#include "base/log_summary.h"
#include "bridge/ha_discovery.h"
#include "bridge/mqtt_client.h"
#include "bridge/mqtt_command.h"
#include "bridge/mqtt_topics.h"
#include "control/command_set.h"

#include <QDebug>
#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <algorithm>
#include <initializer_list>

namespace {

const QByteArray ONLINE = QByteArrayLiteral("online");
const QByteArray OFFLINE = QByteArrayLiteral("offline");
// Longest topic a command may come on: anything longer names nothing here.
constexpr int MAX_TOPIC = 256;
// Where the bridge sends itself the end-of-retained-messages token (never retained).
const QString SYNC_LEVEL = QStringLiteral("/sync");

QByteArray onlineText(const QJsonObject &entry)
{
    return entry.value(QStringLiteral("online")).toBool() ? ONLINE : OFFLINE;
}

} // namespace

MqttBridge::MqttBridge(CommandSet *core, JsonConfig *store, QObject *parent)
    : QObject(parent)
    , core(core)
    , store(store)
    , client(new MqttClient(this))
{
    refreshTimer.setSingleShot(true);
    refreshTimer.setInterval(0);
    connect(&refreshTimer, &QTimer::timeout, this, &MqttBridge::refresh);
    sweepTimer.setSingleShot(true);
    connect(&sweepTimer, &QTimer::timeout, this, &MqttBridge::clearLeftovers);
    connect(core, &CommandSet::event, this, &MqttBridge::scheduleRefresh);
    connect(client, &MqttClient::connected, this, &MqttBridge::onConnected);
    connect(client, &MqttClient::disconnected, this, [this](const QString &reason) {
        if (firstReason.isEmpty())
            firstReason = reason;
        sweepTimer.stop();
        found.clear();
        syncToken.clear();
        emit connectionChanged(false);
        emit statusChanged();
    });
    current = MqttSettings::load(*store);
    connect(client, &MqttClient::messageReceived, this, &MqttBridge::onMessage);
}

MqttBridge::~MqttBridge()
{
    stop();
}

bool MqttBridge::start(const MqttSettings &settings)
{
    stop();
    firstReason.clear();
    current = settings;
    emit settingsChanged();
    if (!current.enabled) {
        emit statusChanged();
        return true;
    }
    running.start();
    root = current.topicRoot();
    legacyRoot = current.legacyTopicRoot();
    legacyPending = store->value(MqttSettings::KEY_LEGACY_CLEARED, QString()) != legacyRoot;
    const QStringList subscriptions {root + QStringLiteral("/+/set"), root + QStringLiteral("/+/+/+/set")};
    clientStarted = client->start(current, root + QStringLiteral("/status"), OFFLINE, subscriptions);
    if (!clientStarted)
        qWarning().noquote() << "MQTT:" << client->errorString();
    emit statusChanged();
    return clientStarted;
}

void MqttBridge::stop()
{
    client->stop(OFFLINE);
    clientStarted = false;
    refreshTimer.stop();
    sweepTimer.stop();
    retained.clear();
    found.clear();
    legacyFound.clear();
    syncToken.clear();
}

QString MqttBridge::hostName()
{
    return QHostInfo::localHostName();
}

QString MqttBridge::configure(bool enabled, const QString &host, int port, const QString &site, const QString &clientId,
    const QString &user, const QString &password, const QString &caFile)
{
    // The password stays out, as every secret does.
    const auto described = [](const MqttSettings &settings) {
        return QJsonObject {{QStringLiteral("enabled"), settings.enabled}, {QStringLiteral("host"), settings.host},
            {QStringLiteral("port"), settings.port}, {QStringLiteral("site"), settings.site},
            {QStringLiteral("client_id"), settings.clientId}, {QStringLiteral("user"), settings.user},
            {QStringLiteral("ca_file"), settings.caFile}};
    };
    AuditOperation record(QStringLiteral("settings.mqtt"), QStringLiteral("MQTT"), described(current));
    const auto refuse = [&record](const QString &reason) {
        record.fail(QStringLiteral("refused"), reason);
        return reason;
    };
    if (port < 1 || port > 65535)
        return refuse(tr("Ports are numbers from 1 to 65535."));
    MqttSettings settings = current;
    settings.enabled = enabled;
    settings.host = host.trimmed();
    settings.port = quint16(port);
    settings.site = site.trimmed();
    settings.clientId = clientId.trimmed();
    settings.user = user;
    settings.password = password;
    settings.caFile = caFile.trimmed();
    const QString problem = enabled ? settings.problem() : QString();
    if (!problem.isEmpty())
        return refuse(problem);
    if (!settings.save(store))
        return refuse(tr("The settings could not be saved."));
    record.setAfter(described(settings));
    return start(settings) ? QString() : status();
}

bool MqttBridge::isConnected() const
{
    return client->isConnected();
}

QString MqttBridge::status() const
{
    if (!current.enabled || client->isConnected())
        return QString();
    return explain(
        current.host, current.port, firstReason.isEmpty() ? client->errorString() : firstReason, clientStarted);
}

bool MqttBridge::failing() const
{
    return current.enabled && !client->isConnected()
        && (!clientStarted || !client->errorString().isEmpty() || !firstReason.isEmpty());
}

QString MqttBridge::explain(const QString &host, int port, const QString &reason, bool retrying)
{
    if (reason.isEmpty() && retrying)
        return tr("Connecting to %1 port %2…").arg(host).arg(port);
    const QString words = reason.toLower();
    const auto mentions = [&words](std::initializer_list<const char *> parts) {
        return std::any_of(
            parts.begin(), parts.end(), [&words](const char *part) { return words.contains(QLatin1String(part)); });
    };
    QString text;
    // The library gives up by itself after a refused sign-in or a failed TLS handshake:
    // trying the same again would only be refused again.
    bool settingsAtFault = !retrying;
    if (mentions({"author", "user name", "password", "banned"})) {
        text = tr("%1 refused the user name or password (%2).").arg(host, reason);
        settingsAtFault = true;
    } else if (mentions({"tls", "ssl", "certificate", "handshake"})) {
        text = tr("TLS with %1 failed (%2): check the CA file and the port.").arg(host, reason);
        settingsAtFault = true;
    } else if (mentions({"refused"})) {
        text = tr("No broker answers at %1 port %2 (%3).").arg(host).arg(port).arg(reason);
    } else if (mentions({"lookup", "unreachable", "no route", "timed out", "host is down", "lost"})) {
        text = tr("%1 cannot be reached (%2).").arg(host, reason);
    } else {
        text = tr("Not connected to %1: %2").arg(host, reason);
    }
    //: What went wrong, then whether it is tried again; Chinese joins them without a space.
    return tr("%1 %2").arg(text,
        settingsAtFault ? tr("Not tried again until the settings are applied.")
                        : tr("Next try within %1 s.").arg(MqttClient::LAST_RETRY_SECONDS));
}

void MqttBridge::scheduleRefresh()
{
    if (client->isConnected() && !refreshTimer.isActive())
        refreshTimer.start();
}

QHash<QString, QByteArray> MqttBridge::wanted()
{
    const QJsonObject state = core->state();
    QHash<QString, QByteArray> out;
    QHash<QString, QString> encoderAliases;
    for (const QJsonValue &value : state.value(QStringLiteral("encoders")).toArray()) {
        const QJsonObject encoder = value.toObject();
        const QString name = encoder.value(QStringLiteral("name")).toString();
        const QString alias = encoder.value(QStringLiteral("alias")).toString();
        encoderAliases.insert(name, alias.isEmpty() ? name : alias);
        const QString base = root + QStringLiteral("/encoder/") + mqtttopics::level(name);
        out.insert(base + QStringLiteral("/name"), encoderAliases.value(name).toUtf8());
        out.insert(base + QStringLiteral("/online"), onlineText(encoder));
    }
    const auto screens = [&](const QString &kind, const QString &list, QHash<QString, QString> *levels) {
        levels->clear();
        for (const QJsonValue &value : state.value(list).toArray()) {
            const QJsonObject entry = value.toObject();
            const QString name = entry.value(QStringLiteral("name")).toString();
            const QString level = mqtttopics::level(name);
            levels->insert(level, name);
            const QString base = root + QLatin1Char('/') + kind + QLatin1Char('/') + level;
            const QString alias = entry.value(QStringLiteral("alias")).toString();
            const QString source = entry.value(QStringLiteral("source")).toString();
            out.insert(base + QStringLiteral("/name"), (alias.isEmpty() ? name : alias).toUtf8());
            out.insert(base + QStringLiteral("/online"), onlineText(entry));
            out.insert(base + QStringLiteral("/source"),
                (source.isEmpty() ? MqttCommand::NONE : encoderAliases.value(source, source)).toUtf8());
        }
    };
    screens(QStringLiteral("decoder"), QStringLiteral("decoders"), &decoderLevels);
    screens(QStringLiteral("wall"), QStringLiteral("walls"), &wallLevels);
    // What the displays were last told; the controller cannot read them back.
    const QJsonObject power = state.value(QStringLiteral("power")).toObject();
    if (power.value(QStringLiteral("targets")).toString() == QLatin1String("all"))
        out.insert(root + QStringLiteral("/power"), power.value(QStringLiteral("on")).toBool() ? "on" : "off");
    const QJsonValue numbers = state.value(QStringLiteral("numbers"));
    if (numbers.isBool())
        out.insert(root + QStringLiteral("/numbers"), numbers.toBool() ? "show" : "hide");
    const QJsonObject scene = state.value(QStringLiteral("scene")).toObject();
    out.insert(root + QStringLiteral("/scenes"),
        QJsonDocument(scene.value(QStringLiteral("names")).toArray()).toJson(QJsonDocument::Compact));
    const QString active = scene.value(QStringLiteral("active")).toString();
    out.insert(root + QStringLiteral("/scene"), (active.isEmpty() ? MqttCommand::NONE : active).toUtf8());

    const QHash<QString, QByteArray> configs = discovery().configs(state, encoderAliases);
    for (auto it = configs.cbegin(); it != configs.cend(); ++it)
        out.insert(it.key(), it.value());
    return out;
}

void MqttBridge::refresh()
{
    if (!client->isConnected() || (legacyPending && !syncToken.isEmpty()))
        return;
    const QHash<QString, QByteArray> next = wanted();
    int count = 0;
    for (auto it = next.cbegin(); it != next.cend(); ++it) {
        const auto old = retained.constFind(it.key());
        if (old != retained.cend() && old.value() == it.value())
            continue;
        if (!client->publish(it.key(), it.value(), true))
            return;
        retained.insert(it.key(), it.value());
        ++count;
    }
    // Gone devices and entities: an empty retained message removes them from the broker.
    for (auto it = retained.begin(); it != retained.end();) {
        if (next.contains(it.key())) {
            ++it;
            continue;
        }
        if (!client->publish(it.key(), QByteArray(), true))
            return;
        it = retained.erase(it);
        ++count;
    }
    if (count > 0)
        emit publishedChanges(count);
}

HomeAssistantDiscovery MqttBridge::discovery() const
{
    return HomeAssistantDiscovery({root, current.discoveryPrefix, current.siteName(), current.siteLevel()});
}

HomeAssistantDiscovery MqttBridge::legacyDiscovery() const
{
    return HomeAssistantDiscovery({legacyRoot, current.discoveryPrefix, current.siteName(), current.legacySiteLevel()});
}

QStringList MqttBridge::ownStateFilters() const
{
    // The levels state is published on; the command topics ("…/set") lie between them.
    QStringList filters {root + QStringLiteral("/+"), root + QStringLiteral("/+/+/+"), discovery().configFilter()};
    if (legacyPending)
        filters << legacyRoot + QStringLiteral("/+") << legacyRoot + QStringLiteral("/+/+/+")
                << legacyDiscovery().configFilter();
    return filters;
}

void MqttBridge::onConnected()
{
    firstReason.clear();
    // The broker may have lost everything, or kept what went away meanwhile: all of it is
    // published again, and what it kept is read to find what is no longer wanted.
    retained.clear();
    found.clear();
    legacyFound.clear();
    client->subscribe(ownStateFilters());
    client->publish(root + QStringLiteral("/status"), ONLINE, true);
    emit connectionChanged(true);
    syncToken = QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    refresh();
    client->publish(root + SYNC_LEVEL, syncToken, false);
}

void MqttBridge::onStateMessage(const QString &topic, const QByteArray &payload, bool isRetained)
{
    if (syncToken.isEmpty())
        return;
    if (isRetained) {
        const HomeAssistantDiscovery legacy = legacyDiscovery();
        if (topic.startsWith(legacyRoot + QLatin1Char('/'))) {
            legacyFound.insert(topic);
        } else if (legacy.isConfigTopic(topic)) {
            // Another site whose name read the same had the same node: its configs are not ours.
            const QJsonObject config = QJsonDocument::fromJson(payload).object();
            if (config.value(QStringLiteral("availability_topic")).toString() == legacy.availabilityTopic())
                legacyFound.insert(topic);
        } else {
            found.insert(topic);
        }
        return;
    }
    if (topic != QString(root + SYNC_LEVEL) || payload != syncToken)
        return;
    syncToken.clear();
    client->unsubscribe(ownStateFilters());
    if (legacyPending)
        clearLegacy();
    sweepTimer.start(int(qMax<qint64>(0, SETTLE_MS - running.elapsed())));
}

void MqttBridge::clearLegacy()
{
    bool all = true;
    for (const QString &topic : qAsConst(legacyFound))
        all = client->publish(topic, QByteArray(), true) && all;
    if (!legacyFound.isEmpty())
        qInfo().noquote() << "MQTT: cleared" << legacyFound.size() << "topics of the former site id" << legacyRoot;
    legacyFound.clear();
    // Tried again at the next connection if the broker went away meanwhile.
    legacyPending = !all;
    if (all)
        store->setValue(MqttSettings::KEY_LEGACY_CLEARED, legacyRoot);
    refresh();
}

void MqttBridge::clearLeftovers()
{
    refresh();
    found.remove(root + QStringLiteral("/status"));
    int count = 0;
    for (const QString &topic : qAsConst(found)) {
        if (retained.contains(topic))
            continue;
        if (!client->publish(topic, QByteArray(), true))
            return;
        ++count;
    }
    found.clear();
    if (count > 0) {
        qInfo() << "MQTT: cleared" << count << "topics left from an earlier run";
        emit publishedChanges(count);
    }
}

void MqttBridge::onMessage(const QString &topic, const QByteArray &payload, bool isRetained)
{
    // The empty message that clears a retained topic comes back; it asks for nothing.
    if (payload.isEmpty())
        return;
    if (!topic.endsWith(QLatin1String("/set"))) {
        onStateMessage(topic, payload, isRetained);
        return;
    }
    if (isRetained)
        client->publish(topic, QByteArray(), true);
    if (!commandRate.admit()) {
        AuditOperation::refusedOften(QStringLiteral("command"), QStringLiteral("mqtt"),
            QStringLiteral("mqtt:") + current.siteName(), remoteErrorName(RateLimited));
        refuse(topic.left(MAX_TOPIC), RateLimited,
            QStringLiteral("more than %1 commands in one second").arg(RateWindow::COMMANDS_PER_SECOND));
        return;
    }
    if (topic.size() > MAX_TOPIC || !topic.startsWith(root + QLatin1Char('/'))) {
        refuse(topic.left(MAX_TOPIC), TooLarge, QStringLiteral("the topic names nothing here"));
        return;
    }
    MqttCommand command = MqttCommand::read(topic.mid(root.size() + 1), payload, isRetained);
    if (!command.ok) {
        refuse(topic, command.code, command.message);
        return;
    }
    if (!command.kind.isEmpty()) {
        const QHash<QString, QString> &levels = command.kind == QLatin1String("wall") ? wallLevels : decoderLevels;
        const QString name = levels.value(command.targetLevel);
        if (name.isEmpty()) {
            refuse(topic, NotFound, QStringLiteral("no %1 is named \"%2\"").arg(command.kind, command.targetLevel));
            return;
        }
        if (command.method == QLatin1String("power"))
            command.params.insert(QStringLiteral("targets"), QJsonArray {name});
        else
            command.params.insert(QStringLiteral("target"), name);
    }
    Actor actor {QStringLiteral("mqtt"), Actor::Role::Operator, {}, {}, {}};
    if (!current.apiUser.isEmpty() && !(users && users(current.apiUser, &actor))) {
        refuse(topic, Forbidden, QStringLiteral("the bridge's API user \"%1\" does not exist").arg(current.apiUser));
        return;
    }
    // The trail tells the site's commands from the same user's through the API.
    actor.address = QStringLiteral("mqtt:") + current.siteName();
    const RemoteAnswer answer = core->execute(actor, command.method, command.params);
    if (!answer.ok)
        refuse(topic, answer.code, answer.message);
}

void MqttBridge::refuse(const QString &topic, int code, const QString &message)
{
    // Anyone who may publish here can make these as fast as the broker passes them on.
    if (LogSummary::shared().admit(QtInfoMsg, QStringLiteral("MQTT: refused a command"), QStringLiteral("the broker")))
        qInfo().noquote() << "MQTT: refused a command on" << topic << ":" << message;
    const QJsonObject error {{QStringLiteral("topic"), topic}, {QStringLiteral("error"), remoteErrorName(code)},
        {QStringLiteral("message"), message}};
    client->publish(root + QStringLiteral("/error"), QJsonDocument(error).toJson(QJsonDocument::Compact), false);
}
