#include "base/json_config.h"
#include "bridge/ha_discovery.h"
#include "bridge/mqtt_command.h"
#include "bridge/mqtt_settings.h"
#include "bridge/mqtt_topics.h"
#include "control/command_answer.h"
#include "test_home.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <utility>

class TstMqttSettings : public QObject
{
    Q_OBJECT

private slots:
    void broker_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("name") << "broker.lan" << true << "broker.lan" << 1883;
        QTest::newRow("name and port") << " 192.0.2.5:8883 " << true << "192.0.2.5" << 8883;
        QTest::newRow("ipv6 alone") << "fd00::5" << true << "fd00::5" << 1883;
        QTest::newRow("ipv6 and port") << "[fd00::5]:1884" << true << "fd00::5" << 1884;
        QTest::newRow("port 0") << "broker:0" << false << "" << 1883;
        QTest::newRow("port too high") << "broker:65536" << false << "" << 1883;
        QTest::newRow("no host") << ":1883" << false << "" << 1883;
    }

    void broker()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        MqttSettings settings;
        QCOMPARE(settings.setBroker(text), ok);
        QTEST(settings.host, "host");
        QTEST(int(settings.port), "port");
    }

    // Whatever people and devices call things, a topic level never splits or matches as a wildcard,
    // and Home Assistant's ids keep to its character set.
    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("level");
        QTest::addColumn<QString>("objectId");
        // clang-format off
        QTest::newRow("wall") << "VW:7f3a:1712" << "VW:7f3a:1712" << "vw_7f3a_1712";
        QTest::newRow("wildcards and slash") << "a/+/#" << "a____" << "a____";
        QTest::newRow("blank and accents") << " North Hall é " << "North_Hall__" << "north_hall__";
        QTest::newRow("system topic") << "$SYS" << "_SYS" << "_sys";
        // clang-format on
        QTest::newRow("too long") << QString(100, QLatin1Char('x')) << QString(64, QLatin1Char('x'))
                                  << QString(64, QLatin1Char('x'));
    }

    void names()
    {
        QFETCH(QString, name);
        QTEST(mqtttopics::level(name), "level");
        QTEST(mqtttopics::objectId(name), "objectId");
    }

    void storedAndReadBack()
    {
        TestHome home;
        JsonConfig config(home.path() + QStringLiteral("/config.json"), false);
        MqttSettings settings;
        settings.enabled = true;
        settings.host = QStringLiteral("broker.lan");
        settings.port = 8883;
        settings.site = QStringLiteral("North Hall");
        settings.user = QStringLiteral("av");
        settings.password = QStringLiteral("secret");
        QVERIFY(settings.save(&config));
        const MqttSettings read = MqttSettings::load(config);
        QCOMPARE(read.host, settings.host);
        QCOMPARE(read.port, settings.port);
        QCOMPARE(read.topicRoot(), QStringLiteral("zentrova/North_Hall-cc4ac575"));
        QCOMPARE(read.legacyTopicRoot(), QStringLiteral("zentrova/North_Hall"));
        // Two sites, two client ids: a broker drops the older session of a repeated id.
        QCOMPARE(read.effectiveClientId(), QStringLiteral("zentrova-North_Hall-cc4ac575"));
        // Names that read alike are two sites, down to Home Assistant's ids of them.
        MqttSettings other = read;
        const std::pair<const char *, const char *> alike[]
            = {{"Hall-1", "Hall.1"}, {"Hall 1", "Hall_1"}, {"hall", "Hall"}};
        for (const auto &[one, two] : alike) {
            other.site = QString::fromUtf8(one);
            const QString first = mqtttopics::objectId(other.siteLevel());
            other.site = QString::fromUtf8(two);
            QVERIFY2(first != mqtttopics::objectId(other.siteLevel()), one);
        }
        config.setValue(MqttSettings::KEY_PORT, 70000);
        QCOMPARE(MqttSettings::load(config).port, MqttSettings::DEFAULT_PORT);
        QVERIFY(!MqttSettings().problem().isEmpty());
    }

    // What each "…/set" topic asks for, as the bridge hands it to the command set; a
    // command read the wrong way round would switch the displays on for "off".
    void commands_data()
    {
        QTest::addColumn<QString>("tail");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("code"); // 0: accepted
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("params"); // compact JSON
        QTest::addColumn<QString>("kind");

        // Retained, oversized and off-topic messages are left to the fuzz target's properties.
        const auto accepted = [](const char *name, const char *tail, const QByteArray &payload, const char *method,
                                  const char *params, const char *kind = "") {
            QTest::newRow(name) << QString(tail) << payload << 0 << QString(method) << QString(params) << QString(kind);
        };
        const auto refused
            = [](const char *name, const char *tail, const QByteArray &payload, int code = BadArguments) {
                  QTest::newRow(name) << QString(tail) << payload << code << QString() << QString() << QString();
              };
        accepted("all off", "power/set", " OFF\n", "power", R"({"on":false})");
        accepted("on as 1", "power/set", "1", "power", R"({"on":true})");
        refused("power neither", "power/set", "hide");
        accepted("hidden", "numbers/set", "hide", "numbers", R"({"show":false})");
        accepted("shown", "numbers/set", "Show", "numbers", R"({"show":true})");
        accepted("route with no source clears", "route/set", R"({"source":null,"target":"all"})", "clear",
            R"({"target":"all"})");
        accepted(
            "route to none clears", "route/set", R"({"source":" None ","target":"RX"})", "clear", R"({"target":"RX"})");
        refused("route without a target", "route/set", R"({"source":"TX"})");
        refused("route with a number for a source", "route/set", R"({"source":3,"target":"RX"})");
        accepted("scene by name", "scene/set", " Evening ", "scene.recall", R"({"name":"Evening"})");
        refused("scene without a name", "scene/set", " ");
        accepted("a wall's source", "wall/Big/source/set", "TX - 1", "route", R"({"source":"TX - 1","target":null})",
            "wall");
        accepted("a decoder's power off", "decoder/RX/power/set", "off", "power", R"({"on":false})", "decoder");
        refused("a decoder's source left empty", "decoder/RX/source/set", " ");
        refused("a decoder's topic without set", "decoder/RX/power", "off", UnknownCommand);
        refused("an encoder is not a target", "encoder/TX/power/set", "off", UnknownCommand);
        accepted("at the size limit", "scene/set", QByteArray(MqttCommand::MAX_PAYLOAD, 'x'), "scene.recall", "");
        refused("cut in the middle of a character", "scene/set", "Caf\xc3");
    }

    void commands()
    {
        QFETCH(QString, tail);
        QFETCH(QByteArray, payload);
        QFETCH(int, code);
        QFETCH(QString, params);
        const MqttCommand command = MqttCommand::read(tail, payload, false);
        QCOMPARE(command.ok, code == 0);
        QCOMPARE(command.code, code);
        QTEST(command.method, "method");
        if (!params.isEmpty())
            QCOMPARE(QString::fromUtf8(QJsonDocument(command.params).toJson(QJsonDocument::Compact)), params);
        QTEST(command.kind, "kind");
    }

    // The sources a screen offers Home Assistant are sorted by name: the same installation
    // publishes the same configs, whatever order its aliases come in.
    void sourceChoicesInOrder()
    {
        const HomeAssistantDiscovery discovery({QStringLiteral("zentrova/hall"), QStringLiteral("homeassistant"),
            QStringLiteral("Hall"), QStringLiteral("hall")});
        const QJsonObject state {
            {"decoders", QJsonArray {QJsonObject {{"name", "IPD1-01"}, {"alias", "Lobby"}, {"wall", QJsonValue()}}}}};
        QHash<QString, QString> aliases;
        for (const char *alias : {"Zed", "Alpha", "Mid", "Beta", "Kilo"})
            aliases.insert(QStringLiteral("IPE1-") + QLatin1String(alias), QString::fromLatin1(alias));
        QJsonArray options;
        for (const QByteArray &config : discovery.configs(state, aliases)) {
            const QJsonArray found
                = QJsonDocument::fromJson(config).object().value(QStringLiteral("options")).toArray();
            if (!found.isEmpty())
                options = found;
        }
        QCOMPARE(options, (QJsonArray {MqttCommand::NONE, "Alpha", "Beta", "Kilo", "Mid", "Zed"}));
    }
};

QTEST_GUILESS_MAIN(TstMqttSettings)
#include "tst_mqtt_settings.moc"
