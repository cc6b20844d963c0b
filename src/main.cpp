#include "bridge/mqtt_bridge.h"
#include "common.h"
#include "json_config.h"
#include "logging.h"
#include "manager/device_manager.h"
#include "manager/device_registry.h"
#include "oem_setting.h"
#include "remote/remote_service.h"
#include "scenes/configuration_transfer.h"
#include "scenes/scene_service.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QMessageBox>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPixmap>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

const char *const MAIN_QML = "qrc:/qml/main.qml";
// Without a window nobody presses "retry": the service looks for a usable interface again.
constexpr int HEADLESS_RETRY_MS = 10000;

bool hasArgument(int argc, char *argv[], const char *argument)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], argument) == 0)
            return true;
    }
    return false;
}

// The word after `argument`, or a null string.
QString argumentValue(int argc, char *argv[], const char *argument)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], argument) == 0)
            return QString::fromLocal8Bit(argv[i + 1]);
    }
    return QString();
}

bool hasResetArgument(int argc, char *argv[])
{
    for (int i = 1; i < argc && argv[i] && argv[i][0]; ++i) {
        if (QString::fromLocal8Bit(argv[i]).toLower() == QLatin1String("/reset"))
            return true;
    }
    return false;
}

// Answers --help and --version without touching the log, the guards or the display.
bool answerInformationRequest(int argc, char *argv[], int *exitCode)
{
    const bool help = hasArgument(argc, argv, "--help") || hasArgument(argc, argv, "-h");
    const bool version = hasArgument(argc, argv, "--version");
    if (!help && !version)
        return false;
    QCoreApplication app(argc, argv);
    OemSetting oem;
    if (version) {
        std::printf("%s %s\n", qPrintable(oem.name()), qPrintable(oem.version()));
    } else {
        std::printf("Usage: %s [/reset] [--demo] [--headless] [--api] [--mqtt HOST[:PORT]] [--site NAME] [--factory-default] [--version] [--help]\n"
                    "Controls the encoders and decoders of an AV-over-IP installation on this LAN.\n\n"
                    "  /reset             wait up to 6 seconds for a previous copy that is restarting to end\n"
                    "  --demo             show a made-up installation instead of searching the LAN\n"
                    "  --headless         run as a service without a window: discovery and the control API\n"
                    "  --api              switch the control API on, whatever the settings say\n"
                    "  --mqtt HOST[:PORT] publish to the MQTT broker HOST (port 1883 unless given)\n"
                    "  --site NAME        the site's name on the broker (default: the host name)\n"
                    "  --new-api-token    make a new control API token, print it once and end\n"
                    "  --factory-default  delete the settings (password included) and start afresh\n"
                    "  --version          print the product name and version\n"
                    "  --help             print this help\n\n"
                    "Log: ~/.zentrova/zentrova.log  Settings: ~/.zentrova/config.json\n"
                    "Beside the program: custom.json (branding), lang.cfg (en_US, zh_CN or zh_TW)\n",
            QFileInfo(QString::fromLocal8Bit(argv[0])).fileName().toLocal8Bit().constData());
    }
    *exitCode = 0;
    return true;
}

// Without OpenGL the scene graph aborts the program, and OpenGL drawn by the processor redraws
// the whole window for every video frame: draw in software in both cases.
void chooseRenderer()
{
    if (qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        return;
    QOpenGLContext probe;
    if (probe.create()) {
        QOffscreenSurface surface;
        surface.create();
        if (!probe.makeCurrent(&surface))
            return;
        const QByteArray renderer(reinterpret_cast<const char *>(probe.functions()->glGetString(GL_RENDERER)));
        probe.doneCurrent();
        if (!isSoftwareRasterizer(renderer))
            return;
        qInfo() << "OpenGL is drawn by the processor (" << renderer << "), drawing the window in software";
    } else {
        qWarning() << "OpenGL is not available, drawing in software";
    }
    QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
}

void showSecondInstanceError()
{
    const QString title = QApplication::translate("QApplication", "Error");
    const QString text = QApplication::translate("QApplication", "Only one instance can run at the same time!");
    std::fprintf(stderr, "%s\n", qPrintable(text));
    // Nobody could ever close the box on a headless platform; the line above has said it.
    if (!isHeadlessPlatform())
        QMessageBox::critical(nullptr, title, text, QMessageBox::Ok);
}

// The window starts the search once its start screen has gone; without one it starts at
// once, and keeps trying while no interface can be used.
void discoverWithoutWindow(DeviceManager *manager)
{
    auto *retry = new QTimer(manager);
    retry->setInterval(HEADLESS_RETRY_MS);
    const auto attempt = [manager, retry] {
        DeviceRegistry *registry = manager->deviceRegistry();
        if (!registry->startDiscovery(false)) {
            qWarning().noquote() << "No usable network interface for discovery (" << registry->errorString()
                                 << "); trying again in" << HEADLESS_RETRY_MS / 1000 << "s";
            retry->start();
            return;
        }
        retry->stop();
        qInfo() << "Discovery started";
        registry->sendDiscoveryMessage();
    };
    QObject::connect(retry, &QTimer::timeout, manager, attempt);
    attempt();
}

int printNewApiToken()
{
    JsonConfig config(QString::fromLatin1(DeviceManager::CONFIG_PATH), false);
    ApiToken token(&config);
    const QString text = token.regenerate();
    if (text.isEmpty()) {
        std::fprintf(stderr, "The new token could not be saved to %s\n", qPrintable(config.path()));
        return 1;
    }
    qInfo() << "Control API: a new token was made on the command line";
    std::printf("%s\n", qPrintable(text));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    int informationExit = 0;
    if (answerInformationRequest(argc, argv, &informationExit))
        return informationExit;

    QApplication::setAttribute(Qt::AA_DisableHighDpiScaling, true);
    QApplication::setAttribute(Qt::AA_SynthesizeMouseForUnhandledTouchEvents, true);

    if (hasResetArgument(argc, argv)) {
        if (!takeNamedMutex(restartMutex, QString::fromLatin1(RESTART_MUTEX_NAME), RESTART_WAIT_MS))
            return 1;
        restartMutex.reset();
    }

    const bool headless = hasArgument(argc, argv, "--headless");
    // No display is needed nor wanted; the platform still has to exist for the toolkit.
    const bool windowless = headless || hasArgument(argc, argv, "--new-api-token");
    if (windowless && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    registerInterfaceTypes();

    auto app = std::make_unique<QApplication>(argc, argv);
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    auto oem = std::make_unique<OemSetting>(app.get());
    auto pixmap = std::make_unique<QPixmap>(oem->icon());
    auto icon = std::make_unique<QIcon>(*pixmap);
    QApplication::setWindowIcon(*icon);

    logging::install();
    qInfo() << "---------------------------------------------------";
    qInfo() << "- System Start!";
    qInfo() << "---------------------------------------------------";

    auto translator = std::make_unique<QTranslator>();
    loadLanguage(app.get(), translator.get());

    if (!takeNamedMutex(singletonMutex, QString::fromLatin1(SINGLETON_MUTEX_NAME), 0)) {
        showSecondInstanceError();
        return 2;
    }

    // For a service without a window, the only way to learn a token. Taken under the guard,
    // so that no running copy holds the settings in memory and writes the old token back.
    if (hasArgument(argc, argv, "--new-api-token"))
        return printNewApiToken();

    auto families = std::make_unique<QStringList>(
        QStringList {QStringLiteral("Microsoft Yahei UI Light"), QStringLiteral("Microsoft Yahei Light"),
            QStringLiteral("Microsoft Yahei"), QStringLiteral("Tahoma"), QStringLiteral("Arial")});
    auto font = std::make_unique<QFont>();
    font->setFamilies(*families);
    font->setPointSize(14);
    QApplication::setFont(*font);

    auto manager = std::make_unique<DeviceManager>(oem.get(), app.get());
    QObject::connect(
        manager.get(), &DeviceManager::systemReset, app.get(),
        [manager = manager.get(), headless] {
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
    if (hasArgument(argc, argv, "--demo"))
        manager->enterDemoMode();
    // Also the way back in for someone who has forgotten the settings password.
    if (hasArgument(argc, argv, "--factory-default"))
        manager->doFactoryDefault();

    auto remote = std::make_unique<RemoteService>(manager.get());
    ApiSettings apiSettings = remote->settings();
    apiSettings.enabled = apiSettings.enabled || hasArgument(argc, argv, "--api");
    remote->start(apiSettings);
    manager->scenes()->startSchedules();
    ConfigurationTransfer transfer(manager->settingsStore());
    QObject::connect(&transfer, &ConfigurationTransfer::imported, manager.get(), &DeviceManager::systemReset);

    auto bridge = std::make_unique<MqttBridge>(remote->core(), manager->settingsStore());
    MqttSettings mqttSettings = bridge->settings();
    const QString broker = argumentValue(argc, argv, "--mqtt");
    if (!broker.isNull()) {
        mqttSettings.enabled = mqttSettings.setBroker(broker);
        if (!mqttSettings.enabled)
            std::fprintf(stderr, "--mqtt takes HOST or HOST:PORT, not \"%s\"\n", qPrintable(broker));
    }
    const QString site = argumentValue(argc, argv, "--site");
    if (!site.isNull())
        mqttSettings.site = site;
    bridge->start(mqttSettings);

    if (headless) {
        qInfo() << "Running without a window";
        if (!manager->demoMode())
            discoverWithoutWindow(manager.get());
        const int result = app->exec();
        bridge.reset();
        remote.reset();
        manager.reset();
        return result;
    }

    chooseRenderer();
    auto engine = std::make_unique<QQmlApplicationEngine>();
    auto url = std::make_unique<QUrl>(QString::fromLatin1(MAIN_QML));
    QObject::connect(
        engine.get(), &QQmlApplicationEngine::objectCreated, app.get(),
        [](QObject *object, const QUrl &createdUrl) {
            if (!object && createdUrl == QUrl(QString::fromLatin1(MAIN_QML)))
                QCoreApplication::exit(-1);
        },
        Qt::QueuedConnection);
    engine->rootContext()->setContextProperty(QStringLiteral("manager"), manager.get());
    engine->rootContext()->setContextProperty(QStringLiteral("oem"), oem.get());
    engine->rootContext()->setContextProperty(QStringLiteral("remoteApi"), remote.get());
    engine->rootContext()->setContextProperty(QStringLiteral("scenes"), manager->scenes());
    engine->rootContext()->setContextProperty(QStringLiteral("configTransfer"), &transfer);
    engine->rootContext()->setContextProperty(QStringLiteral("mqttBridge"), bridge.get());
    engine->load(*url);
    const int result = app->exec();

    url.reset();
    engine.reset();
    bridge.reset();
    remote.reset();
    manager.reset();
    families.reset();
    font.reset();
    translator.reset();
    icon.reset();
    pixmap.reset();
    oem.reset();
    app.reset();
    return result;
}
