#include "scenes/configuration_transfer.h"

#include "base/audit_operation.h"
#include "base/json_config.h"
#include "base/name_rules.h"
#include "base/paths.h"
#include "manager/config_keys.h"
#include "manager/route_keeper.h"
#include "manager/video_walls.h"
#include "models/network_commands.h"
#include "models/vw_device.h"
#include "scenes/scene_store.h"
#include "scenes/schedule_store.h"
#include "scenes/scheduler.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QScopeGuard>
#include <QSet>
#include <QUrl>
#include <algorithm>

const QString ConfigurationTransfer::FORMAT = QStringLiteral("zentrova-configuration");

namespace {

const QString FORMAT_KEY = QStringLiteral("format");
const QString VERSION_KEY = QStringLiteral("version");
const QString SECRETS_KEY = QStringLiteral("secrets");
const QString POWER_KEY = QStringLiteral("display_power_cmd");
const QString SECURITY_KEY = QStringLiteral("security");
const int NAME_LIMIT = 256;
const int ENTRY_LIMIT = 10000;
const int PATH_LIMIT = 4096;
const int THUMBNAIL_FPS_LIMIT = 60;
const QString MQTT_SECRET = QStringLiteral("mqtt");
const QString MQTT_PASSWORD = QStringLiteral("mqtt/password");

// The user's switches, kept as true or false at the top of the settings file.
QStringList switchKeys()
{
    return {configkeys::REROUTE_ON_RECONNECT, RouteKeeper::RESTORE_AT_START_KEY};
}

// Settings kept as a flat object in the settings file, exported under a name of their own;
// only the fields listed travel, so that a secret added to the object later never leaks.
struct Field
{
    enum Kind { Flag, Port, Text, Path, Rate };
    const char *name;
    Kind kind;
};
struct Group
{
    const char *exportKey;
    const char *configKey;
    QVector<Field> fields;
};
const QVector<Group> &groups()
{
    static const QVector<Group> list {
        {"control_api", "api",
            {{"enabled", Field::Flag}, {"line_port", Field::Port}, {"line_tls_port", Field::Port},
                {"plain_line", Field::Flag}, {"web_port", Field::Port}, {"web_tls", Field::Flag},
                {"listen_address", Field::Text}, {"tls_cert", Field::Path}, {"tls_key", Field::Path}}},
        {"mqtt_bridge", "mqtt",
            {{"enabled", Field::Flag}, {"host", Field::Text}, {"port", Field::Port}, {"client_id", Field::Text},
                {"site", Field::Text}, {"user", Field::Text}, {"ca_file", Field::Path},
                {"discovery_prefix", Field::Text}, {"api_user", Field::Text}}},
        {"preview", "preview", {{"thumbnail_fps", Field::Rate}}},
    };
    return list;
}

const Group *groupFor(const QString &exportKey)
{
    for (const Group &group : groups()) {
        if (exportKey == QLatin1String(group.exportKey))
            return &group;
    }
    return nullptr;
}

bool printableText(const QString &text, int limit)
{
    return text.size() <= limit && NameRules::printable(text);
}

bool printableName(const QString &text)
{
    return printableText(text, NAME_LIMIT);
}

bool printablePath(const QString &text)
{
    return printableText(text, PATH_LIMIT);
}

bool wholeNumber(const QJsonValue &value, int low, int high)
{
    return value.isDouble() && value.toDouble() >= low && value.toDouble() <= high && value.toDouble() == value.toInt();
}

bool fieldValid(const Field &field, const QJsonValue &value)
{
    switch (field.kind) {
    case Field::Flag:
        return value.isBool();
    case Field::Port:
        return wholeNumber(value, 1, 65535);
    case Field::Rate:
        return wholeNumber(value, 0, THUMBNAIL_FPS_LIMIT);
    case Field::Text:
        return value.isString() && printableName(value.toString());
    case Field::Path:
        return value.isString() && printablePath(value.toString());
    }
    return false;
}

void checkGroup(const Group &group, const QJsonValue &value, QStringList *problems)
{
    const QJsonObject object = value.toObject();
    if (!value.isObject()) {
        problems->append(QStringLiteral("%1 must be an object").arg(QLatin1String(group.exportKey)));
        return;
    }
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const auto field = std::find_if(group.fields.cbegin(), group.fields.cend(),
            [&](const Field &candidate) { return it.key() == QLatin1String(candidate.name); });
        if (field == group.fields.cend() || !fieldValid(*field, it.value()))
            problems->append(QStringLiteral("%1: the entry \"%2\" is unknown or out of range")
                                 .arg(QLatin1String(group.exportKey), it.key().left(40)));
    }
}

QString localPath(const QString &pathOrUrl)
{
    const QUrl url(pathOrUrl);
    return url.isLocalFile() ? url.toLocalFile() : pathOrUrl;
}

void checkNames(const QJsonValue &value, QStringList *problems)
{
    const QJsonObject map = value.toObject();
    if (!value.isObject() || map.size() > ENTRY_LIMIT) {
        problems->append(QStringLiteral("alias_map must be an object of names"));
        return;
    }
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const QString alias = it.value().toString();
        // An empty name shows the device's own.
        if (!it.value().isString() || !NameRules::deviceName(it.key())
            || !(alias.isEmpty() || NameRules::displayName(alias))) {
            problems->append(
                QStringLiteral("alias_map: the entry \"%1\" is not a printable name").arg(it.key().left(40)));
            return;
        }
    }
}

void checkOrders(const QJsonValue &value, QStringList *problems)
{
    const QJsonObject map = value.toObject();
    const bool numbers = std::all_of(map.constBegin(), map.constEnd(), [](const QJsonValue &entry) {
        return entry.isDouble() && entry.toDouble() >= -1 && entry.toDouble() <= ENTRY_LIMIT
            && entry.toDouble() == entry.toInt();
    });
    if (!value.isObject() || map.size() > ENTRY_LIMIT || !numbers)
        problems->append(QStringLiteral("orders must be an object of whole numbers"));
}

void checkWalls(const QJsonValue &value, const QJsonObject &aliases, QStringList *problems)
{
    const QJsonArray walls = value.toArray();
    if (!value.isArray() || walls.size() > ENTRY_LIMIT) {
        problems->append(QStringLiteral("vw must be a list of walls"));
        return;
    }
    QSet<QString> names;
    for (const QJsonValue &wall : walls) {
        const QJsonObject record = wall.toObject();
        const QString name = record.value(QStringLiteral("name")).toString();
        const auto refuse = [&](const QString &why) {
            problems->append(QStringLiteral("vw: the wall \"%1\" %2").arg(name.left(40), why));
        };
        if (!wall.isObject() || !NameRules::deviceName(name) || !VideoWalls::wallFromRecord(record, aliases))
            return refuse(QStringLiteral("is not a valid wall"));
        if (names.contains(name.toCaseFolded()))
            return refuse(QStringLiteral("is listed twice"));
        names.insert(name.toCaseFolded());
        for (const QJsonValue &cell : record.value(QStringLiteral("devices")).toArray()) {
            if (!cell.isString() || !(cell.toString().isEmpty() || NameRules::deviceName(cell.toString())))
                return refuse(QStringLiteral("holds a decoder whose name is not a valid device name"));
        }
        // The source goes onto the decoders' command lines.
        const QJsonValue source = record.value(QStringLiteral("bind"));
        if (!(source.isUndefined() || source.isString()) || !TelnetSwitchSourceCommand(source.toString()).isValid())
            return refuse(QStringLiteral("is bound to a source name that cannot be sent to a decoder"));
    }
}

void checkPowerCommands(const QJsonValue &value, QStringList *problems)
{
    const QJsonObject commands = value.toObject();
    bool valid = value.isObject();
    for (auto it = commands.constBegin(); valid && it != commands.constEnd(); ++it) {
        valid = (it.key() == QLatin1String("on") || it.key() == QLatin1String("off")) && it.value().isString()
            && it.value().toString().size() <= NAME_LIMIT && TelnetCecCustomCommand(it.value().toString()).isValid();
    }
    if (!valid)
        problems->append(QStringLiteral("display_power_cmd must hold the texts on and off"));
}

// Only the entries named, each a short text.
void checkStrings(const QString &key, const QJsonValue &value, const QStringList &entries, QStringList *problems)
{
    const QJsonObject object = value.toObject();
    bool valid = value.isObject();
    for (auto it = object.constBegin(); valid && it != object.constEnd(); ++it)
        valid = entries.contains(it.key()) && it.value().isString() && it.value().toString().size() <= NAME_LIMIT;
    if (!valid)
        problems->append(
            QStringLiteral("%1 may hold only %2, as short texts").arg(key, entries.join(QStringLiteral(", "))));
}

} // namespace

ConfigurationTransfer::ConfigurationTransfer(JsonConfig *config, const QStringList &apiSecretKeys, QObject *parent)
    : QObject(parent)
    , config(config)
    , apiSecretKeys(apiSecretKeys)
{
}

QString ConfigurationTransfer::defaultPath()
{
    return QDir::homePath() + QStringLiteral("/zentrova-configuration.json");
}

QJsonObject ConfigurationTransfer::exportDocument(bool withSecrets) const
{
    QJsonObject document {{FORMAT_KEY, FORMAT}, {VERSION_KEY, FORMAT_VERSION}};
    const QStringList keys {configkeys::ALIAS_MAP, configkeys::ORDERS, configkeys::WALLS, POWER_KEY,
        configkeys::RX_NAME_NEXT, configkeys::TX_NAME_NEXT, SceneStore::CONFIG_KEY, ScheduleStore::CONFIG_KEY};
    for (const QString &key : keys) {
        const QJsonValue value = config->jsonValue(key);
        if (!value.isUndefined())
            document.insert(key, value);
    }
    for (const QString &key : switchKeys()) {
        const QJsonValue on = config->jsonValue(key);
        if (on.isBool())
            document.insert(key, on);
    }
    for (const Group &group : groups()) {
        const QJsonObject stored = config->jsonValue(QLatin1String(group.configKey)).toObject();
        QJsonObject exported;
        for (const Field &field : group.fields) {
            const QJsonValue value = stored.value(QLatin1String(field.name));
            if (!value.isUndefined())
                exported.insert(QLatin1String(field.name), value);
        }
        if (!exported.isEmpty())
            document.insert(QLatin1String(group.exportKey), exported);
    }
    if (withSecrets) {
        QJsonObject secrets;
        const QJsonValue security = config->jsonValue(SECURITY_KEY);
        if (security.isObject())
            secrets.insert(SECURITY_KEY, security);
        QJsonObject token;
        for (const QString &key : apiSecretKeys) {
            const QJsonValue value = config->jsonValue(key);
            if (value.isString())
                token.insert(key.section(QLatin1Char('/'), 1), value);
        }
        if (!token.isEmpty())
            secrets.insert(QStringLiteral("api"), token);
        const QJsonValue mqttPassword = config->jsonValue(MQTT_PASSWORD);
        if (mqttPassword.isString())
            secrets.insert(MQTT_SECRET, QJsonObject {{QStringLiteral("password"), mqttPassword}});
        document.insert(SECRETS_KEY, secrets);
    }
    return document;
}

bool ConfigurationTransfer::read(const QByteArray &content, QJsonObject *keys, QStringList *problems, bool *foreign)
{
    problems->clear();
    if (foreign)
        *foreign = true;
    if (content.size() > SIZE_LIMIT) {
        problems->append(QStringLiteral("the file is larger than %1 MiB").arg(SIZE_LIMIT / (1024 * 1024)));
        return false;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        problems->append(
            QStringLiteral("the file is not a JSON object (%1 at byte %2)").arg(error.errorString()).arg(error.offset));
        return false;
    }
    const QJsonObject root = document.object();
    if (root.value(FORMAT_KEY).toString() != FORMAT) {
        problems->append(QStringLiteral("the file is not a zentrova configuration"));
        return false;
    }
    if (foreign)
        *foreign = false;
    const QJsonValue version = root.value(VERSION_KEY);
    if (!version.isDouble() || version.toDouble() < 1 || version.toDouble() != version.toInt()) {
        problems->append(QStringLiteral("the file carries no valid version"));
        return false;
    }
    if (version.toInt() > FORMAT_VERSION) {
        problems->append(QStringLiteral("the file was written by a newer version (format %1; this one reads %2)")
                             .arg(version.toInt())
                             .arg(FORMAT_VERSION));
        return false;
    }
    QJsonObject accepted;
    QVector<Scene> scenes;
    QVector<Schedule> schedules;
    for (auto it = root.constBegin(); it != root.constEnd(); ++it) {
        const QString &key = it.key();
        const QJsonValue &value = it.value();
        QString reason;
        if (key == FORMAT_KEY || key == VERSION_KEY)
            continue;
        if (key == configkeys::ALIAS_MAP)
            checkNames(value, problems);
        else if (key == configkeys::ORDERS)
            checkOrders(value, problems);
        else if (key == configkeys::WALLS)
            checkWalls(value, root.value(configkeys::ALIAS_MAP).toObject(), problems);
        else if (key == POWER_KEY)
            checkPowerCommands(value, problems);
        else if (key == configkeys::RX_NAME_NEXT || key == configkeys::TX_NAME_NEXT) {
            if (!value.isDouble() || value.toDouble() < 0 || value.toDouble() > 1e6)
                problems->append(QStringLiteral("%1 must be a whole number").arg(key));
        } else if (switchKeys().contains(key)) {
            if (!value.isBool())
                problems->append(QStringLiteral("%1 must be true or false").arg(key));
        } else if (const Group *group = groupFor(key)) {
            checkGroup(*group, value, problems);
        } else if (key == SceneStore::CONFIG_KEY) {
            if (!SceneStore::fromJson(value, &scenes, &reason))
                problems->append(reason);
        } else if (key == ScheduleStore::CONFIG_KEY) {
            if (!ScheduleStore::fromJson(value, &schedules, &reason))
                problems->append(reason);
        } else if (key == SECRETS_KEY) {
            const QJsonObject secrets = value.toObject();
            if (!value.isObject())
                problems->append(QStringLiteral("secrets must be an object"));
            for (auto secret = secrets.constBegin(); secret != secrets.constEnd(); ++secret) {
                if (secret.key() == SECURITY_KEY)
                    checkStrings(
                        secret.key(), secret.value(), {QStringLiteral("password"), QStringLiteral("salt")}, problems);
                else if (secret.key() == QLatin1String("api"))
                    checkStrings(secret.key(), secret.value(),
                        {QStringLiteral("token_salt"), QStringLiteral("token_hash")}, problems);
                else if (secret.key() == MQTT_SECRET)
                    checkStrings(secret.key(), secret.value(), {QStringLiteral("password")}, problems);
                else
                    problems->append(QStringLiteral("secrets: unknown entry \"%1\"").arg(secret.key().left(40)));
            }
        } else {
            problems->append(QStringLiteral("unknown entry \"%1\"").arg(key.left(40)));
            continue;
        }
        accepted.insert(key, value);
    }
    // Read in key order, so the scenes are known only now.
    for (const Schedule &schedule : qAsConst(schedules)) {
        const bool known = std::any_of(scenes.cbegin(), scenes.cend(),
            [&](const Scene &scene) { return scene.name.compare(schedule.scene, Qt::CaseInsensitive) == 0; });
        if (schedule.action == Schedule::Action::RecallScene && !known)
            problems->append(
                QStringLiteral("schedule \"%1\" recalls the unknown scene \"%2\"").arg(schedule.name, schedule.scene));
    }
    if (!problems->isEmpty())
        return false;
    *keys = accepted;
    return true;
}

// Two imports within a second must not share one name: the second copy would fail, or
// replace the first import's record of what was there before.
QString ConfigurationTransfer::unusedCopyPath(const QString &current)
{
    const QString stem = current + QStringLiteral(".before-import-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString candidate = stem;
    for (int n = 2; QFile::exists(candidate); ++n)
        candidate = QStringLiteral("%1-%2").arg(stem).arg(n);
    return candidate;
}

// The copy holds the same secrets as the settings file.
bool ConfigurationTransfer::copyPrivately(const QString &from, const QString &to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    return writeFileDurably(to, source.readAll());
}

bool ConfigurationTransfer::fail(const QString &text)
{
    message = text;
    succeeded = false;
    qWarning().noquote() << "Configuration transfer:" << text;
    emit finished(false);
    return false;
}

bool ConfigurationTransfer::exportTo(const QString &target, bool withSecrets)
{
    const QString path = localPath(target);
    // A copy with the secrets in it is worth knowing about later.
    AuditOperation record(QStringLiteral("config.export"), path);
    const auto noted = qScopeGuard([this, &record, withSecrets] {
        if (succeeded)
            record.setAfter(QJsonObject {{QStringLiteral("with_secrets"), withSecrets}});
        else
            record.fail(QStringLiteral("internal"), message);
    });
    const QByteArray content = QJsonDocument(exportDocument(withSecrets)).toJson(QJsonDocument::Indented);
    QString reason;
    if (!writeFileDurably(path, content, &reason))
        return fail(tr("The configuration could not be written to %1 (%2).").arg(path, reason));
    message = tr("The configuration was saved to %1.").arg(path);
    succeeded = true;
    emit finished(true);
    return true;
}

bool ConfigurationTransfer::fileExists(const QString &target) const
{
    return QFileInfo::exists(localPath(target));
}

bool ConfigurationTransfer::load(const QString &path, QJsonObject *keys)
{
    if (config->isReadOnly())
        return fail(tr("Nothing was imported: the demo writes no settings. Start the program without the demo to "
                       "import a configuration."));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(tr("%1 could not be read.").arg(path));
    const QByteArray content = file.read(SIZE_LIMIT + 1);
    QStringList problems;
    bool foreign = false;
    if (read(content, keys, &problems, &foreign))
        return true;
    // The parser's words (a byte offset) help whoever reads the log, not the user.
    if (foreign) {
        qWarning().noquote() << "Configuration transfer:" << path << problems.join(QStringLiteral("; "));
        return fail(tr("This is not a configuration file of this program: %1").arg(path));
    }
    return fail(tr("Nothing was imported: %1").arg(problems.join(QStringLiteral("; "))));
}

bool ConfigurationTransfer::check(const QString &source)
{
    QJsonObject keys;
    if (!load(localPath(source), &keys))
        return false;
    message.clear();
    succeeded = true;
    emit finished(true);
    return true;
}

bool ConfigurationTransfer::importFrom(const QString &source)
{
    const QString path = localPath(source);
    AuditOperation record(QStringLiteral("config.import"), path);
    const auto noted = qScopeGuard([this, &record] {
        if (!succeeded)
            record.fail(QStringLiteral("refused"), message);
    });
    QJsonObject keys;
    if (!load(path, &keys))
        return false;
    const QString current = config->path();
    const QString copy = unusedCopyPath(current);
    if (QFile::exists(current) && !copyPrivately(current, copy))
        return fail(tr("Nothing was imported: the current configuration could not be copied to %1.").arg(copy));
    const QJsonObject secrets = keys.take(SECRETS_KEY).toObject();
    // Schedules name scenes: either one brought replaces both, so that no schedule is left
    // behind recalling a scene the import does not have.
    if (keys.contains(SceneStore::CONFIG_KEY) || keys.contains(ScheduleStore::CONFIG_KEY)) {
        for (const QString &key : {SceneStore::CONFIG_KEY, ScheduleStore::CONFIG_KEY}) {
            if (!keys.contains(key))
                keys.insert(key, QJsonArray());
        }
    }
    config->beginBatch();
    for (auto it = keys.constBegin(); it != keys.constEnd(); ++it) {
        const Group *group = groupFor(it.key());
        if (!group) {
            config->setValue(it.key(), it.value());
            continue;
        }
        // Field by field: the object in the settings file also holds secrets the file may
        // not bring; the fields it lacks go back to their defaults.
        const QJsonObject fields = it.value().toObject();
        for (const Field &field : group->fields) {
            const QString name = QLatin1String(field.name);
            config->setValue(QStringLiteral("%1/%2").arg(QLatin1String(group->configKey), name),
                fields.contains(name) ? fields.value(name) : QJsonValue(QJsonValue::Undefined));
        }
    }
    // The imported schedules start now: what fell due before they were here was not missed.
    if (keys.contains(ScheduleStore::CONFIG_KEY))
        config->setValue(Scheduler::LAST_CHECK_KEY, QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    if (secrets.contains(SECURITY_KEY))
        config->setValue(SECURITY_KEY, secrets.value(SECURITY_KEY));
    const QJsonObject token = secrets.value(QStringLiteral("api")).toObject();
    for (auto it = token.constBegin(); it != token.constEnd(); ++it)
        config->setValue(QStringLiteral("api/") + it.key(), it.value());
    const QJsonValue mqttPassword = secrets.value(MQTT_SECRET).toObject().value(QStringLiteral("password"));
    if (mqttPassword.isString())
        config->setValue(MQTT_PASSWORD, mqttPassword);
    if (!config->endBatch())
        return fail(tr("The settings file could not be written; the previous configuration is kept in %1.").arg(copy));
    // What the program still holds in memory (a save waiting, a schedule's bookkeeping)
    // must not be written over the imported settings before the restart reads them.
    config->setReadOnly(true);
    message = tr("The configuration was imported; the previous one is kept in %1. The program restarts.").arg(copy);
    succeeded = true;
    qInfo().noquote() << "Configuration imported from" << path << "; previous settings kept in" << copy;
    emit finished(true);
    emit imported();
    return true;
}
