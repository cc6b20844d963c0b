#pragma once

#include "control/command_extension.h"

#include <QJsonObject>
#include <QObject>

class DeviceManager;
class SceneService;

// The control API's scene and schedule commands, and their events, on the manager's scenes:
//  "scene.list" {} -> [{name, sources, power, active}]
//  "scene.save" {name, targets?: [decoder or wall names], power?: bool} -> the scene
//  "scene.recall" {name} -> {name, total}; then "scene.recall.progress" and "scene.recall.finished"
//  "scene.retry" {} -> {name, total}: the decoders of the last recall that did not confirm
//  "scene.report" {} -> the last recall's report
//  "scene.rename" {name, new_name}, "scene.delete" {name}
//  "schedule.list" {} -> [{name, action, scene?, time + weekdays | at, enabled}]
//  "schedule.enable" {name, enabled} -> {name, enabled}
// Events: "scene.active" {name|null}, "scenes.changed" {names}, and the recall's two.
class SceneCommands : public CommandExtension
{
    Q_OBJECT

public:
    // Both must outlive the commands.
    SceneCommands(DeviceManager *manager, SceneService *scenes, QObject *parent = nullptr);

    QVector<CommandEntry> methods() const override;
    RemoteAnswer execute(const QString &method, const QJsonObject &params) override;
    // The part of the state the scenes add: {active, names, recall}.
    QJsonObject state() const override;
    // A recall reaches the scene's screens and sources; a retry, whatever the last recall did.
    bool reach(const QString &method, const QJsonObject &params, QStringList *screens,
        QStringList *sources) const override;

private:
    RemoteAnswer save(const QJsonObject &params);
    RemoteAnswer recall(const QJsonObject &params);
    RemoteAnswer enableSchedule(const QJsonObject &params);
    QJsonObject report() const;
    QJsonArray sceneList() const;

    DeviceManager *manager;
    SceneService *scenes;
};
