// Feeds arbitrary messages to the control API's JSON-RPC framing, as a WebSocket or HTTP
// client could send them. The first byte picks whether notifications are answered (HTTP)
// or not (WebSocket), and whether the session refuses or executes. Besides crashes it checks
// that every answer is JSON-RPC 2.0: one object per answered call, each with exactly one of
// result and error, an error with a number and a text, and no answer for a WebSocket
// message that held only notifications.
#include "remote/json_rpc.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        abort();
}

void checkAnswer(const QJsonValue &value)
{
    check(value.isObject());
    const QJsonObject answer = value.toObject();
    check(answer.value(QStringLiteral("jsonrpc")) == QJsonValue(QStringLiteral("2.0")));
    check(answer.contains(QStringLiteral("id")));
    const bool result = answer.contains(QStringLiteral("result"));
    const bool error = answer.contains(QStringLiteral("error"));
    check(result != error);
    if (error) {
        const QJsonObject object = answer.value(QStringLiteral("error")).toObject();
        check(object.value(QStringLiteral("code")).isDouble());
        check(!object.value(QStringLiteral("message")).toString().isEmpty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const bool answerNotifications = data[0] & 1;
    const bool refuse = data[0] & 2;
    const QByteArray message(reinterpret_cast<const char *>(data + 1), int(size - 1));
    int calls = 0;
    const QByteArray answer = jsonrpc::handle(
        message,
        [&](const jsonrpc::Call &call) {
            check(!call.method.isEmpty());
            ++calls;
            return refuse ? RemoteAnswer::failure(NotFound, QStringLiteral("no such thing"))
                          : RemoteAnswer::success(call.params);
        },
        answerNotifications);
    check(calls <= jsonrpc::MAX_BATCH);
    if (answer.isEmpty()) {
        // Only a WebSocket message of notifications goes unanswered.
        check(!answerNotifications);
        return 0;
    }
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(answer, &error);
    check(error.error == QJsonParseError::NoError);
    if (document.isArray()) {
        const QJsonArray answers = document.array();
        check(!answers.isEmpty() && answers.size() <= jsonrpc::MAX_BATCH);
        for (const QJsonValue &value : answers)
            checkAnswer(value);
        if (answerNotifications)
            check(answers.size() >= calls);
    } else {
        checkAnswer(document.object());
    }
    return 0;
}
