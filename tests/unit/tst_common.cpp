#include "common.h"
#include "log_capture.h"
#include "test_files.h"
#include "test_home.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTranslator>
#include <QtTest>
#include <pwd.h>
#include <thread>
#include <unistd.h>

class TestCommon : public QObject
{
    Q_OBJECT

private slots:
    void expandsHomeAndCreatesFile();
    void keepsExistingContent();
    void expandOnlyTouchesNothing_data();
    void expandOnlyTouchesNothing();
    void warnsWhenFolderCannotBeMade();
    void languageFromLangCfg_data();
    void languageFromLangCfg();
    void namedMutexIsExclusive();
    void namedMutexWaitsForRelease();
    void namedMutexStaysWithTheUser();

private:
    TestHome home;
};

void TestCommon::expandsHomeAndCreatesFile()
{
    const QString path = expandPathAndInitFile(QStringLiteral("~/.zentrova/zentrova.log"), false, QByteArray());
    QCOMPARE(path, home.path() + QStringLiteral("/.zentrova/zentrova.log"));
    QVERIFY(QFileInfo(home.path() + QStringLiteral("/.zentrova")).isDir());
    QCOMPARE(QFileInfo(path).size(), 0);

    const QString seeded = expandPathAndInitFile(QStringLiteral("~/a\\b\\seed.txt"), false, QByteArrayLiteral("{}"));
    QCOMPARE(seeded, home.path() + QStringLiteral("/a/b/seed.txt"));
    QFile file(seeded);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArrayLiteral("{}"));
}

void TestCommon::keepsExistingContent()
{
    const QString path = home.path() + QStringLiteral("/kept.json");
    QVERIFY(writeFile(path, "precious"));
    QCOMPARE(expandPathAndInitFile(path, false, QByteArrayLiteral("new")), path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArrayLiteral("precious"));
}

void TestCommon::expandOnlyTouchesNothing_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("backslashes") << "C:\\Program Files\\zentrova\\lang.cfg" << "C:/Program Files/zentrova/lang.cfg";
    QTest::newRow("home") << "~/x\\y.cfg" << "HOME/x/y.cfg";
    QTest::newRow("tilde not at start") << "a/~/b" << "a/~/b";
    QTest::newRow("tilde without slash") << "~user/b" << "~user/b";
}

void TestCommon::expandOnlyTouchesNothing()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    expected.replace(QLatin1String("HOME"), home.path());
    const QStringList before = QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QCOMPARE(expandPathAndInitFile(input, true, QByteArrayLiteral("x")), expected);
    QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

void TestCommon::warnsWhenFolderCannotBeMade()
{
    const QString blocker = home.path() + QStringLiteral("/plainfile");
    QVERIFY(writeFile(blocker, "x"));
    const QString path = blocker + QStringLiteral("/sub/file.log");
    QTest::ignoreMessage(QtWarningMsg,
                         qPrintable(QStringLiteral("Error, cannot create dir %1/sub").arg(blocker)));
    QCOMPARE(expandPathAndInitFile(path, false, QByteArray()), path);
    QVERIFY(!QFile::exists(path));
}

void TestCommon::languageFromLangCfg_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    QTest::newRow("missing") << false << QByteArray() << "Error";
    QTest::newRow("empty") << true << QByteArray() << "Error";
    QTest::newRow("english") << true << QByteArray("en_US") << "Error";
    QTest::newRow("simplified") << true << QByteArray("zh_CN") << "错误";
    QTest::newRow("simplified, small letters") << true << QByteArray("zh_cn") << "错误";
    QTest::newRow("simplified with line break") << true << QByteArray("zh_CN\n") << "Error";
    QTest::newRow("traditional") << true << QByteArray("ZH_tw") << "錯誤";
    QTest::newRow("only the first line counts") << true << QByteArray("zh_TW") + QByteArray(200, ' ') << "Error";
}

void TestCommon::languageFromLangCfg()
{
    QFETCH(bool, present);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    const QString cfg = QCoreApplication::applicationDirPath() + QStringLiteral("/lang.cfg");
    QFile::remove(cfg);
    if (present)
        QVERIFY(writeFile(cfg, content));
    QTranslator translator;
    loadLanguage(QCoreApplication::instance(), &translator);
    QFile::remove(cfg);
    QCOMPARE(QCoreApplication::translate("QApplication", "Error"), error);
    QCoreApplication::removeTranslator(&translator);
}

void TestCommon::namedMutexIsExclusive()
{
    NamedMutexSlot first;
    NamedMutexSlot second;
    QVERIFY(takeNamedMutex(first, QStringLiteral("TEST_MUTEX"), 0));
    QVERIFY(takeNamedMutex(first, QStringLiteral("TEST_MUTEX"), 0)); // a filled slot is already held
    QVERIFY(!takeNamedMutex(second, QStringLiteral("TEST_MUTEX"), 0));
    first.reset();
    NamedMutexSlot third;
    QVERIFY(takeNamedMutex(third, QStringLiteral("TEST_MUTEX"), 0));
}

void TestCommon::namedMutexWaitsForRelease()
{
    NamedMutexSlot holder;
    QVERIFY(takeNamedMutex(holder, QStringLiteral("WAIT_MUTEX"), 0));
    NamedMutexSlot waiter;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!takeNamedMutex(waiter, QStringLiteral("WAIT_MUTEX"), 300));
    QVERIFY(timer.elapsed() >= 300);

    // Released while the other side waits: the waiter gets it long before its time-out.
    waiter.reset();
    std::thread releaser([&holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        holder.reset();
    });
    timer.restart();
    const bool taken = takeNamedMutex(waiter, QStringLiteral("WAIT_MUTEX"), 30000);
    releaser.join();
    QVERIFY(taken);
    QVERIFY(timer.elapsed() < 30000);
}

void TestCommon::namedMutexStaysWithTheUser()
{
    if (::geteuid() != 0)
        QSKIP("giving a folder to another user needs root");
    // No runtime folder is set, and the one that would stand in for it in the shared temporary
    // folder belongs to someone else: there is no runtime folder of our own.
    QTemporaryDir shared;
    const QString taken
        = shared.filePath(QStringLiteral("runtime-") + QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name));
    QVERIFY(QDir().mkdir(taken));
    QVERIFY(::chown(QFile::encodeName(taken).constData(), 65534, 65534) == 0);
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray temp = qgetenv("TMPDIR");
    const auto restore = qScopeGuard([runtime, temp] {
        qputenv("XDG_RUNTIME_DIR", runtime);
        qputenv("TMPDIR", temp);
    });
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(shared.path()));
    const LogCapture warnings(QtWarningMsg);

    const QString lockFile = home.path() + QStringLiteral("/.zentrova/USER_MUTEX.lock");
    NamedMutexSlot held;
    QVERIFY(takeNamedMutex(held, QStringLiteral("USER_MUTEX"), 0));
    QVERIFY(QFileInfo(lockFile).isFile());
    QVERIFY(!QFile::exists(shared.filePath(QStringLiteral("USER_MUTEX.lock"))));
    held.reset();

    // A link in the lock file's place is not followed.
    const QString target = home.path() + QStringLiteral("/target");
    QVERIFY(QFile::remove(lockFile));
    QVERIFY(QFile::link(target, lockFile));
    NamedMutexSlot linked;
    QVERIFY(!takeNamedMutex(linked, QStringLiteral("USER_MUTEX"), 0));
    QVERIFY(!QFile::exists(target));
}

QTEST_GUILESS_MAIN(TestCommon)
#include "tst_common.moc"
