#include "app/command_line.h"
#include "app/composition.h"
#include "app/interface_setup.h"
#include "app/process_control.h"
#include "base/audit_operation.h"
#include "base/audit_scope.h"
#include "base/audit_trail.h"
#include "base/json_config.h"
#include "base/logging.h"
#include "base/oem_setting.h"
#include "health/diagnostics.h"
#include "manager/device_manager.h"
#include "manager/device_registry.h"
#include "platform/stop_signals.h"
#include "remote/api_token.h"
#include "remote/api_users.h"
#include "remote/own_certificate.h"
#include "remote/remote_service.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QMessageBox>
#include <QPixmap>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

#include <cstdio>
#include <memory>

namespace {

const char *const MAIN_QML = "qrc:/qml/main.qml";
// Without a window nobody presses "retry": the service looks for a usable interface again.
constexpr int HEADLESS_RETRY_MS = 10000;

// Answers --help and --version without touching the log, the guards or the display.
bool answerInformationRequest(const CommandLine &options, int argc, char *argv[])
{
    if (!options.help && !options.version)
        return false;
    QCoreApplication app(argc, argv);
    OemSetting oem;
    if (options.version)
        std::printf("%s %s\n", qPrintable(oem.name()), qPrintable(oem.version()));
    else
        std::printf("%s", qPrintable(CommandLine::usage(QFileInfo(QString::fromLocal8Bit(argv[0])).fileName())));
    return true;
}

// Needs no guard: it only reads, and a running copy's files are what support asks for.
int writeDiagnostics(const CommandLine &options, int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    OemSetting oem;
    const Diagnostics diagnostics(nullptr, QString::fromLatin1(DeviceManager::CONFIG_PATH),
        QString::fromLatin1(logging::DEFAULT_LOG_PATH), oem.name() + QLatin1Char(' ') + oem.version());
    QString error;
    if (!diagnostics.write(options.diagnostics, &error)) {
        std::fprintf(stderr, "The file for support could not be written to %s: %s\n", qPrintable(options.diagnostics),
            qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(options.diagnostics));
    return 0;
}

// Needs no guard: it only reads, and checks the running copy's trail as well as a copy's.
int verifyAuditTrail(const CommandLine &options, int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const AuditTrail::Verdict verdict = AuditTrail::verify(options.verifyAudit);
    if (verdict.intact) {
        std::printf("audit trail intact: %d lines\n", verdict.lines);
        return 0;
    }
    if (verdict.brokenAt == 0)
        std::printf("audit trail not checked: %s\n", qPrintable(verdict.what));
    else
        std::printf(
            "audit trail broken at line %d of %d: %s\n", verdict.brokenAt, verdict.lines, qPrintable(verdict.what));
    return 1;
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
    const AuditScope scope(QStringLiteral("command line"));
    AuditOperation record(QStringLiteral("users.credential"), ApiUsers::FIRST_ADMIN);
    const QString text = token.regenerate();
    if (text.isEmpty()) {
        record.fail(QStringLiteral("internal"), QStringLiteral("the new token could not be saved"));
        std::fprintf(stderr, "The new token could not be saved to %s\n", qPrintable(config.path()));
        return 1;
    }
    qInfo() << "Control API: a new token was made on the command line";
    std::printf("%s\n", qPrintable(text));
    return 0;
}

// Needs no guard: the running copy's certificate is the one to print. The controller's own
// is made here when it has none yet, so that a client can pin it before the first start.
int printApiFingerprint()
{
    JsonConfig config(QString::fromLatin1(DeviceManager::CONFIG_PATH), false);
    QString error;
    const QSslConfiguration tls = RemoteService::tlsFor(
        ApiSettings::load(config), QFileInfo(config.path()).absolutePath(), &error);
    if (tls.isNull()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(OwnCertificate::fingerprint(tls.localCertificate())));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const CommandLine options = CommandLine::parse(argc, argv);
    if (answerInformationRequest(options, argc, argv))
        return 0;
    if (!options.diagnostics.isNull())
        return writeDiagnostics(options, argc, argv);
    if (!options.verifyAudit.isNull())
        return verifyAuditTrail(options, argc, argv);
    if (options.apiFingerprint) {
        QCoreApplication app(argc, argv);
        return printApiFingerprint();
    }

    QApplication::setAttribute(Qt::AA_DisableHighDpiScaling, true);
    QApplication::setAttribute(Qt::AA_SynthesizeMouseForUnhandledTouchEvents, true);

    if (options.reset) {
        if (!takeNamedMutex(restartMutex, QString::fromLatin1(RESTART_MUTEX_NAME), RESTART_WAIT_MS))
            return 1;
        restartMutex.reset();
    }

    // No display is needed nor wanted; the platform still has to exist for the toolkit.
    const bool windowless = options.headless || options.newApiToken;
    if (windowless && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    registerInterfaceTypes();

    QApplication app(argc, argv);
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    OemSetting oem;
    QApplication::setWindowIcon(QIcon(QPixmap(oem.icon())));

    logging::install();
    AuditTrail auditTrail;
    AuditTrail::install(&auditTrail);
    qInfo() << "---------------------------------------------------";
    qInfo() << "- System Start!";
    qInfo() << "---------------------------------------------------";

    // A service manager's stop, Ctrl+C or a closed terminal end the event loop like the
    // window's close does, so that everything made below is taken down in order and what
    // is waiting to be saved is written.
    platform::StopSignals stopSignals;
    QObject::connect(&stopSignals, &platform::StopSignals::stopRequested, &app, [](const QString &reason) {
        qInfo().noquote() << "Stopping on" << reason;
        QCoreApplication::exit(0);
    });

    QTranslator translator;
    const QString language = loadLanguage(&app, &translator);

    if (!takeNamedMutex(singletonMutex, QString::fromLatin1(SINGLETON_MUTEX_NAME), 0)) {
        showSecondInstanceError();
        return 2;
    }

    // For a service without a window, the only way to learn a token. Taken under the guard,
    // so that no running copy holds the settings in memory and writes the old token back.
    if (options.newApiToken)
        return printNewApiToken();

    QApplication::setFont(interfaceFont(language));

    Composition composition(&oem, options);
    composition.start();

    if (options.headless) {
        // A service asked for TLS it cannot have stops, so that its supervisor sees it.
        if (composition.remote()->tlsRefused()) {
            std::fprintf(stderr, "%s\n", qPrintable(composition.remote()->status()));
            return RemoteService::EXIT_TLS_UNAVAILABLE;
        }
        qInfo() << "Running without a window";
        if (!composition.manager()->demoMode())
            discoverWithoutWindow(composition.manager());
        return app.exec();
    }

    chooseRenderer();
    // Gone before the objects its QML binds to.
    QQmlApplicationEngine engine;
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreated, &app,
        [](QObject *object, const QUrl &createdUrl) {
            if (!object && createdUrl == QUrl(QString::fromLatin1(MAIN_QML)))
                QCoreApplication::exit(-1);
        },
        Qt::QueuedConnection);
    composition.publish(engine.rootContext());
    engine.rootContext()->setContextProperty(QStringLiteral("oem"), &oem);
    engine.load(QUrl(QString::fromLatin1(MAIN_QML)));
    return app.exec();
}
