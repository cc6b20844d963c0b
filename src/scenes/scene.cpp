#include "scenes/scene.h"

#include "base/name_rules.h"

#include <QJsonValue>

namespace {

const QString NAME = QStringLiteral("name");
const QString SOURCES = QStringLiteral("sources");
const QString POWER = QStringLiteral("power");

} // namespace

QJsonObject Scene::toJson() const
{
    QJsonObject routes;
    for (auto it = sources.cbegin(); it != sources.cend(); ++it)
        routes.insert(it.key(), it.value());
    QJsonObject object {{NAME, name}, {SOURCES, routes}};
    if (power != Power::Unchanged)
        object.insert(POWER, power == Power::On);
    return object;
}

bool Scene::fromJson(const QJsonValue &value, Scene *scene, QString *reason)
{
    const QJsonObject object = value.toObject();
    Scene read;
    read.name = object.value(NAME).toString();
    if (!value.isObject() || !NameRules::sceneName(read.name)) {
        *reason = QStringLiteral("a scene without a valid name");
        return false;
    }
    const QJsonValue routes = object.value(SOURCES);
    if (!routes.isObject() || routes.toObject().size() > TARGET_LIMIT) {
        *reason = QStringLiteral("scene \"%1\": sources must be an object of at most %2 entries")
                      .arg(read.name)
                      .arg(TARGET_LIMIT);
        return false;
    }
    const QJsonObject map = routes.toObject();
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        if (it.key().isEmpty() || !it.value().isString() || !NameRules::printable(it.key())
            || !NameRules::printable(it.value().toString())) {
            *reason = QStringLiteral("scene \"%1\": a source entry is not a pair of names").arg(read.name);
            return false;
        }
        read.sources.insert(it.key(), it.value().toString());
    }
    const QJsonValue power = object.value(POWER);
    if (!power.isUndefined() && !power.isBool()) {
        *reason = QStringLiteral("scene \"%1\": power must be true or false").arg(read.name);
        return false;
    }
    read.power = power.isUndefined() ? Power::Unchanged : (power.toBool() ? Power::On : Power::Off);
    *scene = read;
    return true;
}
