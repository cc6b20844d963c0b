#pragma once

#include "app/command_line.h"

#include <memory>

class CommandSet;
class ConfigurationTransfer;
class DeviceManager;
class Diagnostics;
class FilePicker;
class HealthMonitor;
class MetricsPage;
class MqttBridge;
class OemSetting;
class QQmlContext;
class RemoteService;
class SceneService;
class WebRemote;

// The one place that makes the subsystems and joins them up: the lower ones never know the
// higher ones, so whatever they must reach above them is handed to them here.
class Composition
{
public:
    // Makes the manager (its settings loaded), applies --demo and --factory-default, then makes
    // everything that works on it; nothing listens or runs a schedule until start(). The
    // branding must outlive the composition.
    Composition(OemSetting *oem, const CommandLine &options);
    ~Composition();

    // The control API (switched on by --api too), the schedules and the MQTT bridge (--mqtt, --site).
    void start();
    // What the window's QML reaches: manager, remoteApi, scenes, configTransfer, filePicker, mqttBridge,
    // health, diagnostics, and QR codes as "image://qr/TEXT".
    void publish(QQmlContext *context) const;

    DeviceManager *manager() const { return devices.get(); }
    SceneService *scenes() const { return sceneService.get(); }
    CommandSet *commands() const { return commandSet.get(); }
    RemoteService *remote() const { return remoteService.get(); }
    MqttBridge *bridge() const { return mqttBridge.get(); }
    ConfigurationTransfer *transfer() const { return configurationTransfer.get(); }
    HealthMonitor *health() const { return healthMonitor.get(); }

private:
    CommandLine options;
    // Declared in the order they are made; they go in reverse.
    std::unique_ptr<DeviceManager> devices;
    std::unique_ptr<SceneService> sceneService;
    std::unique_ptr<CommandSet> commandSet;
    std::unique_ptr<ConfigurationTransfer> configurationTransfer;
    std::unique_ptr<HealthMonitor> healthMonitor;
    std::unique_ptr<Diagnostics> diagnostics;
    // Before the service, so that it is gone only after the service's server threads, which
    // call into it, have stopped.
    std::unique_ptr<WebRemote> webRemote;
    std::unique_ptr<MetricsPage> metricsPage;
    std::unique_ptr<RemoteService> remoteService;
    std::unique_ptr<MqttBridge> mqttBridge;
    std::unique_ptr<FilePicker> filePicker;
};
