#include "base/json_config.h"
#include "scenes/configuration_transfer.h"
#include "small_disk.h"
#include "test_files.h"
#include "test_home.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QStringList API_SECRETS {QStringLiteral("api/token_salt"), QStringLiteral("api/token_hash")};

QJsonObject scene(const QString &name)
{
    return {{"name", name}, {"sources", QJsonObject {{"IPD1-01", "IPE1-01"}}}};
}

QJsonObject schedule(const QString &name, const QString &sceneName)
{
    return {{"name", name}, {"action", "scene"}, {"scene", sceneName}, {"time", "08:00"}, {"weekdays", QJsonArray {1}}};
}

QByteArray exportFile(const QJsonObject &sections)
{
    QJsonObject document = sections;
    document.insert("format", ConfigurationTransfer::FORMAT);
    document.insert("version", ConfigurationTransfer::FORMAT_VERSION);
    return QJsonDocument(document).toJson();
}

} // namespace

class TestConfigurationRestore : public QObject
{
    Q_OBJECT

private slots:
    // Export, factory default, import: the same controller, every setting the user made;
    // the secrets travel only when asked for, in a file as private as the settings.
    void roundTrip()
    {
        TestHome home;
        const QJsonObject settings {{"alias_map", QJsonObject {{"IPD1-01", "Lobby 🎬 大厅"}}},
            {"orders", QJsonObject {{"IPD1-01", 2}}}, {"display_power_cmd", QJsonObject {{"on", "40 04"}}},
            {"reroute_on_reconnect", false}, {"restore_routes_at_start", true},
            {"preview", QJsonObject {{"thumbnail_fps", 4}}}, {"scenes", QJsonArray {scene("Day")}},
            {"schedules", QJsonArray {schedule("d", "Day")}},
            {"api",
                QJsonObject {{"enabled", true}, {"line_port", 7000}, {"listen_address", "127.0.0.1"},
                    {"token_salt", "salt"}, {"token_hash", "hash"}}},
            {"mqtt", QJsonObject {{"enabled", true}, {"host", "broker"}, {"site", "hq"}, {"password", "pw"}}},
            {"security", QJsonObject {{"password", "verifier"}, {"salt", "s"}}}};
        const QString secret = home.path() + QStringLiteral("/secret.json");
        const QString plain = home.path() + QStringLiteral("/plain.json");
        {
            JsonConfig config(home.path() + QStringLiteral("/a.json"), false);
            for (auto it = settings.begin(); it != settings.end(); ++it)
                config.setValue(it.key(), it.value());
            ConfigurationTransfer transfer(&config, API_SECRETS);
            const mode_t old = ::umask(0);
            QVERIFY(transfer.exportTo(QUrl::fromLocalFile(secret).toString(), true));
            ::umask(old);
            QVERIFY(transfer.exportTo(plain, false));
        }
        QCOMPARE(fileMode(secret), 0600);
        for (const char *text : {"\"hash\"", "\"salt\"", "\"pw\"", "verifier"}) {
            QVERIFY2(!readFile(plain).contains(text), text);
            QVERIFY2(readFile(secret).contains(text), text);
        }
        for (const QString &exported : {secret, plain}) {
            const QString path = home.path() + QStringLiteral("/fresh.json");
            QFile::remove(path);
            JsonConfig fresh(path, false);
            ConfigurationTransfer transfer(&fresh, API_SECRETS);
            QVERIFY2(transfer.importFrom(exported), qPrintable(transfer.lastMessage()));
            const QString again = home.path() + QStringLiteral("/again.json");
            QVERIFY(transfer.exportTo(again, exported == secret));
            QCOMPARE(readFile(again), readFile(exported));
            QCOMPARE(fresh.jsonValue(QStringLiteral("restore_routes_at_start")), QJsonValue(true));
        }
    }

    // The import is checked as strictly as the window checks the same settings: what the
    // window cannot set, a file cannot either.
    void importRefusals_data()
    {
        QTest::addColumn<QJsonObject>("sections");
        QTest::addColumn<QString>("reason");
        QTest::newRow("token smuggled in the API settings")
            << QJsonObject {{"control_api", QJsonObject {{"token_hash", "known"}}}} << "token_hash";
        QTest::newRow("broker password outside the secrets")
            << QJsonObject {{"mqtt_bridge", QJsonObject {{"password", "x"}}}} << "password";
        QTest::newRow("port out of range")
            << QJsonObject {{"control_api", QJsonObject {{"line_port", 70000}}}} << "line_port";
        QTest::newRow("escape sequence in a host")
            << QJsonObject {{"mqtt_bridge", QJsonObject {{"host", "a\u001b[2Jb"}}}} << "host";
        QTest::newRow("half a character")
            << QJsonObject {{"alias_map", QJsonObject {{"IPD1", QString(QChar(0xd83c))}}}} << "not a printable name";
        QTest::newRow("thumbnail rate") << QJsonObject {{"preview", QJsonObject {{"thumbnail_fps", 1000}}}}
                                        << "thumbnail_fps";
        QTest::newRow("switch as text") << QJsonObject {{"reroute_on_reconnect", "yes"}} << "reroute_on_reconnect";
        QTest::newRow("secret of another kind")
            << QJsonObject {{"secrets", QJsonObject {{"mqtt", QJsonObject {{"host", "x"}}}}}} << "mqtt may hold only";
    }

    void importRefusals()
    {
        QFETCH(QJsonObject, sections);
        QFETCH(QString, reason);
        QJsonObject keys;
        QStringList problems;
        QVERIFY(!ConfigurationTransfer::read(exportFile(sections), &keys, &problems));
        QVERIFY2(problems.join(';').contains(reason), qPrintable(problems.join(';')));
    }

    void importReplaces_data()
    {
        QTest::addColumn<QJsonObject>("imported");
        QTest::addColumn<QJsonArray>("scenes");
        QTest::addColumn<QJsonArray>("schedules");
        QTest::addColumn<QString>("lobby");
        const QJsonArray night {scene("Night")};
        const QJsonArray nightly {schedule("n", "Night")};
        QTest::newRow("scenes only: no schedule left behind")
            << QJsonObject {{"scenes", night}} << night << QJsonArray() << "Lobby";
        QTest::newRow("scenes and schedules")
            << QJsonObject {{"scenes", night}, {"schedules", nightly}} << night << nightly << "Lobby";
        QTest::newRow("names only: scenes and schedules stay")
            << QJsonObject {{"alias_map", QJsonObject {{"IPD1-01", "Foyer"}}}} << QJsonArray {scene("Day")}
            << QJsonArray {schedule("d", "Day")} << "Foyer";
    }

    // An import is a restore of what it brings: a schedule must never be left recalling a
    // scene that the import took away.
    void importReplaces()
    {
        QFETCH(QJsonObject, imported);
        QFETCH(QJsonArray, scenes);
        QFETCH(QJsonArray, schedules);
        QFETCH(QString, lobby);
        TestHome home;
        JsonConfig config(home.path() + QStringLiteral("/config.json"), false);
        config.setValue(QStringLiteral("alias_map/IPD1-01"), QStringLiteral("Lobby"));
        config.setValue(QStringLiteral("scenes"), QJsonArray {scene("Day")});
        config.setValue(QStringLiteral("schedules"), QJsonArray {schedule("d", "Day")});
        const QString source = home.path() + QStringLiteral("/import.json");
        QVERIFY(writeFile(source, exportFile(imported)));
        ConfigurationTransfer transfer(&config, API_SECRETS);
        QVERIFY2(transfer.importFrom(source), qPrintable(transfer.lastMessage()));

        const JsonConfig reread(config.path(), true);
        QCOMPARE(reread.jsonValue(QStringLiteral("scenes")).toArray(), scenes);
        QCOMPARE(reread.jsonValue(QStringLiteral("schedules")).toArray(), schedules);
        QCOMPARE(reread.value(QStringLiteral("alias_map/IPD1-01"), QString()), lobby);
    }

    // Each import keeps the settings it replaced, also two within one second; the copies hold
    // the same secrets as the file and are as private. Until the restart reads the imported
    // file, nothing the program still holds in memory (a save waiting for its moment) may be
    // written over it. The demo writes no settings: an import there would be lost at once, or
    // worse, be mixed with the made-up installation.
    void importsOnOneFile()
    {
        TestHome home;
        const QString path = home.path() + QStringLiteral("/config.json");
        const QString source = home.path() + QStringLiteral("/import.json");
        QVERIFY(writeFile(source, exportFile({{"alias_map", QJsonObject {{"IPD1-01", "Imported"}}}})));
        const mode_t old = ::umask(0);
        QStringList before;
        for (const char *name : {"First", "Second"}) {
            JsonConfig config(path, false);
            config.setValue(QStringLiteral("alias_map/IPD1-01"), QString::fromLatin1(name));
            before << QString::fromUtf8(readFile(path));
            ConfigurationTransfer transfer(&config, API_SECRETS);
            QVERIFY2(transfer.importFrom(source), qPrintable(transfer.lastMessage()));
            const QByteArray imported = readFile(path);
            config.beginBatch();
            config.setValue(QStringLiteral("alias_map/IPD1-01"), QString::fromLatin1(name));
            config.endBatch();
            QCOMPARE(readFile(path), imported);
        }
        ::umask(old);
        const QFileInfoList copies
            = QDir(home.path()).entryInfoList({QStringLiteral("config.json.before-import-*")}, QDir::Files, QDir::Name);
        QCOMPARE(copies.size(), 2);
        QStringList kept;
        for (const QFileInfo &copy : copies) {
            kept << QString::fromUtf8(readFile(copy.filePath()));
            QCOMPARE(fileMode(copy.filePath()), 0600);
        }
        std::sort(before.begin(), before.end());
        std::sort(kept.begin(), kept.end());
        QCOMPARE(kept, before);

        JsonConfig demo(path, false);
        demo.setValue(QStringLiteral("alias_map/IPD1-01"), QStringLiteral("Kept"));
        const QByteArray saved = readFile(path);
        demo.setReadOnly(true);
        ConfigurationTransfer transfer(&demo, API_SECRETS);
        QSignalSpy imported(&transfer, &ConfigurationTransfer::imported);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("demo")));
        QVERIFY(!transfer.importFrom(source));
        QVERIFY2(transfer.lastMessage().contains(QStringLiteral("demo")), qPrintable(transfer.lastMessage()));
        QCOMPARE(imported.count(), 0);
        QCOMPARE(readFile(path), saved);
        QCOMPARE(demo.value(QStringLiteral("alias_map/IPD1-01"), QString()), QStringLiteral("Kept"));
    }

    // An export that did not reach the disk must never read "saved", nor leave a file
    // that looks like a backup and holds nothing.
    void exportToFullDisk()
    {
        TestHome home;
        JsonConfig config(home.path() + QStringLiteral("/config.json"), false);
        config.setValue(QStringLiteral("alias_map/IPD1-01"), QStringLiteral("Lobby"));
        ConfigurationTransfer transfer(&config, API_SECRETS);
        QSignalSpy finished(&transfer, &ConfigurationTransfer::finished);
        SmallDisk disk(64);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.error()));
        QVERIFY(disk.fill());
        const QString target = disk.path() + QStringLiteral("/site.json");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("could not be written")));
        QVERIFY(!transfer.exportTo(target, false));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.last().at(0).toBool(), false);
        QVERIFY2(transfer.lastMessage().contains(QStringLiteral("could not be written")),
            qPrintable(transfer.lastMessage()));
        QVERIFY(!QFile::exists(target));
    }
};

QTEST_GUILESS_MAIN(TestConfigurationRestore)
#include "tst_configuration_restore.moc"
