#include "scenes/scene_store.h"

const QString SceneStore::CONFIG_KEY = QStringLiteral("scenes");

SceneStore::SceneStore(JsonConfig *config, QObject *parent)
    : RecordStore<Scene>(config, CONFIG_KEY, SCENE_LIMIT, parent)
{
}

bool SceneStore::fromJson(const QJsonValue &value, QVector<Scene> *scenes, QString *reason)
{
    return RecordStore<Scene>::fromJson(value, CONFIG_KEY, SCENE_LIMIT, scenes, reason);
}
