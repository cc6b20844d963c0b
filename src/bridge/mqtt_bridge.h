#pragma once

#include "bridge/ha_discovery.h"
#include "bridge/mqtt_settings.h"
#include "control/access.h"
#include "control/rate_window.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class JsonConfig;
class MqttClient;
class CommandSet;

// The installation on a broker: its state as retained topics under "zentrova/SITE/",
// Home Assistant's discovery configs, and commands from the "…/set" topics carried out
// through the control API's core, so that they are checked exactly as the API's are.
//
// What is on the broker is kept as a map of topic to payload. Every change of the
// installation recomputes the map (once per turn of the event loop, however many changes
// came together) and publishes only the difference; a topic that is no longer wanted is
// cleared with an empty retained message. After every (re)connection the whole map goes
// out again, since the broker may have lost it.
//
// What the broker still holds from earlier runs under this site's own topics (devices
// since replaced, deleted scenes) is read at every connection and cleared once the
// installation has had time to be found; topics of other sites are never even read.
class MqttBridge : public QObject
{
    Q_OBJECT
    // What the advanced settings page shows and edits.
    Q_PROPERTY(bool enabled READ enabled NOTIFY settingsChanged)
    Q_PROPERTY(QString host READ host NOTIFY settingsChanged)
    Q_PROPERTY(int port READ port NOTIFY settingsChanged)
    Q_PROPERTY(QString site READ site NOTIFY settingsChanged)
    Q_PROPERTY(QString clientId READ clientId NOTIFY settingsChanged)
    Q_PROPERTY(QString user READ user NOTIFY settingsChanged)
    Q_PROPERTY(QString password READ password NOTIFY settingsChanged)
    Q_PROPERTY(QString caFile READ caFile NOTIFY settingsChanged)
    Q_PROPERTY(QString hostName READ hostName CONSTANT)
    Q_PROPERTY(bool connected READ isConnected NOTIFY connectionChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    // On, not connected, and with a reason: status() is a complaint, not "connecting".
    Q_PROPERTY(bool failing READ failing NOTIFY statusChanged)

public:
    // From start() until topics left from earlier runs may be cleared: long enough for the
    // devices that are on to be found again (start-up search, a discovery pass and the
    // decoders' own answers), so that nothing is removed only to be published again.
    static constexpr int SETTLE_MS = 30000;

    // The settings file must outlive the bridge.
    MqttBridge(CommandSet *core, JsonConfig *store, QObject *parent = nullptr);
    ~MqttBridge() override;

    // Connects to the settings' broker (or only disconnects when they are off).
    // False, with status(), when the settings cannot be used.
    bool start(const MqttSettings &settings);
    void stop();

    MqttSettings settings() const { return current; }
    // Finds the rights of a control API user by name; false when there is none.
    using UserLookup = std::function<bool(const QString &name, Actor *actor)>;
    void setUserLookup(UserLookup lookup) { users = std::move(lookup); }
    bool enabled() const { return current.enabled; }
    QString host() const { return current.host; }
    int port() const { return current.port; }
    QString site() const { return current.site; }
    QString clientId() const { return current.clientId; }
    QString user() const { return current.user; }
    QString password() const { return current.password; }
    QString caFile() const { return current.caFile; }
    static QString hostName();

    // From the advanced page: checked, stored, then applied. What was wrong, or empty.
    Q_INVOKABLE QString configure(bool enabled, const QString &host, int port, const QString &site,
        const QString &clientId, const QString &user, const QString &password, const QString &caFile);
    bool isConnected() const;
    // Why the bridge is not on its broker and whether it tries again, in the user's words;
    // empty while it is connected or off.
    QString status() const;
    bool failing() const;
    // The library's own words sorted by what the user can do about them.
    static QString explain(const QString &host, int port, const QString &reason, bool retrying);
    // Topics and payloads as last published (for the tests and the benchmark).
    const QHash<QString, QByteArray> &published() const { return retained; }

signals:
    void settingsChanged();
    void connectionChanged(bool connected);
    void statusChanged();
    // After a difference went to the broker; `count` messages.
    void publishedChanges(int count);

private:
    void scheduleRefresh();
    void refresh();
    void onConnected();
    void onMessage(const QString &topic, const QByteArray &payload, bool retained);
    void refuse(const QString &topic, int code, const QString &message);
    void onStateMessage(const QString &topic, const QByteArray &payload, bool retained);
    void clearLeftovers();
    void clearLegacy();
    QHash<QString, QByteArray> wanted();
    HomeAssistantDiscovery discovery() const;
    HomeAssistantDiscovery legacyDiscovery() const;
    QStringList ownStateFilters() const;

    CommandSet *core;
    JsonConfig *store;
    MqttClient *client;
    MqttSettings current;
    UserLookup users;
    // The client's thread is up and will try again after a loss.
    bool clientStarted = false;
    // The first reason since the last start or connection: the library follows a refused
    // sign-in with a protocol error of its own, and the refusal is what the user can act on.
    QString firstReason;
    QString root;
    QTimer refreshTimer;
    QHash<QString, QByteArray> retained;
    QElapsedTimer running;
    // Retained on the broker when this session began; cleared at `sweepTimer` if unwanted.
    QSet<QString> found;
    // The site's topics under the former encoding of its name, until they have been cleared
    // once: at the first connection, before the new ones are published, so that Home
    // Assistant has let go of the old entities' names when the new entities ask for them.
    QString legacyRoot;
    bool legacyPending = false;
    QSet<QString> legacyFound;
    // Commands from the broker, all of its clients together, as one API client may send them.
    RateWindow commandRate;
    QTimer sweepTimer;
    // Sent to ourselves after subscribing: when it comes back, all that was retained has come.
    QByteArray syncToken;
    // Topic level to device name, to find what a "…/set" topic names.
    QHash<QString, QString> decoderLevels;
    QHash<QString, QString> wallLevels;
};
