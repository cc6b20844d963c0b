#include "app/composition.h"

#include "app/file_picker.h"
#include "app/process_control.h"
#include "app/qr_image_provider.h"
#include "base/audit_scope.h"
#include "base/audit_trail.h"
#include "base/logging.h"
#include "base/oem_setting.h"
#include "bridge/mqtt_bridge.h"
#include "control/command_set.h"
#include "control/scene_commands.h"
#include "health/diagnostics.h"
#include "health/health_commands.h"
#include "health/health_monitor.h"
#include "health/metrics_page.h"
#include "manager/device_manager.h"
#include "remote/api_settings.h"
#include "remote/line_server.h"
#include "remote/remote_service.h"
#include "remote/web_server.h"
#include "scenes/configuration_transfer.h"
#include "scenes/scene_service.h"
#include "web/web_remote.h"

#include <QCoreApplication>
#include <QDebug>
#include <QQmlContext>
#include <QQmlEngine>

#include <cstdio>

Composition::Composition(OemSetting *oem, const CommandLine &options)
    : options(options)
    , devices(std::make_unique<DeviceManager>(oem))
{
    QObject::connect(
        devices.get(), &DeviceManager::systemReset, devices.get(),
        [manager = devices.get(), headless = options.headless] {
            // A service manager starts the fresh copy; one started from here would be a
            // stray process outside its control.
            if (headless) {
                qInfo() << "Settings reset; ending so that the service manager starts a fresh copy";
                QCoreApplication::exit(0);
            } else if (!restartApplication()) {
                manager->reportRestartFailure();
            }
        },
        Qt::QueuedConnection);
    if (options.demo)
        devices->enterDemoMode();
    // Also the way back in for someone who has forgotten the settings password.
    if (options.factoryDefault) {
        const AuditScope scope(QStringLiteral("command line"));
        devices->doFactoryDefault();
    }

    // After the settings are loaded, so that the walls the scenes name are listed.
    sceneService = std::make_unique<SceneService>(devices.get(), devices->settingsStore());
    commandSet = std::make_unique<CommandSet>(devices.get());
    commandSet->extend(QStringLiteral("scene"), new SceneCommands(devices.get(), sceneService.get()));
    configurationTransfer = std::make_unique<ConfigurationTransfer>(devices->settingsStore(),
        QStringList {ApiSettings::KEY_TOKEN_SALT, ApiSettings::KEY_TOKEN_HASH, ApiSettings::KEY_TOKEN_STORED_KEY,
            ApiSettings::KEY_TOKEN_SERVER_KEY});
    QObject::connect(
        configurationTransfer.get(), &ConfigurationTransfer::imported, devices.get(), &DeviceManager::systemReset);
    filePicker = std::make_unique<FilePicker>();
    healthMonitor = std::make_unique<HealthMonitor>(devices.get(), sceneService.get());
    commandSet->extend(QStringLiteral("health"), new HealthCommands(healthMonitor.get()));
    diagnostics = std::make_unique<Diagnostics>(healthMonitor.get(), QString::fromLatin1(DeviceManager::CONFIG_PATH),
        logging::logFilePath(), oem->name() + QLatin1Char(' ') + oem->version());
    remoteService = std::make_unique<RemoteService>(devices.get(), commandSet.get());
    webRemote = std::make_unique<WebRemote>(
        devices.get(), remoteService->token(), remoteService->throttle(), remoteService->webServer());
    metricsPage = std::make_unique<MetricsPage>(healthMonitor.get(), remoteService->token(), remoteService->throttle());
    remoteService->webServer()->setExtraPaths(
        [page = webRemote.get(), metrics = metricsPage.get()](const HttpRequestHead &head, const QHostAddress &peer,
            HttpReply *reply) { return metrics->serve(head, peer, reply) || page->serve(head, peer, reply); });
    mqttBridge = std::make_unique<MqttBridge>(commandSet.get(), devices->settingsStore());
    mqttBridge->setUserLookup(
        [users = remoteService->users()](const QString &name, Actor *actor) { return users->actor(name, actor); });
    ControllerProbes probes;
    probes.lineClients = [service = remoteService.get()] { return service->lineServer()->clientCount(); };
    probes.webClients = [service = remoteService.get()] { return service->webServer()->clientCount(); };
    probes.mqttEnabled = [bridge = mqttBridge.get()] { return bridge->settings().enabled; };
    probes.mqttConnected = [bridge = mqttBridge.get()] { return bridge->isConnected(); };
    healthMonitor->setProbes(probes);
}

// Every client hears why its connection ends, whatever ended the event loop (a stop signal,
// the window's close, a restart), before the servers and the bridge are taken down.
Composition::~Composition()
{
    remoteService->closeAll(QStringLiteral("the controller is stopping"));
}

void Composition::start()
{
    ApiSettings apiSettings = remoteService->settings();
    apiSettings.enabled = apiSettings.enabled || options.api;
    remoteService->start(apiSettings);
    sceneService->startSchedules();

    MqttSettings mqttSettings = mqttBridge->settings();
    if (!options.mqttBroker.isNull()) {
        mqttSettings.enabled = mqttSettings.setBroker(options.mqttBroker);
        if (!mqttSettings.enabled)
            std::fprintf(stderr, "--mqtt takes HOST or HOST:PORT, not \"%s\"\n", qPrintable(options.mqttBroker));
    }
    if (!options.site.isNull())
        mqttSettings.site = options.site;
    mqttBridge->start(mqttSettings);
    healthMonitor->start();
}

void Composition::publish(QQmlContext *context) const
{
    context->setContextProperty(QStringLiteral("manager"), devices.get());
    context->setContextProperty(QStringLiteral("remoteApi"), remoteService.get());
    context->setContextProperty(QStringLiteral("scenes"), sceneService.get());
    context->setContextProperty(QStringLiteral("configTransfer"), configurationTransfer.get());
    context->setContextProperty(QStringLiteral("filePicker"), filePicker.get());
    context->setContextProperty(QStringLiteral("mqttBridge"), mqttBridge.get());
    context->setContextProperty(QStringLiteral("health"), healthMonitor.get());
    context->setContextProperty(QStringLiteral("diagnostics"), diagnostics.get());
    context->setContextProperty(QStringLiteral("auditTrail"), AuditTrail::installed());
    // The engine owns the provider.
    context->engine()->addImageProvider(QStringLiteral("qr"), new QrImageProvider);
}
