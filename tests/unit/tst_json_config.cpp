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

private slots:
    void init();
    void reads_data();
    void reads();
    void rawValues_data();
    void rawValues();
    void writableStoreCreatesItsFile();
    void writesReplaceNonObjects();
    void batchWritesOnce();
    void readOnlyNeverWrites();
    void saveReplacesTheFileWhole();
    void unreadableFileIsKeptBeforeOverwrite_data();
    void unreadableFileIsKeptBeforeOverwrite();

private:
    void writeSample();

    std::unique_ptr<TestHome> home;
    QString path;
};

void TestJsonConfig::init()
{
    home.reset();
    home.reset(new TestHome);
    path = home->path() + QStringLiteral("/.zentrova/config.json");
}

void TestJsonConfig::writeSample()
{
    QDir().mkpath(QFileInfo(path).path());
    QVERIFY(writeFile(path, R"({"security":{"password":"1234"},"count":7,"ratio":1.5,"flag":true,"numberText":"7",
                              "nothing":null,"walls":[{"name":"first"},{"name":"second"}]})"));
}

void TestJsonConfig::reads_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("fallback");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("string") << "security/password" << QVariant("none") << QVariant("1234");
    QTest::newRow("doubled and outer slashes") << "/security//password/" << QVariant("none") << QVariant("1234");
    QTest::newRow("case matters") << "Security/password" << QVariant("none") << QVariant("none");
    QTest::newRow("integer") << "count" << QVariant(-1) << QVariant(7);
    QTest::newRow("double") << "ratio" << QVariant(0.0) << QVariant(1.5);
    QTest::newRow("bool") << "flag" << QVariant(false) << QVariant(true);
    QTest::newRow("number stored as string") << "numberText" << QVariant(-1) << QVariant(-1);
    QTest::newRow("null entry") << "nothing" << QVariant("fallback") << QVariant("fallback");
    QTest::newRow("array element") << "walls/1/name" << QVariant("") << QVariant("second");
    QTest::newRow("array index at size") << "walls/2/name" << QVariant("none") << QVariant("none");
    QTest::newRow("array index not a number") << "walls/x/name" << QVariant("none") << QVariant("none");
    QTest::newRow("through a string") << "security/password/deeper" << QVariant("none") << QVariant("none");
    QTest::newRow("no steps") << "//" << QVariant("none") << QVariant("none");
    QTest::newRow("missing") << "absent/key" << QVariant(3) << QVariant(3);
}

void TestJsonConfig::reads()
{
    QFETCH(QString, key);
    QFETCH(QVariant, fallback);
    QFETCH(QVariant, expected);

    writeSample();
    const JsonConfig config(path, true);
    switch (fallback.userType()) {
    case QMetaType::QString:
        QCOMPARE(config.value(key, fallback.toString()), expected.toString());
        break;
    case QMetaType::Int:
        QCOMPARE(config.value(key, fallback.toInt()), expected.toInt());
        break;
    case QMetaType::Double:
        QCOMPARE(config.value(key, fallback.toDouble()), expected.toDouble());
        break;
    case QMetaType::Bool:
        QCOMPARE(config.value(key, fallback.toBool()), expected.toBool());
        break;
    default:
        QFAIL("unexpected type");
    }
}

void TestJsonConfig::rawValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("expected");
    QTest::newRow("object") << "security" << QJsonValue(QJsonObject {{"password", "1234"}});
    QTest::newRow("array") << "walls"
                           << QJsonValue(
                                  QJsonArray {QJsonObject {{"name", "first"}}, QJsonObject {{"name", "second"}}});
    QTest::newRow("stored null") << "nothing" << QJsonValue();
    QTest::newRow("missing") << "security/salt" << QJsonValue(QJsonValue::Undefined);
    QTest::newRow("array index at size") << "walls/2" << QJsonValue(QJsonValue::Undefined);
}

// The raw read tells "not there" from a stored null, and hands out what the typed
// reads would refuse.
void TestJsonConfig::rawValues()
{
    QFETCH(QString, key);
    QFETCH(QJsonValue, expected);
    writeSample();
    const QJsonValue actual = JsonConfig(path, true).jsonValue(key);
    QCOMPARE(actual.type(), expected.type());
    QCOMPARE(actual, expected);
}

void TestJsonConfig::writableStoreCreatesItsFile()
{
    JsonConfig config(QStringLiteral("~/.zentrova/config.json"), false);
    QCOMPARE(config.path(), path);
    QVERIFY(QFile::exists(path));
    QCOMPARE(readFile(path), QByteArray());

    config.setValue(QStringLiteral("security/password"), QStringLiteral("9876"));
    QCOMPARE(readFile(path), QByteArray("{\n    \"security\": {\n        \"password\": \"9876\"\n    }\n}\n"));
    QCOMPARE(JsonConfig(path, true).value(QStringLiteral("security/password"), ""), QStringLiteral("9876"));
}

void TestJsonConfig::writesReplaceNonObjects()
{
    JsonConfig config(path, false);
    config.setValue(QStringLiteral("name"), QStringLiteral("plain"));
    config.setValue(QStringLiteral("list"), QJsonArray {1, 2});
    config.setValue(QStringLiteral("name/first"), 1);
    config.setValue(QStringLiteral("list/0"), QStringLiteral("x"));
    config.setValue(QString(), 5); // no steps: nothing changes

    const QJsonObject saved = QJsonDocument::fromJson(readFile(path)).object();
    QCOMPARE(saved.value(QStringLiteral("name")).toObject(), QJsonObject({{"first", 1}}));
    QCOMPARE(saved.value(QStringLiteral("list")).toObject(), QJsonObject({{"0", "x"}}));
    QCOMPARE(saved.size(), 2);
}

void TestJsonConfig::batchWritesOnce()
{
    JsonConfig config(path, false);
    config.setValue(QStringLiteral("a"), 1);
    const QByteArray before = readFile(path);
    config.beginBatch();
    config.setValue(QStringLiteral("b"), 2);
    config.setValue(QStringLiteral("c"), 3);
    QCOMPARE(readFile(path), before);
    QCOMPARE(config.value(QStringLiteral("c"), 0), 3);
    config.endBatch();
    QCOMPARE(QJsonDocument::fromJson(readFile(path)).object(), QJsonObject({{"a", 1}, {"b", 2}, {"c", 3}}));
}

void TestJsonConfig::readOnlyNeverWrites()
{
    const QString missing = home->path() + QStringLiteral("/nowhere/custom.json");
    JsonConfig absent(missing, true);
    QVERIFY(!QFileInfo::exists(QFileInfo(missing).path()));
    QCOMPARE(absent.value(QStringLiteral("app_name"), "default"), QStringLiteral("default"));
    absent.setValue(QStringLiteral("x"), 1);
    QVERIFY(!QFile::exists(missing));

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
void TestJsonConfig::saveReplacesTheFileWhole()
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
    const QStringList leftovers = QDir(QFileInfo(path).path()).entryList(QDir::Files);
    QCOMPARE(leftovers, QStringList {QStringLiteral("config.json")});
}

void TestJsonConfig::unreadableFileIsKeptBeforeOverwrite_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("kept");
    QTest::newRow("broken json") << QByteArray("{\"walls\": [1, 2") << true;
    QTest::newRow("top level array") << QByteArray("[1, 2]") << true;
    QTest::newRow("empty file") << QByteArray() << false;
    QTest::newRow("blank file") << QByteArray(" \n") << false;
}

void TestJsonConfig::unreadableFileIsKeptBeforeOverwrite()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, kept);
    QDir().mkpath(QFileInfo(path).path());
    QVERIFY(writeFile(path, content));
    const QString copy = path + QStringLiteral(".bad");
    if (kept) {
        QTest::ignoreMessage(
            QtWarningMsg, qPrintable(QStringLiteral("Unreadable settings file %1 kept as %2").arg(path, copy)));
    }
    JsonConfig config(path, false);
    QCOMPARE(config.value(QStringLiteral("walls/0"), -1), -1);
    config.setValue(QStringLiteral("fresh"), true);
    QCOMPARE(QFile::exists(copy), kept);
    if (kept)
        QCOMPARE(readFile(copy), content);
    QCOMPARE(QJsonDocument::fromJson(readFile(path)).object(), QJsonObject({{"fresh", true}}));
}

QTEST_GUILESS_MAIN(TestJsonConfig)
#include "tst_json_config.moc"
