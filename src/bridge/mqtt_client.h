#pragma once

#include "bridge/mqtt_settings.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

// One session with a broker through libmosquitto, whose own thread does the network work
// and reconnects with growing pauses. Its callbacks only copy what they were given and
// post it to this object's (the GUI) thread; everything Qt happens there.
class MqttClient : public QObject
{
    Q_OBJECT

public:
    // Pauses between attempts to reach the broker grow from the first to the last.
    static constexpr unsigned FIRST_RETRY_SECONDS = 1;
    static constexpr unsigned LAST_RETRY_SECONDS = 30;
    static constexpr int KEEPALIVE_SECONDS = 30;
    // Announced to the broker, which then drops larger messages instead of passing them on:
    // anyone who may publish on a topic the bridge reads could otherwise make the controller
    // hold a message of hundreds of megabytes. Room for the largest message the bridge reads
    // back, its own retained discovery configs (a select lists every encoder).
    static constexpr int MAX_PACKET_BYTES = 256 * 1024;

    explicit MqttClient(QObject *parent = nullptr);
    ~MqttClient() override;

    // Connects in the background; `will` is published retained with `willPayload` if the
    // session ends without a goodbye. `subscriptions` are made again at every connection.
    // False, with errorString(), when the settings cannot even be tried.
    bool start(const MqttSettings &settings, const QString &will, const QByteArray &willPayload,
        const QStringList &subscriptions);
    // Publishes `goodbye` on the will's topic (retained), then leaves; no callback comes after.
    // Waits up to GOODBYE_WAIT_MS for the broker to confirm the goodbye.
    void stop(const QByteArray &goodbye);
    static constexpr int GOODBYE_WAIT_MS = 1000;

    bool isConnected() const { return connectedNow; }
    QString errorString() const { return problem; }

    // Nothing is queued while the broker is away: false then, and the caller publishes its
    // whole state again on connected().
    bool publish(const QString &topic, const QByteArray &payload, bool retain);

    // Further subscriptions for this session only, with QoS 0 and the broker's plain retain
    // flag: set only on what was retained before the subscription. False when not connected.
    bool subscribe(const QStringList &filters);
    void unsubscribe(const QStringList &filters);

signals:
    void connected();
    void disconnected(const QString &reason);
    void messageReceived(const QString &topic, const QByteArray &payload, bool retained);

private:
    static void onConnectCallback(mosquitto *client, void *self, int result);
    static void onDisconnectCallback(mosquitto *client, void *self, int result);
    static void onMessageCallback(mosquitto *client, void *self, const mosquitto_message *message);
    static void onPublishCallback(mosquitto *client, void *self, int messageId);
    void awaitGoodbye(int messageId);
    void onSessionChanged(bool up, const QString &reason);
    bool setConnectProperties();
    void release();

    mosquitto *client = nullptr;
    bool connectedNow = false;
    QString problem;
    std::string willTopic;
    // Read by libmosquitto's thread; written only while that thread is not running.
    std::vector<std::string> topics;
    // Messages the broker confirmed while a goodbye is awaited, told by libmosquitto's thread.
    std::mutex confirmedLock;
    std::condition_variable confirmedChanged;
    bool collectConfirmed = false;
    std::vector<int> confirmed;
};
