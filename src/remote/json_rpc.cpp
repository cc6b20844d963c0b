#include "remote/json_rpc.h"

#include "base/network_json.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace jsonrpc {
namespace {

const QString VERSION = QStringLiteral("2.0");

QJsonObject errorObject(int code, const QString &message)
{
    QJsonObject error {{QStringLiteral("code"), code}, {QStringLiteral("message"), message}};
    if (code > 0)
        error.insert(QStringLiteral("data"), QJsonObject {{QStringLiteral("name"), remoteErrorName(code)}});
    return error;
}

QJsonObject errorAnswer(const QJsonValue &id, int code, const QString &message)
{
    return {{QStringLiteral("jsonrpc"), VERSION}, {QStringLiteral("id"), id},
        {QStringLiteral("error"), errorObject(code, message)}};
}

bool validId(const QJsonValue &id)
{
    return id.isString() || id.isDouble() || id.isNull();
}

// One element of a message; returns false when no answer is due.
bool handleOne(const QJsonValue &element, const Handler &handler, bool answerNotifications, QJsonObject *out)
{
    if (!element.isObject()) {
        *out = errorAnswer(QJsonValue::Null, INVALID_REQUEST, QStringLiteral("a request must be an object"));
        return true;
    }
    const QJsonObject request = element.toObject();
    const QJsonValue id = request.value(QStringLiteral("id"));
    const bool notification = id.isUndefined();
    const QJsonValue answerId = notification || !validId(id) ? QJsonValue(QJsonValue::Null) : id;
    const QJsonValue version = request.value(QStringLiteral("jsonrpc"));
    const QJsonValue method = request.value(QStringLiteral("method"));
    const QJsonValue params = request.value(QStringLiteral("params"));

    // Clients that speak JSON but not JSON-RPC may leave out the version; a wrong one is refused.
    QString invalid;
    if (!notification && !validId(id))
        invalid = QStringLiteral("id must be a string, a number or null");
    else if (!version.isUndefined() && version != QJsonValue(VERSION))
        invalid = QStringLiteral("jsonrpc must be \"2.0\"");
    else if (!method.isString() || method.toString().isEmpty())
        invalid = QStringLiteral("method must be a non-empty string");
    if (!invalid.isEmpty()) {
        *out = errorAnswer(answerId, INVALID_REQUEST, invalid);
        return true;
    }

    RemoteAnswer result;
    if (!params.isUndefined() && !params.isNull() && !params.isObject())
        result = RemoteAnswer::failure(BadArguments, QStringLiteral("params must be an object"));
    else
        result = handler(Call {method.toString(), params.toObject()});
    if (notification && !answerNotifications)
        return false;
    *out = answer(answerId, result);
    return true;
}

QByteArray compact(const QJsonValue &value)
{
    return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                           : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

} // namespace

QByteArray handle(const QByteArray &message, const Handler &handler, bool answerNotifications)
{
    QString parseError;
    const QJsonDocument document = networkjson::parse(message, &parseError);
    if (document.isNull())
        return error(PARSE_ERROR, QStringLiteral("not JSON: ") + parseError);

    QJsonObject single;
    if (document.isObject())
        return handleOne(document.object(), handler, answerNotifications, &single) ? compact(single) : QByteArray();

    const QJsonArray batch = document.array();
    if (batch.isEmpty())
        return error(INVALID_REQUEST, QStringLiteral("empty batch"));
    if (batch.size() > MAX_BATCH)
        return error(TooLarge, QStringLiteral("a batch holds at most %1 requests").arg(MAX_BATCH));
    QJsonArray answers;
    for (const QJsonValue &element : batch) {
        if (handleOne(element, handler, answerNotifications, &single))
            answers.append(single);
    }
    return answers.isEmpty() ? QByteArray() : compact(answers);
}

QJsonObject answer(const QJsonValue &id, const RemoteAnswer &answer)
{
    if (!answer.ok)
        return errorAnswer(id, answer.code, answer.message);
    return {{QStringLiteral("jsonrpc"), VERSION}, {QStringLiteral("id"), id},
        {QStringLiteral("result"), answer.result.isUndefined() ? QJsonValue(QJsonValue::Null) : answer.result}};
}

QByteArray error(int code, const QString &message)
{
    return compact(errorAnswer(QJsonValue::Null, code, message));
}

QByteArray notification(const QString &method, const QJsonObject &params)
{
    return compact(QJsonObject {
        {QStringLiteral("jsonrpc"), VERSION}, {QStringLiteral("method"), method}, {QStringLiteral("params"), params}});
}

} // namespace jsonrpc
