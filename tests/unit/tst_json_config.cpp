#include "base/json_config.h"
#include "small_disk.h"
#include "test_files.h"
#include "test_home.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every save replaces the file, so a new file object means it was written.
ino_t fileObject(const QString &path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

} // namespace

class TestJsonConfig : public QObject
{
    Q_OBJECT

    QJsonObject saved() const { return saved(path); }
    static QJsonObject saved(const QString &file) { return QJsonDocument::fromJson(readFile(file)).object(); }

    TestHome home;
    const QString path = home.path() + QStringLiteral("/config.json");

private slots:
    void init()
    {
        for (const char *suffix : {"", ".bad", ".1"})
            QFile::remove(path + QLatin1String(suffix));
    }

    void reads()
    {
        QVERIFY(writeFile(path, R"({"security":{"password":"1234"},"nothing":null,"walls":[{"name":"first"}]})"));
        const JsonConfig config(path, true);
        QCOMPARE(config.value(QStringLiteral("/security//password/"), QString()), QStringLiteral("1234"));
        QCOMPARE(config.value(QStringLiteral("walls/0/name"), QString()), QStringLiteral("first"));
        QCOMPARE(config.value(QStringLiteral("walls/x/name"), QStringLiteral("none")), QStringLiteral("none"));
        // The raw read tells "not there" from a stored null.
        QCOMPARE(config.jsonValue(QStringLiteral("nothing")).type(), QJsonValue::Null);
        QCOMPARE(config.jsonValue(QStringLiteral("absent")).type(), QJsonValue::Undefined);
    }

    void writes()
    {
        JsonConfig config(path, false);
        // The empty file of a first start is nothing worth keeping.
        QVERIFY(QFile::exists(path) && !QFile::exists(path + QStringLiteral(".bad")));
        config.setValue(QStringLiteral("name"), QStringLiteral("plain"));
        config.setValue(QStringLiteral("name/first"), 1);
        QCOMPARE(saved(), QJsonObject({{"name", QJsonObject {{"first", 1}}}}));

        const QByteArray before = readFile(path);
        config.beginBatch();
        config.setValue(QStringLiteral("batch"), 2);
        QCOMPARE(readFile(path), before);
        config.endBatch();
        QCOMPARE(saved().value("batch"), QJsonValue(2));

        const QByteArray written = readFile(path);
        config.setReadOnly(true);
        config.setValue(QStringLiteral("batch"), 3);
        config.beginBatch();
        config.endBatch();
        QCOMPARE(readFile(path), written);
        QCOMPARE(config.value(QStringLiteral("batch"), 0), 3);
    }

    // Whoever still reads the old file (or a crash halfway through a save) sees it whole; a
    // save that changes nothing leaves it be, and the copy beside it is always the version
    // before the current one.
    void savesReplaceTheFile()
    {
        JsonConfig config(path, false);
        config.setValue(QStringLiteral("generation"), 1);
        QVERIFY(!QFile::exists(JsonConfig::backupPath(path)));
        const ino_t object = fileObject(path);
        const QByteArray first = readFile(path);
        config.setValue(QStringLiteral("generation"), 1);
        QCOMPARE(fileObject(path), object);
        config.setValue(QStringLiteral("generation"), 2);
        QVERIFY(fileObject(path) != object);
        QCOMPARE(readFile(JsonConfig::backupPath(path)), first);
        const QByteArray second = readFile(path);
        config.setValue(QStringLiteral("generation"), 3);
        QCOMPARE(readFile(JsonConfig::backupPath(path)), second);
    }

    void startsFromTheCopy_data()
    {
        QTest::addColumn<QByteArray>("damaged");
        QTest::addColumn<QByteArray>("copy");
        QTest::addColumn<int>("generation");
        const QByteArray good = R"({"generation": 7})";
        QTest::newRow("emptied") << QByteArray() << good << 7;
        QTest::newRow("cut short") << QByteArray("{\"generation\": 8, \"walls\": [") << good << 7;
        QTest::newRow("not an object") << QByteArray("[1]") << good << 7;
        QTest::newRow("no copy") << QByteArray() << QByteArray() << 0;
        QTest::newRow("copy damaged too") << QByteArray() << QByteArray("{\"gener") << 0;
        QTest::newRow("copy empty object") << QByteArray() << QByteArray("{}") << 0;
    }

    // The file a full disk emptied under an older version, or a half copied file, must
    // not start the controller with nothing; and the start says what it did.
    void startsFromTheCopy()
    {
        QFETCH(QByteArray, damaged);
        QFETCH(QByteArray, copy);
        QFETCH(int, generation);
        QVERIFY(writeFile(path, damaged));
        if (!copy.isEmpty())
            QVERIFY(writeFile(JsonConfig::backupPath(path), copy));
        if (!damaged.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Unreadable settings file")));
        const bool restored = generation != 0;
        if (restored)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("restored from the copy")));
        JsonConfig config(path, false);
        QCOMPARE(config.value(QStringLiteral("generation"), 0), generation);
        QCOMPARE(config.loadNotice().contains(JsonConfig::backupPath(path)), restored);
        // The file is whole again at once, and a later save keeps the copy, not the damage.
        QCOMPARE(saved().value("generation").toInt(), generation);
        config.setValue(QStringLiteral("later"), true);
        if (restored)
            QCOMPARE(saved(JsonConfig::backupPath(path)).value("generation"), QJsonValue(generation));
        else
            QCOMPARE(readFile(JsonConfig::backupPath(path)), copy);
    }

    // Whatever the umask, the file and its copies hold secrets for the owner only.
    void ownerOnly()
    {
        const mode_t old = ::umask(0);
        const QString folder = home.path() + QStringLiteral("/fresh");
        {
            JsonConfig config(folder + QStringLiteral("/config.json"), false);
            QCOMPARE(fileMode(folder), 0700);
            QCOMPARE(fileMode(config.path()), 0600);
            config.setValue(QStringLiteral("a"), 1);
            config.setValue(QStringLiteral("a"), 2);
            QCOMPARE(fileMode(config.path()), 0600);
            QCOMPARE(fileMode(JsonConfig::backupPath(config.path())), 0600);
        }
        // A file an older version left readable by all is narrowed at its next save; one it
        // cannot read is kept aside before it is overwritten.
        const QByteArray broken("{\"walls\": [1, 2");
        QVERIFY(writeFile(path, broken));
        QCOMPARE(fileMode(path), 0666);
        QTest::ignoreMessage(
            QtWarningMsg, qPrintable(QStringLiteral("Unreadable settings file %1 kept as %1.bad").arg(path)));
        JsonConfig config(path, false);
        config.setValue(QStringLiteral("fresh"), true);
        ::umask(old);
        QCOMPARE(fileMode(path), 0600);
        QCOMPARE(readFile(path + QStringLiteral(".bad")), broken);
        QCOMPARE(fileMode(path + QStringLiteral(".bad")), 0600);
        QCOMPARE(saved(), QJsonObject({{"fresh", true}}));
    }

    // A full disk: the file keeps its last content whole, the user is told once, and the
    // changes reach the file as soon as there is room.
    void fullDisk()
    {
        SmallDisk disk(64);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.error()));
        const QString file = disk.path() + QStringLiteral("/config.json");
        JsonConfig config(file, false);
        QVector<bool> reports;
        config.setSaveObserver([&reports](bool ok, const QString &) { reports << ok; });
        QVERIFY(config.setValue(QStringLiteral("name"), QStringLiteral("Lobby")));
        const QByteArray before = readFile(file);
        QVERIFY(disk.fill());

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("could not be saved to .*config.json")));
        // Small enough to sit in a write buffer until the file is closed.
        QVERIFY(!config.setValue(QStringLiteral("name"), QStringLiteral("Hall")));
        QVERIFY(!config.setValue(QStringLiteral("seats"), 40));
        QVERIFY(!config.retrySave());
        QCOMPARE(readFile(file), before);
        QCOMPARE(reports, QVector<bool>({false}));
        QVERIFY(config.saveFailing());
        QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);

        disk.clear();
        QVERIFY(config.retrySave());
        QCOMPARE(reports, QVector<bool>({false, true}));
        QCOMPARE(saved(file), QJsonObject({{"name", "Hall"}, {"seats", 40}}));
        QCOMPARE(saved(JsonConfig::backupPath(file)).value("name"), QJsonValue("Lobby"));
    }
};

QTEST_GUILESS_MAIN(TestJsonConfig)
#include "tst_json_config.moc"
