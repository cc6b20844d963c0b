#pragma once

#include "scenes/named_records.h"
#include "scenes/scene.h"

// The saved scenes, in the order they were made.
class SceneStore : public RecordStore<Scene>
{
public:
    static const QString CONFIG_KEY;
    static constexpr int SCENE_LIMIT = 200;

    explicit SceneStore(JsonConfig *config, QObject *parent = nullptr);

    static bool fromJson(const QJsonValue &value, QVector<Scene> *scenes, QString *reason);
};
