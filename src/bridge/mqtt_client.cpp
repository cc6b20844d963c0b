#include "bridge/mqtt_client.h"

#include <QDebug>
#include <QMetaObject>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <chrono>
#include <mutex>

namespace {

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString reasonText(int result)
{
    return QString::fromUtf8(mosquitto_strerror(result));
}

} // namespace

MqttClient::MqttClient(QObject *parent)
    : QObject(parent)
{
    initLibrary();
}

MqttClient::~MqttClient()
{
    release();
}

bool MqttClient::start(
    const MqttSettings &settings, const QString &will, const QByteArray &willPayload, const QStringList &subscriptions)
{
    release();
    problem = settings.problem();
    if (!problem.isEmpty())
        return false;
    const QByteArray id = settings.effectiveClientId().toUtf8();
    client = mosquitto_new(id.constData(), true, this);
    if (!client) {
        problem = tr("The MQTT client could not be made.");
        return false;
    }
    willTopic = will.toStdString();
    topics.clear();
    for (const QString &topic : subscriptions)
        topics.push_back(topic.toStdString());
    // Version 5, for two options: a retained message published while we listen still says so,
    // and the broker learns the largest message we take.
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    if (!setConnectProperties()) {
        problem = tr("The MQTT client cannot be set up: %1").arg(reasonText(MOSQ_ERR_NOT_SUPPORTED));
        release();
        return false;
    }
    mosquitto_connect_callback_set(client, &MqttClient::onConnectCallback);
    mosquitto_disconnect_callback_set(client, &MqttClient::onDisconnectCallback);
    mosquitto_message_callback_set(client, &MqttClient::onMessageCallback);
    mosquitto_publish_callback_set(client, &MqttClient::onPublishCallback);
    mosquitto_reconnect_delay_set(client, FIRST_RETRY_SECONDS, LAST_RETRY_SECONDS, true);
    int result = mosquitto_will_set(client, willTopic.c_str(), willPayload.size(), willPayload.constData(), 1, true);
    if (result == MOSQ_ERR_SUCCESS && !settings.user.isEmpty()) {
        result = mosquitto_username_pw_set(client, settings.user.toUtf8().constData(),
            settings.password.isEmpty() ? nullptr : settings.password.toUtf8().constData());
    }
    if (result == MOSQ_ERR_SUCCESS && !settings.caFile.isEmpty())
        result
            = mosquitto_tls_set(client, settings.caFile.toLocal8Bit().constData(), nullptr, nullptr, nullptr, nullptr);
    if (result != MOSQ_ERR_SUCCESS) {
        problem = tr("The MQTT client cannot be set up: %1").arg(reasonText(result));
        release();
        return false;
    }
    // The thread keeps trying when the first attempt fails, as after any later loss.
    result = mosquitto_connect_async(client, settings.host.toUtf8().constData(), settings.port, KEEPALIVE_SECONDS);
    if (result != MOSQ_ERR_SUCCESS && result != MOSQ_ERR_ERRNO) {
        problem = tr("The broker %1 cannot be reached: %2").arg(settings.host, reasonText(result));
        release();
        return false;
    }
    // A first try refused at once reaches no callback; the thread's later tries are silent too.
    if (result == MOSQ_ERR_ERRNO)
        problem = reasonText(result);
    result = mosquitto_loop_start(client);
    if (result != MOSQ_ERR_SUCCESS) {
        problem = tr("The MQTT client cannot run: %1").arg(reasonText(result));
        release();
        return false;
    }
    qInfo().noquote() << "MQTT: connecting to" << settings.host << "port" << settings.port << "as" << id;
    return true;
}

bool MqttClient::setConnectProperties()
{
    mosquitto_property *properties = nullptr;
    if (mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE, MAX_PACKET_BYTES) != MOSQ_ERR_SUCCESS)
        return false;
    // The library has no asynchronous connect that takes properties. Its version 5 connect keeps
    // them for this and every later connection before it looks at the host: without a host it
    // stops there, having stored them and touched no network, and the asynchronous connect
    // sends them. The MQTT test proves that the broker holds back what is larger.
    const int result = mosquitto_connect_bind_v5(client, nullptr, 0, KEEPALIVE_SECONDS, nullptr, properties);
    mosquitto_property_free_all(&properties);
    return result == MOSQ_ERR_INVAL;
}

void MqttClient::stop(const QByteArray &goodbye)
{
    if (client && connectedNow) {
        {
            std::lock_guard<std::mutex> lock(confirmedLock);
            collectConfirmed = true;
            confirmed.clear();
        }
        int messageId = 0;
        if (mosquitto_publish(client, &messageId, willTopic.c_str(), goodbye.size(), goodbye.constData(), 1, true)
            == MOSQ_ERR_SUCCESS)
            awaitGoodbye(messageId);
    }
    release();
}

// Leaving at once would close the socket with the broker's confirmation still unread, or
// arriving; the kernel then resets the connection and the broker, seeing the reset before
// the goodbye, takes it for a lost client. Once the confirmation is in, nothing is unread.
void MqttClient::awaitGoodbye(int messageId)
{
    std::unique_lock<std::mutex> lock(confirmedLock);
    confirmedChanged.wait_for(lock, std::chrono::milliseconds(GOODBYE_WAIT_MS), [this, messageId] {
        return std::find(confirmed.begin(), confirmed.end(), messageId) != confirmed.end();
    });
    collectConfirmed = false;
}

void MqttClient::release()
{
    if (!client)
        return;
    mosquitto_disconnect(client);
    // Waits for the network thread, so that no callback reaches this object afterwards.
    mosquitto_loop_stop(client, false);
    mosquitto_destroy(client);
    client = nullptr;
    if (connectedNow) {
        connectedNow = false;
        emit disconnected(tr("stopped"));
    }
}

bool MqttClient::publish(const QString &topic, const QByteArray &payload, bool retain)
{
    if (!client || !connectedNow)
        return false;
    const int result = mosquitto_publish(
        client, nullptr, topic.toUtf8().constData(), payload.size(), payload.constData(), 0, retain);
    if (result != MOSQ_ERR_SUCCESS) {
        qWarning().noquote() << "MQTT: cannot publish" << topic << ":" << reasonText(result);
        return false;
    }
    return true;
}

bool MqttClient::subscribe(const QStringList &filters)
{
    if (!client || !connectedNow)
        return false;
    for (const QString &filter : filters) {
        const int result = mosquitto_subscribe_v5(client, nullptr, filter.toUtf8().constData(), 0, 0, nullptr);
        if (result != MOSQ_ERR_SUCCESS) {
            qWarning().noquote() << "MQTT: cannot subscribe to" << filter << ":" << reasonText(result);
            return false;
        }
    }
    return true;
}

void MqttClient::unsubscribe(const QStringList &filters)
{
    if (!client || !connectedNow)
        return;
    for (const QString &filter : filters)
        mosquitto_unsubscribe_v5(client, nullptr, filter.toUtf8().constData(), nullptr);
}

// libmosquitto's thread from here to onSessionChanged.
void MqttClient::onConnectCallback(mosquitto *client, void *self, int result)
{
    auto *that = static_cast<MqttClient *>(self);
    if (result == 0) {
        for (const std::string &topic : that->topics)
            mosquitto_subscribe_v5(client, nullptr, topic.c_str(), 1, MQTT_SUB_OPT_RETAIN_AS_PUBLISHED, nullptr);
    }
    const QString reason = QString::fromUtf8(mosquitto_reason_string(result));
    QMetaObject::invokeMethod(
        that, [that, up = result == 0, reason] { that->onSessionChanged(up, reason); }, Qt::QueuedConnection);
}

void MqttClient::onDisconnectCallback(mosquitto *, void *self, int result)
{
    auto *that = static_cast<MqttClient *>(self);
    const QString reason = reasonText(result);
    QMetaObject::invokeMethod(
        that, [that, reason] { that->onSessionChanged(false, reason); }, Qt::QueuedConnection);
}

void MqttClient::onPublishCallback(mosquitto *, void *self, int messageId)
{
    auto *that = static_cast<MqttClient *>(self);
    {
        std::lock_guard<std::mutex> lock(that->confirmedLock);
        if (!that->collectConfirmed)
            return;
        that->confirmed.push_back(messageId);
    }
    that->confirmedChanged.notify_all();
}

void MqttClient::onMessageCallback(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *that = static_cast<MqttClient *>(self);
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
    const bool retained = message->retain;
    QMetaObject::invokeMethod(
        that, [that, topic, payload, retained] { emit that->messageReceived(topic, payload, retained); },
        Qt::QueuedConnection);
}

void MqttClient::onSessionChanged(bool up, const QString &reason)
{
    if (!client)
        return;
    if (up) {
        if (connectedNow)
            return;
        connectedNow = true;
        problem.clear();
        qInfo() << "MQTT: connected";
        emit connected();
        return;
    }
    // Refused attempts repeat while the thread keeps trying; each new reason is told once.
    const bool wasConnected = connectedNow;
    connectedNow = false;
    if (!wasConnected && reason == problem)
        return;
    problem = reason;
    qWarning().noquote() << "MQTT: not connected:" << reason;
    emit disconnected(reason);
}
