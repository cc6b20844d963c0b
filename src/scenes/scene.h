#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>

// A named picture of the room: the encoder each covered decoder or wall shows (by device
// name, empty for none), and optionally whether the displays are on.
struct Scene
{
    enum class Power { Unchanged, On, Off };

    static constexpr int TARGET_LIMIT = 2048;

    QString name;
    QMap<QString, QString> sources;
    Power power = Power::Unchanged;

    QJsonObject toJson() const;
    // False, with the reason, for a record that is not a scene or breaks a limit.
    static bool fromJson(const QJsonValue &value, Scene *scene, QString *reason);
};
