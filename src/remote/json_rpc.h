#pragma once

#include "control/command_set.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <functional>

// JSON-RPC 2.0 framing of the control API: one message in (a request, a notification or a
// batch of them), each call handed to the session, the answers framed in the same order.
// Application errors carry the RemoteError number as their code and its name in "data".
namespace jsonrpc {

constexpr int PARSE_ERROR = -32700;
constexpr int INVALID_REQUEST = -32600;
// More calls than this in one batch are refused as a whole, before any of them runs.
constexpr int MAX_BATCH = 32;

struct Call
{
    QString method;
    QJsonObject params;
};

using Handler = std::function<RemoteAnswer(const Call &call)>;

// The answer to one message, compact; empty when the message held only notifications
// and answerNotifications is false (HTTP answers every call, a WebSocket only requests).
QByteArray handle(const QByteArray &message, const Handler &handler, bool answerNotifications);

QJsonObject answer(const QJsonValue &id, const RemoteAnswer &answer);
// An error that belongs to no single call (unreadable message, limit of the transport).
QByteArray error(int code, const QString &message);
QByteArray notification(const QString &method, const QJsonObject &params);

} // namespace jsonrpc
