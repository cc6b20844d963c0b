#include "common.h"
#include "log_capture.h"
#include "test_files.h"
#include "test_home.h"

#include <QCoreApplication>
#include <QFile>
#include <QTranslator>
#include <QtTest>
#include <pwd.h>
#include <thread>
#include <unistd.h>

class TestCommon : public QObject
{
    Q_OBJECT

    TestHome home;

private slots:
    void createsFolderAndFileOnce()
    {
        const QString path = expandPathAndInitFile(QStringLiteral("~/.zentrova\\seed.txt"), false, "{}");
        QCOMPARE(path, home.path() + QStringLiteral("/.zentrova/seed.txt"));
        QCOMPARE(readFile(path), QByteArray("{}"));
        QVERIFY(writeFile(path, "precious"));
        expandPathAndInitFile(path, false, "new");
        QCOMPARE(readFile(path), QByteArray("precious"));
    }

    void expandOnlyTouchesNothing_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("backslashes") << "C:\\Program Files\\zentrova\\lang.cfg"
                                     << "C:/Program Files/zentrova/lang.cfg";
        QTest::newRow("home") << "~/x\\y.cfg"
                              << "HOME/x/y.cfg";
        QTest::newRow("tilde without slash") << "~user/b"
                                             << "~user/b";
    }

    void expandOnlyTouchesNothing()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        expected.replace(QLatin1String("HOME"), home.path());
        const QStringList before = QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        QCOMPARE(expandPathAndInitFile(input, true, "x"), expected);
        QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    }

    void languageFromLangCfg_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no file
        QTest::addColumn<QString>("error");
        QTest::newRow("missing") << QByteArray() << "Error";
        QTest::newRow("simplified, small letters") << QByteArray("zh_cn") << "错误";
        QTest::newRow("simplified with line break") << QByteArray("zh_CN\n") << "Error";
        QTest::newRow("traditional") << QByteArray("ZH_tw") << "錯誤";
        QTest::newRow("only the first line counts") << QByteArray("en_US\nzh_TW") << "Error";
    }

    void languageFromLangCfg()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, error);
        const QString cfg = QCoreApplication::applicationDirPath() + QStringLiteral("/lang.cfg");
        QFile::remove(cfg);
        if (!content.isEmpty())
            QVERIFY(writeFile(cfg, content));
        QTranslator translator;
        loadLanguage(QCoreApplication::instance(), &translator);
        QFile::remove(cfg);
        QCOMPARE(QCoreApplication::translate("QApplication", "Error"), error);
        QCoreApplication::removeTranslator(&translator);
    }

    void namedMutexWaitsForRelease()
    {
        const QString name = QStringLiteral("TEST_MUTEX");
        NamedMutexSlot holder;
        NamedMutexSlot waiter;
        QVERIFY(takeNamedMutex(holder, name, 0));
        QVERIFY(!takeNamedMutex(waiter, name, 0));

        waiter.reset();
        std::thread releaser([&holder] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            holder.reset();
        });
        const bool taken = takeNamedMutex(waiter, name, 30000);
        releaser.join();
        QVERIFY(taken);
    }

    void namedMutexStaysWithTheUser()
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
};

QTEST_GUILESS_MAIN(TestCommon)
#include "tst_common.moc"
