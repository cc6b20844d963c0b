#include "remote/remote_service.h"

#include "base/audit_operation.h"
#include "base/json_config.h"
#include "control/command_set.h"
#include "manager/device_manager.h"
#include "remote/line_server.h"
#include "remote/own_certificate.h"
#include "remote/tls_listener.h"
#include "remote/user_commands.h"
#include "remote/web_server.h"

#include <QDebug>
#include <QFileInfo>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QSet>
#include <QSslSocket>

#include <algorithm>

RemoteService::RemoteService(DeviceManager *manager, CommandSet *commands, QObject *parent)
    : QObject(parent)
    , manager(manager)
    , apiToken(manager->settingsStore())
    , apiUsers(manager->settingsStore(), &apiToken)
    , devicePairing(&apiUsers)
    , remoteCore(commands)
    , line(new LineServer(remoteCore, &apiUsers, &authThrottle, this))
    , web(new WebServer(remoteCore, &apiUsers, &authThrottle, &devicePairing, this))
    , current(ApiSettings::load(*manager->settingsStore()))
{
    apiToken.migrate();
    remoteCore->extend(QString(), new UserCommands(&apiUsers, remoteCore, &devicePairing));
    devicePairing.setLinks([this](const QString &code) {
        const QString address = webRemoteAddress();
        return address.isEmpty() ? QString() : address + QStringLiteral("/#pair=") + code;
    });
    connect(&devicePairing, &DevicePairing::traded, this, &RemoteService::devicePaired);
    connect(&apiUsers, &ApiUsers::ended, this, [this](const QString &user, const QString &reason) {
        line->disconnectUser(user, reason);
        web->disconnectUser(user, reason);
    });
    connect(&apiUsers, &ApiUsers::changed, this, &RemoteService::usersChanged);
}

RemoteService::~RemoteService()
{
    // The servers' sessions reach the core; they go first.
    delete line;
    delete web;
}

QVariantMap RemoteService::command(const QString &method, const QVariantMap &params)
{
    const RemoteAnswer answer = remoteCore->execute(Actor::window(), method, QJsonObject::fromVariantMap(params));
    return {{QStringLiteral("ok"), answer.ok}, {QStringLiteral("result"), answer.result.toVariant()},
        {QStringLiteral("error"), answer.message}, {QStringLiteral("code"), answer.code}};
}

void RemoteService::closeAll(const QString &reason)
{
    line->disconnectAll(reason);
    web->disconnectAll(reason);
}

bool RemoteService::start(const ApiSettings &settings)
{
    current = settings;
    emit settingsChanged();
    line->close();
    web->stop();
    refusedTls = false;
    certificateFingerprint.clear();
    if (!current.enabled) {
        qInfo() << "Control API: off";
        setProblem(QString());
        emit statusChanged();
        return true;
    }
    if (!apiToken.isSet())
        qWarning() << "Control API: no token has been made yet; no client can authenticate";
    QString why;
    const QSslConfiguration tls
        = tlsFor(current, QFileInfo(manager->settingsStore()->path()).absolutePath(), &why);
    if (tls.isNull())
        return refuse(tr("TLS cannot be had (%1): the control API stays off, every port. Name a readable PEM "
                         "certificate and its key, or neither, for the controller's own.")
                          .arg(why),
            true);
    certificateFingerprint = OwnCertificate::fingerprint(tls.localCertificate());
    qInfo().noquote() << "Control API: TLS certificate SHA-256 fingerprint" << certificateFingerprint;
    const auto listenError = [this](quint16 port, const QString &error) {
        return tr("The control API cannot listen on %1 port %2: %3").arg(current.listenAddress).arg(port).arg(error);
    };
    if (!line->listenTls(current.address(), current.lineTlsPort, tls))
        return refuse(listenError(current.lineTlsPort, line->errorString()), true);
    if (current.plainLine) {
        qWarning().noquote() << "Control API: the line protocol's plain port" << current.linePort
                             << "is open: whoever can watch the network reads its commands and events";
        if (!line->listen(current.address(), current.linePort))
            return refuse(listenError(current.linePort, line->errorString()), false);
    }
    WebServerConfig webConfig;
    webConfig.address = current.address();
    webConfig.port = current.webPort;
    if (current.webTls)
        webConfig.tls = tls;
    else
        qWarning().noquote() << "Control API: the web port" << current.webPort
                             << "serves without TLS: switch TLS on in the API settings unless the network is closed";
    if (!web->start(webConfig))
        return refuse(web->errorString(), current.webTls);
    setProblem(QString());
    // Stopped and started again, the servers may run where the old ones did not.
    emit statusChanged();
    return true;
}

QSslConfiguration RemoteService::tlsFor(const ApiSettings &settings, const QString &settingsFolder, QString *error)
{
    if (!QSslSocket::supportsSsl()) {
        *error = tr("this system's Qt cannot load OpenSSL");
        return QSslConfiguration();
    }
    if (!settings.tlsCertificate.isEmpty() || !settings.tlsKey.isEmpty())
        return TlsListener::loadTls(settings.tlsCertificate, settings.tlsKey, error);
    OwnCertificate own(settingsFolder);
    if (!own.ensure(error))
        return QSslConfiguration();
    return TlsListener::loadTls(own.certificatePath(), own.keyPath(), error);
}

bool RemoteService::refuse(const QString &why, bool tls)
{
    // Half an API would answer on one port while the page says it is not running.
    line->close();
    web->stop();
    certificateFingerprint.clear();
    refusedTls = tls;
    setProblem(why);
    qCritical().noquote() << "Control API:" << problem;
    emit statusChanged();
    return false;
}

bool RemoteService::running() const
{
    return line->isListening() && web->isRunning();
}

QString RemoteService::configure(bool enabled, int lineTlsPort, int linePort, bool plainLine, int webPort,
    bool webTls, const QString &listenAddress, const QString &tlsCertificate, const QString &tlsKey)
{
    const auto described = [](const ApiSettings &settings) {
        return QJsonObject {{QStringLiteral("enabled"), settings.enabled},
            {QStringLiteral("line_tls_port"), settings.lineTlsPort}, {QStringLiteral("line_port"), settings.linePort},
            {QStringLiteral("plain_line"), settings.plainLine}, {QStringLiteral("web_port"), settings.webPort},
            {QStringLiteral("web_tls"), settings.webTls}, {QStringLiteral("listen_address"), settings.listenAddress},
            {QStringLiteral("tls_certificate"), settings.tlsCertificate}};
    };
    AuditOperation record(QStringLiteral("settings.api"), QStringLiteral("control API"), described(current));
    const auto refused = [&record](const QString &reason) {
        record.fail(QStringLiteral("refused"), reason);
        return reason;
    };
    const QSet<int> ports {lineTlsPort, linePort, webPort};
    if (std::any_of(ports.cbegin(), ports.cend(), [](int port) { return port < 1 || port > 65535; }))
        return refused(tr("Ports are numbers from 1 to 65535."));
    if (ports.size() < 3)
        return refused(tr("The three ports must differ."));
    ApiSettings settings;
    settings.enabled = enabled;
    settings.linePort = quint16(linePort);
    settings.lineTlsPort = quint16(lineTlsPort);
    settings.plainLine = plainLine;
    settings.webPort = quint16(webPort);
    settings.webTls = webTls;
    settings.listenAddress = listenAddress.trimmed();
    settings.tlsCertificate = tlsCertificate.trimmed();
    settings.tlsKey = tlsKey.trimmed();
    if (settings.address().isNull())
        return refused(tr("\"%1\" is not an IP address.").arg(settings.listenAddress));
    if (settings.tlsCertificate.isEmpty() != settings.tlsKey.isEmpty())
        return refused(tr("TLS needs both a certificate and a key."));
    for (const QString &path : {settings.tlsCertificate, settings.tlsKey}) {
        if (!path.isEmpty() && !QFileInfo(path).isReadable())
            return refused(tr("The file %1 cannot be read.").arg(path));
    }
    if (!settings.save(manager->settingsStore()))
        return refused(tr("The settings could not be saved to %1.").arg(manager->settingsStore()->path()));
    record.setAfter(described(settings));
    start(settings);
    return problem;
}

QString RemoteService::newToken()
{
    QString error;
    AuditOperation record(QStringLiteral("users.credential"), ApiUsers::FIRST_ADMIN);
    const QString token = apiUsers.newCredential(ApiUsers::FIRST_ADMIN, &error);
    if (!error.isEmpty())
        record.fail(QStringLiteral("internal"), error);
    if (token.isEmpty())
        setProblem(tr("The settings could not be saved to %1.").arg(manager->settingsStore()->path()));
    emit tokenChanged();
    return token;
}

QString RemoteService::webRemoteAddress() const
{
    if (!web->isRunning())
        return QString();
    QHostAddress host = web->serverAddress();
    // Listening everywhere: the first LAN address, as a phone on the LAN reaches it.
    if (host == QHostAddress::AnyIPv4) {
        host = QHostAddress::LocalHost;
        for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback()
                && !address.isLinkLocal()) {
                host = address;
                break;
            }
        }
    }
    return QStringLiteral("%1://%2:%3")
        .arg(web->usesTls() ? QStringLiteral("https") : QStringLiteral("http"), host.toString())
        .arg(web->serverPort());
}

void RemoteService::withdrawPairingCode(const QString &code)
{
    devicePairing.withdraw(code);
}

void RemoteService::setProblem(const QString &text)
{
    if (text == problem)
        return;
    problem = text;
    emit statusChanged();
}
