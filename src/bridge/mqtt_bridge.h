#pragma once

#include "bridge/mqtt_settings.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

class MqttClient;
class RemoteCore;

// The installation on a broker: its state as retained topics under "zentrova/SITE/",
// Home Assistant's discovery configs, and commands from the "…/set" topics carried out
// through the control API's core, so that they are checked exactly as the API's are.
//
// What is on the broker is kept as a map of topic to payload. Every change of the
// installation recomputes the map (once per turn of the event loop, however many changes
// came together) and publishes only the difference; a topic that is no longer wanted is
// cleared with an empty retained message. After every (re)connection the whole map goes
// out again, since the broker may have lost it.
class MqttBridge : public QObject
{
    Q_OBJECT

public:
    MqttBridge(RemoteCore *core, QObject *parent = nullptr);
    ~MqttBridge() override;

    // Connects to the settings' broker (or only disconnects when they are off).
    // False, with status(), when the settings cannot be used.
    bool start(const MqttSettings &settings);
    void stop();

    MqttSettings settings() const { return current; }
    bool isConnected() const;
    QString status() const;
    // Topics and payloads as last published (for the tests and the benchmark).
    const QHash<QString, QByteArray> &published() const { return retained; }

signals:
    void connectionChanged(bool connected);
    // After a difference went to the broker; `count` messages.
    void publishedChanges(int count);

private:
    void scheduleRefresh();
    void refresh();
    void onConnected();
    void onMessage(const QString &topic, const QByteArray &payload, bool retained);
    void refuse(const QString &topic, int code, const QString &message);
    QHash<QString, QByteArray> wanted();

    RemoteCore *core;
    MqttClient *client;
    MqttSettings current;
    QString root;
    QTimer refreshTimer;
    QHash<QString, QByteArray> retained;
    // Published in an earlier session and perhaps not wanted any more.
    QSet<QString> leftOver;
    // Topic level to device name, to find what a "…/set" topic names.
    QHash<QString, QString> decoderLevels;
    QHash<QString, QString> wallLevels;
};
