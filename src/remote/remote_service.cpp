#include "remote/remote_service.h"

#include "base/json_config.h"
#include "control/command_set.h"
#include "manager/device_manager.h"
#include "remote/line_server.h"
#include "remote/user_commands.h"
#include "remote/web_server.h"

#include <QDebug>
#include <QFileInfo>

RemoteService::RemoteService(DeviceManager *manager, CommandSet *commands, QObject *parent)
    : QObject(parent)
    , manager(manager)
    , apiToken(manager->settingsStore())
    , apiUsers(manager->settingsStore(), &apiToken)
    , remoteCore(commands)
    , line(new LineServer(remoteCore, &apiUsers, &authThrottle, this))
    , web(new WebServer(remoteCore, &apiUsers, &authThrottle, this))
    , current(ApiSettings::load(*manager->settingsStore()))
{
    apiToken.migrate();
    remoteCore->extend(QString(), new UserCommands(&apiUsers, remoteCore));
    connect(&apiUsers, &ApiUsers::ended, this, [this](const QString &user, const QString &reason) {
        line->disconnectUser(user, reason);
        web->disconnectUser(user, reason);
    });
}

RemoteService::~RemoteService()
{
    // The servers' sessions reach the core; they go first.
    delete line;
    delete web;
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
    if (!current.enabled) {
        qInfo() << "Control API: off";
        setProblem(QString());
        emit statusChanged();
        return true;
    }
    if (!apiToken.isSet())
        qWarning() << "Control API: no token has been made yet; no client can authenticate";
    if (!line->listen(current.address(), current.linePort)) {
        setProblem(tr("The control API cannot listen on %1 port %2: %3")
                       .arg(current.listenAddress)
                       .arg(current.linePort)
                       .arg(line->errorString()));
        return false;
    }
    WebServerConfig webConfig;
    webConfig.address = current.address();
    webConfig.port = current.webPort;
    webConfig.tlsCertificate = current.tlsCertificate;
    webConfig.tlsKey = current.tlsKey;
    if (!web->start(webConfig)) {
        refusedTls = web->tlsRefused();
        const QString why = refusedTls
            ? tr("TLS was asked for, but it cannot be had (%1): the control API stays off, both ports. Name a "
                 "readable PEM certificate and its key, or remove both from the settings to serve without TLS on a "
                 "closed network.")
                  .arg(web->errorString())
            : web->errorString();
        // Half an API would answer on one port while the page says it is not running.
        line->close();
        setProblem(why);
        if (refusedTls)
            qCritical().noquote() << "Control API:" << problem;
        return false;
    }
    setProblem(QString());
    // Stopped and started again, the servers may run where the old ones did not.
    emit statusChanged();
    return true;
}

bool RemoteService::running() const
{
    return line->isListening() && web->isRunning();
}

QString RemoteService::configure(bool enabled, int linePort, int webPort, const QString &listenAddress,
    const QString &tlsCertificate, const QString &tlsKey)
{
    if (linePort < 1 || linePort > 65535 || webPort < 1 || webPort > 65535)
        return tr("Ports are numbers from 1 to 65535.");
    if (linePort == webPort)
        return tr("The two ports must differ.");
    ApiSettings settings;
    settings.enabled = enabled;
    settings.linePort = quint16(linePort);
    settings.webPort = quint16(webPort);
    settings.listenAddress = listenAddress.trimmed();
    settings.tlsCertificate = tlsCertificate.trimmed();
    settings.tlsKey = tlsKey.trimmed();
    if (settings.address().isNull())
        return tr("\"%1\" is not an IP address.").arg(settings.listenAddress);
    if (settings.tlsCertificate.isEmpty() != settings.tlsKey.isEmpty())
        return tr("TLS needs both a certificate and a key.");
    for (const QString &path : {settings.tlsCertificate, settings.tlsKey}) {
        if (!path.isEmpty() && !QFileInfo(path).isReadable())
            return tr("The file %1 cannot be read.").arg(path);
    }
    if (!settings.save(manager->settingsStore()))
        return tr("The settings could not be saved to %1.").arg(manager->settingsStore()->path());
    start(settings);
    return problem;
}

QString RemoteService::newToken()
{
    QString error;
    const QString token = apiUsers.newCredential(ApiUsers::FIRST_ADMIN, &error);
    if (token.isEmpty())
        setProblem(tr("The settings could not be saved to %1.").arg(manager->settingsStore()->path()));
    emit tokenChanged();
    return token;
}

void RemoteService::setProblem(const QString &text)
{
    if (text == problem)
        return;
    problem = text;
    emit statusChanged();
}
