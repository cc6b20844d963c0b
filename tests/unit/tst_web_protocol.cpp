// The web transport's framing and its browser check, as tables: JSON-RPC messages in,
// answers out; Origin headers in, allowed or refused.
#include "base/network_json.h"
#include "remote/json_rpc.h"
#include "remote/origin_policy.h"

#include <QtTest>

class TestWebProtocol : public QObject
{
    Q_OBJECT

private slots:
    void framing_data();
    void framing()
    {
        QFETCH(bool, http);
        QFETCH(QByteArray, message);
        const auto echo = [](const jsonrpc::Call &call) {
            if (call.method == QLatin1String("echo"))
                return RemoteAnswer::success(QJsonObject {{QStringLiteral("echo"), QStringLiteral("x")}});
            return RemoteAnswer::failure(NotFound, QStringLiteral("no ") + call.method);
        };
        QTEST(jsonrpc::handle(message, echo, http), "answer");
    }

    // Qt's parser loses the value a repeated name replaces: such documents never reach it.
    void repeatedNamesRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("repeats");
        QTest::newRow("plain") << QByteArray("{\"a\":[1],\"a\":[1]}") << true;
        QTest::newRow("in a batch's request") << QByteArray("[{\"id\":1},{\"p\":{\"b\":1},\"p\":2}]") << true;
        QTest::newRow("escaped alike") << QByteArray("{\"a\\u00e9\":1,\"aé\":2}") << true;
        QTest::newRow("same name in other objects") << QByteArray(R"({"a":{"a":1},"b":[{"a":1},{"a":2}]})") << false;
        QTest::newRow("a value that reads like a name") << QByteArray("{\"a\":\"b\",\"b\":\"a,\\\"a\\\"\"}") << false;
    }
    void repeatedNamesRefused()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, repeats);
        QString error;
        QCOMPARE(networkjson::parse(text, &error).isNull(), repeats);
        QCOMPARE(error.isEmpty(), !repeats);
    }

    void origin_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QByteArray>("origin");
        QTest::addColumn<bool>("allowed");

        QTest::newRow("own page") << false << QByteArray("http://192.0.2.1:7741") << true;
        QTest::newRow("loopback by name") << false << QByteArray("http://localhost:7741") << true;
        QTest::newRow("loopback by address") << false << QByteArray("http://127.0.0.1:7741") << true;
        QTest::newRow("host name in capitals") << false << QByteArray("http://CONTROLLER:7741") << true;
        QTest::newRow("other port") << false << QByteArray("http://192.0.2.1:8080") << false;
        QTest::newRow("default port is not ours") << false << QByteArray("http://192.0.2.1") << false;
        QTest::newRow("other host") << false << QByteArray("http://evil.example:7741") << false;
        QTest::newRow("foreign name ending like ours") << false << QByteArray("http://controller.evil:7741") << false;
        QTest::newRow("https page, plain server") << false << QByteArray("https://192.0.2.1:7741") << false;
        QTest::newRow("plain page, TLS server") << true << QByteArray("http://192.0.2.1:7741") << false;
        QTest::newRow("TLS page") << true << QByteArray("https://192.0.2.1:7741") << true;
        QTest::newRow("sandboxed page") << false << QByteArray("null") << false;
        QTest::newRow("with a path") << false << QByteArray("http://192.0.2.1:7741/x") << false;
        QTest::newRow("with user info") << false << QByteArray("http://a@192.0.2.1:7741") << false;
        QTest::newRow("empty") << false << QByteArray() << false;
    }

    void origin()
    {
        QFETCH(bool, tls);
        QFETCH(QByteArray, origin);
        OriginPolicy policy;
        // A loopback address is also reached by the name localhost.
        policy.setOwn(tls, 7741, QStringList {"192.0.2.1", "controller"} + OriginPolicy::ownHosts("127.0.0.1"));
        QTEST(policy.allows(origin), "allowed");
    }
};

// Out of the class, where moc, which does not know raw strings, need not read it.
void TestWebProtocol::framing_data()
{
    QTest::addColumn<bool>("http");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("answer");

    // Messages that are not JSON at all are the fuzz target's: whatever comes, a well-formed answer or none.
    // clang-format off
    const QByteArray ok = R"({"id":%1,"jsonrpc":"2.0","result":{"echo":"x"}})";
    const QByteArray notification = R"({"jsonrpc":"2.0","method":"echo"})";
    QTest::newRow("request") << false << QByteArray(R"({"jsonrpc":"2.0","id":7,"method":"echo"})")
                             << QByteArray(ok).replace("%1", "7");
    QTest::newRow("string id, no version")
        << false << QByteArray(R"({"id":"a","method":"echo"})") << QByteArray(ok).replace("%1", "\"a\"");
    QTest::newRow("notification unanswered on a WebSocket") << false << notification << QByteArray();
    QTest::newRow("notification answered on HTTP") << true << notification << QByteArray(ok).replace("%1", "null");
    QTest::newRow("application error with its name") << false << QByteArray(R"({"id":1,"method":"missing"})")
        << QByteArray(R"({"error":{"code":3,"data":{"name":"not_found"},"message":"no missing"},"id":1,)"
                      R"("jsonrpc":"2.0"})");
    QTest::newRow("params not an object") << false << QByteArray(R"({"id":2,"method":"echo","params":[1]})")
        << QByteArray(R"({"error":{"code":2,"data":{"name":"bad_arguments"},"message":"params must be an object"},)"
                      R"("id":2,"jsonrpc":"2.0"})");
    QTest::newRow("wrong version") << false << QByteArray(R"({"jsonrpc":"1.0","id":3,"method":"echo"})")
        << QByteArray(R"({"error":{"code":-32600,"message":"jsonrpc must be \"2.0\""},"id":3,"jsonrpc":"2.0"})");
    QTest::newRow("object id refused, answered with null") << false << QByteArray(R"({"id":{},"method":"echo"})")
        << QByteArray(R"({"error":{"code":-32600,"message":"id must be a string, a number or null"},"id":null,)"
                      R"("jsonrpc":"2.0"})");
    QTest::newRow("batch in order, notifications left out")
        << false << QByteArray(R"([{"id":1,"method":"echo"},{"method":"echo"},5])")
        << QByteArray(R"([{"id":1,"jsonrpc":"2.0","result":{"echo":"x"}},{"error":{"code":-32600,)"
                      R"("message":"a request must be an object"},"id":null,"jsonrpc":"2.0"}])");
    const QByteArray call = R"({"id":1,"method":"echo"})";
    QTest::newRow("batch over the limit runs none")
        << false << "[" + QByteArray(call + ",").repeated(jsonrpc::MAX_BATCH) + call + "]"
        << QByteArray(R"({"error":{"code":7,"data":{"name":"too_large"},"message":"a batch holds at most 32 requests"},)"
                      R"("id":null,"jsonrpc":"2.0"})");
    QTest::newRow("empty batch") << false << QByteArray("[]")
        << QByteArray(R"({"error":{"code":-32600,"message":"empty batch"},"id":null,"jsonrpc":"2.0"})");
    // clang-format on
}

QTEST_MAIN(TestWebProtocol)
#include "tst_web_protocol.moc"
