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

mode_t fileMode(const QString &path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

} // namespace

class TestConfigurationRestore : public QObject
{
    Q_OBJECT

private slots:
    void importReplaces_data()
    {
        QTest::addColumn<QJsonObject>("imported");
        QTest::addColumn<QStringList>("scenes");
        QTest::addColumn<QStringList>("schedules");
        QTest::addColumn<QString>("lobby");
        QTest::newRow("scenes only: no schedule left behind") << QJsonObject {{"scenes", QJsonArray {scene("Night")}}}
                                                              << QStringList {"Night"} << QStringList() << "Lobby";
        QTest::newRow("scenes and schedules")
            << QJsonObject {{"scenes", QJsonArray {scene("Night")}}, {"schedules", QJsonArray {schedule("n", "Night")}}}
            << QStringList {"Night"} << QStringList {"n"} << "Lobby";
        QTest::newRow("names only: scenes and schedules stay")
            << QJsonObject {{"alias_map", QJsonObject {{"IPD1-01", "Foyer"}}}} << QStringList {"Day"}
            << QStringList {"d"} << "Foyer";
    }

    // An import is a restore of what it brings: a schedule must never be left recalling a
    // scene that the import took away.
    void importReplaces()
    {
        QFETCH(QJsonObject, imported);
        QFETCH(QStringList, scenes);
        QFETCH(QStringList, schedules);
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
        const auto names = [&reread](const QString &key) {
            QStringList list;
            for (const QJsonValue &entry : reread.jsonValue(key).toArray())
                list << entry.toObject().value("name").toString();
            return list;
        };
        QCOMPARE(names(QStringLiteral("scenes")), scenes);
        QCOMPARE(names(QStringLiteral("schedules")), schedules);
        QCOMPARE(reread.value(QStringLiteral("alias_map/IPD1-01"), QString()), lobby);
    }

    // Until the restart reads the imported file, nothing the program still holds in memory
    // (a save waiting for its moment) may be written over it.
    void importedFileIsNotOverwritten()
    {
        TestHome home;
        JsonConfig config(home.path() + QStringLiteral("/config.json"), false);
        config.setValue(QStringLiteral("alias_map/IPD1-01"), QStringLiteral("Old"));
        const QString source = home.path() + QStringLiteral("/import.json");
        QVERIFY(writeFile(source, exportFile({{"alias_map", QJsonObject {{"IPD1-01", "New"}}}})));
        ConfigurationTransfer transfer(&config, API_SECRETS);
        QVERIFY2(transfer.importFrom(source), qPrintable(transfer.lastMessage()));
        const QByteArray imported = readFile(config.path());
        config.beginBatch();
        config.setValue(QStringLiteral("alias_map/IPD1-01"), QStringLiteral("Old"));
        config.endBatch();
        QCOMPARE(readFile(config.path()), imported);
    }

    // Each import keeps the settings it replaced, also two within one second; the copies
    // hold the same secrets as the file and are as private.
    void importsInOneSecond()
    {
        TestHome home;
        const QString source = home.path() + QStringLiteral("/import.json");
        QVERIFY(writeFile(source, exportFile({{"alias_map", QJsonObject {{"IPD1-01", "Imported"}}}})));
        const mode_t old = ::umask(0);
        QStringList before;
        for (const char *name : {"First", "Second"}) {
            JsonConfig config(home.path() + QStringLiteral("/config.json"), false);
            config.setValue(QStringLiteral("alias_map/IPD1-01"), QString::fromLatin1(name));
            before << QString::fromUtf8(readFile(config.path()));
            ConfigurationTransfer transfer(&config, API_SECRETS);
            QVERIFY2(transfer.importFrom(source), qPrintable(transfer.lastMessage()));
        }
        ::umask(old);
        const QFileInfoList copies
            = QDir(home.path()).entryInfoList({QStringLiteral("config.json.before-import-*")}, QDir::Files, QDir::Name);
        QCOMPARE(copies.size(), 2);
        QStringList kept;
        for (const QFileInfo &copy : copies) {
            kept << QString::fromUtf8(readFile(copy.filePath()));
            QCOMPARE(fileMode(copy.filePath()), mode_t(0600));
        }
        std::sort(before.begin(), before.end());
        std::sort(kept.begin(), kept.end());
        QCOMPARE(kept, before);
    }

    // The demo writes no settings; an import there would be lost at once, or worse, be
    // mixed with the made-up installation.
    void demoRefusesImport()
    {
        TestHome home;
        JsonConfig config(home.path() + QStringLiteral("/config.json"), false);
        config.setValue(QStringLiteral("alias_map/IPD1-01"), QStringLiteral("Kept"));
        const QByteArray saved = readFile(config.path());
        config.setReadOnly(true);
        const QString source = home.path() + QStringLiteral("/import.json");
        QVERIFY(writeFile(source, exportFile({{"alias_map", QJsonObject {{"IPD1-01", "Imported"}}}})));
        ConfigurationTransfer transfer(&config, API_SECRETS);
        QSignalSpy imported(&transfer, &ConfigurationTransfer::imported);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("demo")));
        QVERIFY(!transfer.importFrom(source));
        QVERIFY2(transfer.lastMessage().contains(QStringLiteral("demo")), qPrintable(transfer.lastMessage()));
        QCOMPARE(imported.count(), 0);
        QCOMPARE(readFile(config.path()), saved);
        QCOMPARE(config.value(QStringLiteral("alias_map/IPD1-01"), QString()), QStringLiteral("Kept"));
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
        const mode_t old = ::umask(0);
        const QString roomy = home.path() + QStringLiteral("/site.json");
        const bool written = transfer.exportTo(QUrl::fromLocalFile(roomy).toString(), true);
        ::umask(old);
        QVERIFY(written);
        QCOMPARE(fileMode(roomy), mode_t(0600));

        SmallDisk disk(64);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.error()));
        QVERIFY(disk.fill());
        const QString target = disk.path() + QStringLiteral("/site.json");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("could not be written")));
        QVERIFY(!transfer.exportTo(target, false));
        QCOMPARE(finished.count(), 2);
        QCOMPARE(finished.last().at(0).toBool(), false);
        QVERIFY2(transfer.lastMessage().contains(QStringLiteral("could not be written")),
            qPrintable(transfer.lastMessage()));
        QVERIFY(!QFile::exists(target));
    }
};

QTEST_GUILESS_MAIN(TestConfigurationRestore)
#include "tst_configuration_restore.moc"
