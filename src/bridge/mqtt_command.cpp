#include "bridge/mqtt_command.h"

#include "base/network_json.h"
#include "control/command_set.h"

#include <QJsonDocument>
#include <QStringList>
#include <QTextCodec>

const QString MqttCommand::NONE = QStringLiteral("none");

namespace {

MqttCommand refused(int code, const QString &message)
{
    MqttCommand command;
    command.code = code;
    command.message = message;
    return command;
}

MqttCommand accepted(const QString &method, const QJsonObject &params)
{
    MqttCommand command;
    command.ok = true;
    command.method = method;
    command.params = params;
    return command;
}

// "on"/"off" and the spellings switches commonly send; false when it is none of them.
bool readSwitch(const QString &text, const char *onWord, const char *offWord, bool *on)
{
    const QString word = text.toLower();
    if (word == QLatin1String(onWord) || word == QLatin1String("on") || word == QLatin1String("true")
        || word == QLatin1String("1")) {
        *on = true;
        return true;
    }
    if (word == QLatin1String(offWord) || word == QLatin1String("off") || word == QLatin1String("false")
        || word == QLatin1String("0")) {
        *on = false;
        return true;
    }
    return false;
}

MqttCommand routeOrClear(const QString &source, const QJsonValue &target)
{
    if (source.compare(MqttCommand::NONE, Qt::CaseInsensitive) == 0)
        return accepted(QStringLiteral("clear"), {{QStringLiteral("target"), target}});
    return accepted(QStringLiteral("route"), {{QStringLiteral("source"), source}, {QStringLiteral("target"), target}});
}

MqttCommand readRoute(const QByteArray &payload)
{
    QString error;
    const QJsonDocument document = networkjson::parse(payload, &error);
    if (!document.isObject())
        return refused(BadArguments, QStringLiteral("route takes {\"source\": ..., \"target\": ...}"));
    const QJsonObject object = document.object();
    const QJsonValue source = object.value(QStringLiteral("source"));
    const QJsonValue target = object.value(QStringLiteral("target"));
    if (!target.isString())
        return refused(BadArguments, QStringLiteral("target is missing"));
    if (source.isNull())
        return accepted(QStringLiteral("clear"), {{QStringLiteral("target"), target}});
    if (!source.isString())
        return refused(BadArguments, QStringLiteral("source is missing"));
    return routeOrClear(source.toString().trimmed(), target);
}

} // namespace

MqttCommand MqttCommand::read(const QString &tail, const QByteArray &payload, bool retained)
{
    // A kept command would be carried out again by every later start: an old route replayed.
    if (retained)
        return refused(Refused, QStringLiteral("retained commands are not carried out"));
    if (payload.size() > MAX_PAYLOAD)
        return refused(TooLarge, QStringLiteral("a command holds at most %1 bytes").arg(MAX_PAYLOAD));
    QTextCodec::ConverterState state(QTextCodec::ConvertInvalidToNull);
    const QString text = QTextCodec::codecForName("UTF-8")->toUnicode(payload.constData(), payload.size(), &state);
    if (state.invalidChars > 0 || state.remainingChars > 0)
        return refused(BadArguments, QStringLiteral("the payload is not UTF-8 text"));
    const QString value = text.trimmed();

    const QStringList levels = tail.split(QLatin1Char('/'));
    if (levels.size() == 2 && levels.at(1) == QLatin1String("set")) {
        const QString &what = levels.at(0);
        bool on = false;
        if (what == QLatin1String("power")) {
            if (!readSwitch(value, "on", "off", &on))
                return refused(BadArguments, QStringLiteral("power is \"on\" or \"off\""));
            return accepted(QStringLiteral("power"), {{QStringLiteral("on"), on}});
        }
        if (what == QLatin1String("numbers")) {
            if (!readSwitch(value, "show", "hide", &on))
                return refused(BadArguments, QStringLiteral("numbers is \"show\" or \"hide\""));
            return accepted(QStringLiteral("numbers"), {{QStringLiteral("show"), on}});
        }
        if (what == QLatin1String("route"))
            return readRoute(payload);
        if (what == QLatin1String("scene")) {
            if (value.isEmpty())
                return refused(BadArguments, QStringLiteral("name a scene"));
            return accepted(QStringLiteral("scene.recall"), {{QStringLiteral("name"), value}});
        }
    }
    if (levels.size() == 4 && levels.at(3) == QLatin1String("set")
        && (levels.at(0) == QLatin1String("decoder") || levels.at(0) == QLatin1String("wall"))
        && !levels.at(1).isEmpty()) {
        MqttCommand command;
        bool on = false;
        if (levels.at(2) == QLatin1String("source")) {
            if (value.isEmpty())
                return refused(BadArguments, QStringLiteral("name an encoder, or \"none\""));
            command = routeOrClear(value, QJsonValue());
        } else if (levels.at(2) == QLatin1String("power")) {
            if (!readSwitch(value, "on", "off", &on))
                return refused(BadArguments, QStringLiteral("power is \"on\" or \"off\""));
            command = accepted(QStringLiteral("power"), {{QStringLiteral("on"), on}});
        } else {
            return refused(UnknownCommand, QStringLiteral("there is no command on this topic"));
        }
        command.kind = levels.at(0);
        command.targetLevel = levels.at(1);
        return command;
    }
    return refused(UnknownCommand, QStringLiteral("there is no command on this topic"));
}
