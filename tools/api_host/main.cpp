// zentrova-api-host: runs the device manager, the control API's core and its web server
// without a window, in a home of its own, and prints a fresh token. With --demo the
// installation is the demo's; otherwise it is discovered, so run it only under
// scripts/netless or inside the test LAN: discovery broadcasts on every interface.
#include "base/audit_trail.h"
#include "base/json_config.h"
#include "base/oem_setting.h"
#include "control/command_set.h"
#include "manager/device_manager.h"
#include "models/device_list_model.h"
#include "remote/api_settings.h"
#include "remote/api_token.h"
#include "remote/api_users.h"
#include "remote/auth_throttle.h"
#include "remote/device_pairing.h"
#include "remote/own_certificate.h"
#include "remote/remote_service.h"
#include "remote/web_server.h"

#include <QCommandLineParser>
#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

// Debug lines of a large installation would drown what the caller reads.
void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        QTextStream(stderr) << message << Qt::endl;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietHandler);
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    QGuiApplication app(argc, argv);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption demo(QStringLiteral("demo"), QStringLiteral("The demo installation, no discovery."));
    const QCommandLineOption devices(QStringLiteral("devices"),
        QStringLiteral("Discover until this many devices are listed before saying ready."), QStringLiteral("n"));
    const QCommandLineOption address(QStringLiteral("address"), QStringLiteral("Listen address."), QStringLiteral("ip"),
        QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(
        QStringLiteral("port"), QStringLiteral("Port."), QStringLiteral("port"), QStringLiteral("7741"));
    const QCommandLineOption clients(QStringLiteral("max-clients"), QStringLiteral("WebSocket clients at once."),
        QStringLiteral("n"), QString::number(WebServerConfig::MAX_CLIENTS));
    const QCommandLineOption queued(QStringLiteral("max-queued"), QStringLiteral("Bytes queued per client."),
        QStringLiteral("bytes"), QString::number(WebServerConfig::MAX_QUEUED_BYTES));
    const QCommandLineOption rate(QStringLiteral("rate"), QStringLiteral("Commands per second per client."),
        QStringLiteral("n"), QString::number(WebServerConfig::COMMANDS_PER_SECOND));
    const QCommandLineOption tls(QStringLiteral("tls"),
        QStringLiteral("TLS with the controller's own certificate, made in the home; its fingerprint is printed."));
    parser.addOptions({demo, devices, address, port, clients, queued, rate, tls});
    parser.process(app);

    // Kept as the controller keeps it, so that what the API's figures show includes its cost.
    AuditTrail trail(home.path() + QStringLiteral("/audit.jsonl"));
    AuditTrail::install(&trail);
    OemSetting oem;
    DeviceManager manager(&oem);
    JsonConfig store(home.path() + QStringLiteral("/api.json"), false);
    ApiToken token(&store);
    ApiUsers users(&store, &token);
    AuthThrottle throttle;
    CommandSet core(&manager);
    DevicePairing pairing(&users);
    WebServer server(&core, &users, &throttle, &pairing);

    WebServerConfig config;
    config.address = QHostAddress(parser.value(address));
    config.port = quint16(parser.value(port).toUInt());
    config.maxClients = parser.value(clients).toInt();
    config.maxQueuedBytes = parser.value(queued).toLongLong();
    config.commandsPerSecond = parser.value(rate).toInt();
    if (parser.isSet(tls)) {
        QString error;
        ApiSettings settings;
        config.tls = RemoteService::tlsFor(settings, home.path(), &error);
        if (config.tls.isNull()) {
            out() << "error " << error << Qt::endl;
            return 1;
        }
        out() << "fingerprint " << OwnCertificate::fingerprint(config.tls.localCertificate()) << Qt::endl;
    }

    const int wanted = parser.value(devices).toInt();
    const auto listed = [&] { return manager.rxlist()->deviceCount() + manager.txlist()->rowCount(); };
    QTimer waitForDevices;
    const auto ready = [&] {
        if (!server.start(config)) {
            out() << "error " << server.errorString() << Qt::endl;
            app.exit(1);
            return;
        }
        out() << "token " << token.regenerate() << Qt::endl;
        out() << "ready " << listed() << " devices pid " << QCoreApplication::applicationPid() << Qt::endl;
    };
    if (parser.isSet(demo)) {
        manager.enterDemoMode();
        QTimer::singleShot(0, &app, ready);
    } else {
        manager.startDiscovery(false);
        waitForDevices.setInterval(50);
        QObject::connect(&waitForDevices, &QTimer::timeout, &app, [&] {
            if (listed() < wanted)
                return;
            waitForDevices.stop();
            ready();
        });
        waitForDevices.start();
    }
    return app.exec();
}
