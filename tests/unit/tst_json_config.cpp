#include "base/json_config.h"
#include "test_files.h"
#include "test_home.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <sys/stat.h>

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

    QJsonObject saved() const { return QJsonDocument::fromJson(readFile(path)).object(); }

    TestHome home;
    const QString path = home.path() + QStringLiteral("/config.json");

private slots:
    void init()
    {
        QFile::remove(path);
        QFile::remove(path + QStringLiteral(".bad"));
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

    // Whoever still reads the old file (or a crash halfway through a save) sees it whole.
    void savesReplaceTheFileOnlyOnChange()
    {
        JsonConfig config(path, false);
        config.setValue(QStringLiteral("generation"), 1);
        const ino_t first = fileObject(path);
        config.setValue(QStringLiteral("generation"), 1);
        QCOMPARE(fileObject(path), first);
        config.setValue(QStringLiteral("generation"), 2);
        QVERIFY(fileObject(path) != first);
    }

    void unreadableFileIsKeptBeforeOverwrite()
    {
        const QByteArray broken("{\"walls\": [1, 2");
        QVERIFY(writeFile(path, broken));
        QTest::ignoreMessage(
            QtWarningMsg, qPrintable(QStringLiteral("Unreadable settings file %1 kept as %1.bad").arg(path)));
        JsonConfig config(path, false);
        config.setValue(QStringLiteral("fresh"), true);
        QCOMPARE(readFile(path + QStringLiteral(".bad")), broken);
        QCOMPARE(saved(), QJsonObject({{"fresh", true}}));
    }
};

QTEST_GUILESS_MAIN(TestJsonConfig)
#include "tst_json_config.moc"
