#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMetaType>
#include <QSharedPointer>
#include <QString>

constexpr quint16 DISCOVERY_REQUEST_PORT = 3335;
constexpr quint16 DISCOVERY_REPLY_PORT = 3336;
constexpr int DISCOVERY_RECORD_SIZE = 292;
constexpr int DISCOVERY_NAME_OFFSET = 40;
constexpr int DISCOVERY_NAME_SIZE = 64;
constexpr int DISCOVERY_ALIAS_OFFSET = 112;
constexpr int DISCOVERY_ALIAS_SIZE = 32;

// What a reply says its sender is, by the first three letters of its name.
enum class ResponseKind { Encoder = 0, Decoder = 1, Unknown = 2 };

// What a device object stands for; the numbering differs from ResponseKind.
enum class DeviceModel { Rx = 0, Vw = 1, Tx = 2 };

// One discovery reply: the fixed-size record as received plus what the controller
// derived from it. Shared between the registry and the device built from it.
class DeviceDiscoveryResponse
{
public:
    // Null for a datagram shorter than a record or without a usable device name.
    static QSharedPointer<DeviceDiscoveryResponse> parse(const QByteArray &datagram, const QHostAddress &sender,
                                                         int senderPort);

    QString name() const;
    // The name field of a datagram; empty for one shorter than a record.
    static QString nameOf(const QByteArray &datagram);
    // The display name the device proposes for itself.
    QString alias() const;
    ResponseKind deviceKind() const;
    static ResponseKind kindOfName(const QString &name);

    QByteArray raw;
    QString id;
    QHostAddress address;
    int port = -1;
};

using DeviceDiscoveryResponsePtr = QSharedPointer<DeviceDiscoveryResponse>;

Q_DECLARE_METATYPE(DeviceModel)
