#pragma once

#include "remote/api_settings.h"
#include "remote/api_token.h"
#include "remote/api_users.h"
#include "remote/auth_throttle.h"
#include "remote/device_pairing.h"

#include <QObject>
#include <QSslConfiguration>
#include <QString>
#include <QVariantMap>

#include <memory>

class DeviceManager;
class LineServer;
class CommandSet;
class WebServer;

// The control API as the program runs it: the core on the manager, the token, the
// throttle and the servers, started and stopped by the settings. Also what the
// advanced settings page binds to as `remoteApi`.
class RemoteService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool enabled READ enabled NOTIFY settingsChanged)
    Q_PROPERTY(int linePort READ linePort NOTIFY settingsChanged)
    Q_PROPERTY(int lineTlsPort READ lineTlsPort NOTIFY settingsChanged)
    Q_PROPERTY(bool plainLine READ plainLine NOTIFY settingsChanged)
    Q_PROPERTY(int webPort READ webPort NOTIFY settingsChanged)
    Q_PROPERTY(bool webTls READ webTls NOTIFY settingsChanged)
    Q_PROPERTY(QString listenAddress READ listenAddress NOTIFY settingsChanged)
    Q_PROPERTY(QString tlsCertificate READ tlsCertificate NOTIFY settingsChanged)
    Q_PROPERTY(QString tlsKey READ tlsKey NOTIFY settingsChanged)
    Q_PROPERTY(bool tokenSet READ tokenSet NOTIFY tokenChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool running READ running NOTIFY statusChanged)
    Q_PROPERTY(QString fingerprint READ fingerprint NOTIFY statusChanged)

public:
    // The manager, its settings file and the command set must outlive the service, which adds
    // the users' commands to the command set.
    RemoteService(DeviceManager *manager, CommandSet *commands, QObject *parent = nullptr);
    ~RemoteService() override;

    CommandSet *core() const { return remoteCore; }
    const ApiToken *token() const { return &apiToken; }
    ApiUsers *users() { return &apiUsers; }
    AuthThrottle *throttle() { return &authThrottle; }
    DevicePairing *pairing() { return &devicePairing; }
    LineServer *lineServer() const { return line; }
    WebServer *webServer() const { return web; }
    ApiSettings settings() const { return current; }

    bool enabled() const { return current.enabled; }
    int linePort() const { return current.linePort; }
    int lineTlsPort() const { return current.lineTlsPort; }
    bool plainLine() const { return current.plainLine; }
    int webPort() const { return current.webPort; }
    bool webTls() const { return current.webTls; }
    QString listenAddress() const { return current.listenAddress; }
    QString tlsCertificate() const { return current.tlsCertificate; }
    QString tlsKey() const { return current.tlsKey; }
    bool tokenSet() const { return apiToken.isSet(); }
    // Empty while all is well or the API is off; otherwise what keeps it from listening.
    QString status() const { return problem; }
    // Both servers listen: the API is either wholly up or wholly down.
    bool running() const;
    // SHA-256 of the certificate the API serves, for clients to pin; empty while it is not running.
    QString fingerprint() const { return certificateFingerprint; }

    // Starts or stops the servers as the settings say; false, with status, when a server
    // could not listen. `--api` passes enabled without storing it. TLS not to be had (no
    // OpenSSL, a certificate or key that cannot be read or made, a TLS port taken) keeps
    // every port closed: a plain port beside a missing TLS one would look like a working
    // service, and clients would be tempted to use it.
    bool start(const ApiSettings &settings);
    // Set while TLS cannot be had; a service without a window exits then.
    bool tlsRefused() const { return refusedTls; }
    // The TLS the settings ask for: the certificate they name, or the controller's own in
    // settingsFolder, made there when missing. Null, with error, when it cannot be had.
    static QSslConfiguration tlsFor(const ApiSettings &settings, const QString &settingsFolder, QString *error);
    // Exit code of a service without a window that stops for it.
    static constexpr int EXIT_TLS_UNAVAILABLE = 3;

    // From the advanced page: stored, then applied. The text of what was wrong, or empty.
    Q_INVOKABLE QString configure(bool enabled, int lineTlsPort, int linePort, bool plainLine, int webPort,
        bool webTls, const QString &listenAddress, const QString &tlsCertificate, const QString &tlsKey);
    // A new token (the first admin's credential), returned once for the user to copy; every
    // client of the old one is cut off.
    Q_INVOKABLE QString newToken();
    // A command of the command set from the window, which stands behind the settings
    // password: {ok, result, error, code}; error empty and code 0 unless refused.
    Q_INVOKABLE QVariantMap command(const QString &method, const QVariantMap &params);
    // Tells every client of both servers why, and closes its connection.
    void closeAll(const QString &reason);
    // The window no longer shows the pairing code: it stops working.
    Q_INVOKABLE void withdrawPairingCode(const QString &code);
    // The address the web remote is served at, for a phone on the LAN; empty while it is not.
    QString webRemoteAddress() const;

signals:
    // A phone or tablet traded the code and is now the user.
    void devicePaired(const QString &code, const QString &user);
    void settingsChanged();
    void tokenChanged();
    void statusChanged();
    // The users, their rights or their last sign-ins changed.
    void usersChanged();

private:
    void setProblem(const QString &text);
    // Closes every port and keeps them closed for why; false.
    bool refuse(const QString &why, bool tls);

    DeviceManager *manager;
    ApiToken apiToken;
    ApiUsers apiUsers;
    AuthThrottle authThrottle;
    DevicePairing devicePairing;
    CommandSet *remoteCore;
    LineServer *line;
    WebServer *web;
    ApiSettings current;
    QString problem;
    QString certificateFingerprint;
    bool refusedTls = false;
};
