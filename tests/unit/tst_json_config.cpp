#include "json_config.h"
#include "test_files.h"
#include "test_home.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <sys/stat.h>

class TestJsonConfig : public QObject
{
    Q_OBJECT

    QJsonObject saved() const { return QJsonDocument::fromJson(readFile(path)).object(); }

    std::unique_ptr<TestHome> home;
    QString path;

private slots:
    void init()
    {
        home.reset();
        home.reset(new TestHome);
        path = home->path() + QStringLiteral("/.zentrova/config.json");
    }

    void reads_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("fallback");
        QTest::addColumn<QVariant>("expected");

        QTest::newRow("string") << "security/password" << QVariant("none") << QVariant("1234");
        QTest::newRow("doubled and outer slashes") << "/security//password/" << QVariant("none") << QVariant("1234");
        QTest::newRow("integer") << "count" << QVariant(-1) << QVariant(7);
        QTest::newRow("number stored as string") << "numberText" << QVariant(-1) << QVariant(-1);
        QTest::newRow("null entry") << "nothing" << QVariant("fallback") << QVariant("fallback");
        QTest::newRow("array element") << "walls/1/name" << QVariant("") << QVariant("second");
        QTest::newRow("array index not a number") << "walls/x/name" << QVariant("none") << QVariant("none");
    }

    void reads()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, fallback);
        QFETCH(QVariant, expected);

        QDir().mkpath(QFileInfo(path).path());
        QVERIFY(writeFile(path, R"({"security":{"password":"1234"},"count":7,"numberText":"7","nothing":null,
                                  "walls":[{"name":"first"},{"name":"second"}]})"));
        const JsonConfig config(path, true);
        if (fallback.userType() == QMetaType::Int)
            QCOMPARE(config.value(key, fallback.toInt()), expected.toInt());
        else
            QCOMPARE(config.value(key, fallback.toString()), expected.toString());
        // The raw read tells "not there" from a stored null.
        QCOMPARE(config.jsonValue(QStringLiteral("nothing")).type(), QJsonValue::Null);
        QCOMPARE(config.jsonValue(QStringLiteral("absent")).type(), QJsonValue::Undefined);
    }

    void writableStoreCreatesItsFile()
    {
        JsonConfig config(QStringLiteral("~/.zentrova/config.json"), false);
        QVERIFY(QFile::exists(path));
        config.setValue(QStringLiteral("security/password"), QStringLiteral("9876"));
        QCOMPARE(readFile(path), QByteArray("{\n    \"security\": {\n        \"password\": \"9876\"\n    }\n}\n"));
        // The empty file of a first start is nothing worth keeping.
        QVERIFY(!QFile::exists(path + QStringLiteral(".bad")));
    }

    void unreadableFileIsKeptBeforeOverwrite()
    {
        const QByteArray broken("{\"walls\": [1, 2");
        QDir().mkpath(QFileInfo(path).path());
        QVERIFY(writeFile(path, broken));
        const QString copy = path + QStringLiteral(".bad");
        QTest::ignoreMessage(
            QtWarningMsg, qPrintable(QStringLiteral("Unreadable settings file %1 kept as %2").arg(path, copy)));
        JsonConfig config(path, false);
        config.setValue(QStringLiteral("fresh"), true);
        QCOMPARE(readFile(copy), broken);
        QCOMPARE(saved(), QJsonObject({{"fresh", true}}));
    }

    void writesReplaceNonObjects()
    {
        JsonConfig config(path, false);
        config.setValue(QStringLiteral("name"), QStringLiteral("plain"));
        config.setValue(QStringLiteral("list"), QJsonArray {1, 2});
        config.setValue(QStringLiteral("name/first"), 1);
        config.setValue(QStringLiteral("list/0"), QStringLiteral("x"));
        config.setValue(QString(), 5); // no steps: nothing changes
        QCOMPARE(saved(), QJsonObject({{"name", QJsonObject {{"first", 1}}}, {"list", QJsonObject {{"0", "x"}}}}));
    }

    void batchWritesOnce()
    {
        JsonConfig config(path, false);
        config.setValue(QStringLiteral("a"), 1);
        const QByteArray before = readFile(path);
        config.beginBatch();
        config.setValue(QStringLiteral("b"), 2);
        QCOMPARE(readFile(path), before);
        config.endBatch();
        QCOMPARE(saved(), QJsonObject({{"a", 1}, {"b", 2}}));
    }

    void readOnlyNeverWrites()
    {
        JsonConfig config(path, false);
        config.setValue(QStringLiteral("kept"), 1);
        const QByteArray before = readFile(path);
        config.setReadOnly(true);
        config.setValue(QStringLiteral("kept"), 2);
        config.beginBatch();
        config.endBatch();
        QCOMPARE(readFile(path), before);
        QCOMPARE(config.value(QStringLiteral("kept"), 0), 2);
    }

    // A save must never write into the existing file: whoever still reads the old file
    // (or a crash halfway through) sees the old content whole.
    void saveReplacesTheFileWhole()
    {
        JsonConfig config(path, false);
        config.setValue(QStringLiteral("generation"), 1);
        QFile old(path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        struct stat before;
        QCOMPARE(::fstat(old.handle(), &before), 0);
        const QByteArray oldContent = old.readAll();

        config.setValue(QStringLiteral("generation"), QStringLiteral("two, and longer than before"));

        old.seek(0);
        QCOMPARE(old.readAll(), oldContent);
        struct stat after;
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &after), 0);
        QVERIFY(after.st_ino != before.st_ino);
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files), QStringList {QStringLiteral("config.json")});
    }
};

QTEST_GUILESS_MAIN(TestJsonConfig)
#include "tst_json_config.moc"
