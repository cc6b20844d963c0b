#include "base/json_config.h"
#include "bridge/mqtt_settings.h"
#include "bridge/mqtt_topics.h"
#include "test_home.h"

#include <QtTest>

class TstMqttSettings : public QObject
{
    Q_OBJECT

private slots:
    void broker_data();
    void broker();
    void names_data();
    void names();
    void storedAndReadBack();
};

void TstMqttSettings::broker_data()
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
    QTest::newRow("empty") << "" << false << "" << 1883;
}

void TstMqttSettings::broker()
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
void TstMqttSettings::names_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("objectId");
    QTest::newRow("wall") << "VW:7f3a:1712"
                          << "VW:7f3a:1712"
                          << "vw_7f3a_1712";
    QTest::newRow("wildcards and slash") << "a/+/#"
                                         << "a____"
                                         << "a____";
    QTest::newRow("blank and accents") << " North Hall é "
                                       << "North_Hall__"
                                       << "north_hall__";
    QTest::newRow("system topic") << "$SYS"
                                  << "_SYS"
                                  << "_sys";
    QTest::newRow("too long") << QString(100, QLatin1Char('x')) << QString(64, QLatin1Char('x'))
                              << QString(64, QLatin1Char('x'));
}

void TstMqttSettings::names()
{
    QFETCH(QString, name);
    QTEST(mqtttopics::level(name), "level");
    QTEST(mqtttopics::objectId(name), "objectId");
}

void TstMqttSettings::storedAndReadBack()
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
    QCOMPARE(read.topicRoot(), QStringLiteral("zentrova/North_Hall"));
    // Two sites, two client ids: a broker drops the older session of a repeated id.
    QCOMPARE(read.effectiveClientId(), QStringLiteral("zentrova-North_Hall"));
    config.setValue(MqttSettings::KEY_PORT, 70000);
    QCOMPARE(MqttSettings::load(config).port, MqttSettings::DEFAULT_PORT);
    QVERIFY(!MqttSettings().problem().isEmpty());
}

QTEST_GUILESS_MAIN(TstMqttSettings)
#include "tst_mqtt_settings.moc"
