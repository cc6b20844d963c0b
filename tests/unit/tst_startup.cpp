#include "common.h"
#include "test_home.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <signal.h>

// The built program, started the way a user starts it, in a home of its own.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firstStartLogsSecondExitsWithTwo();
    void resetWaitsForRestartGuard();
    void versionAndHelp();
    void factoryDefaultRestartsWithoutSettings();

private:
    QProcess *start(const QStringList &arguments);
    QString logContent() const;

    std::unique_ptr<TestHome> home;
    QList<QProcess *> processes;
    // Copies the program started by itself, known only by their process ids.
    QList<pid_t> detached;
};

void TestStartup::init()
{
    home.reset();
    home.reset(new TestHome);
}

void TestStartup::cleanup()
{
    for (QProcess *process : qAsConst(processes)) {
        process->kill();
        process->waitForFinished(5000);
        delete process;
    }
    processes.clear();
    for (const pid_t pid : qAsConst(detached))
        ::kill(pid, SIGKILL);
    detached.clear();
}

QProcess *TestStartup::start(const QStringList &arguments)
{
    auto *process = new QProcess;
    processes << process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Under AddressSanitizer, leak reports need whole stacks to match the suppression of
    // the headless plugin's own leak; Qt's libraries have no frame pointers to walk.
    if (env.contains(QStringLiteral("ASAN_OPTIONS"))) {
        env.insert(QStringLiteral("ASAN_OPTIONS"),
            env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":fast_unwind_on_malloc=0"));
    }
    process->setProcessEnvironment(env);
    process->start(QStringLiteral(ZENTROVA_PROGRAM), arguments);
    return process;
}

QString TestStartup::logContent() const
{
    QFile file(home->path() + QStringLiteral("/.zentrova/zentrova.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void TestStartup::firstStartLogsSecondExitsWithTwo()
{
    QProcess *first = start({});
    QTRY_VERIFY_WITH_TIMEOUT(logContent().contains(QLatin1String("- System Start!")), 20000);
    const QStringList lines = logContent().split(QStringLiteral("\r\n"));
    const QRegularExpression format(QStringLiteral(
        R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] -I-  \S+main\.cpp\(\d+\) <<.*main\(.*\)>>: (.*)$)"));
    const QStringList expected {QStringLiteral("---------------------------------------------------"),
        QStringLiteral("- System Start!"), QStringLiteral("---------------------------------------------------")};
    for (int i = 0; i < expected.size(); ++i) {
        const QRegularExpressionMatch match = format.match(lines.value(i));
        QVERIFY2(match.hasMatch(), qPrintable(lines.value(i)));
        QCOMPARE(match.captured(1), expected.at(i));
    }

    QProcess *second = start({});
    QVERIFY(second->waitForFinished(20000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 2);
    QVERIFY(second->readAllStandardError().contains("Only one instance can run at the same time!"));
    QCOMPARE(logContent().count(QLatin1String("- System Start!")), 2);
    QCOMPARE(first->state(), QProcess::Running);
}

void TestStartup::resetWaitsForRestartGuard()
{
    NamedMutexSlot guard;
    QVERIFY(takeNamedMutex(guard, QString::fromLatin1(RESTART_MUTEX_NAME), 0));
    QElapsedTimer timer;
    timer.start();
    QProcess *program = start({QStringLiteral("/RESET")});
    QVERIFY(program->waitForFinished(30000));
    QCOMPARE(program->exitCode(), 1);
    QVERIFY(timer.elapsed() >= RESTART_WAIT_MS - 500);
    QVERIFY(logContent().isEmpty());

    // Once the guard is free, the same start goes through.
    guard.reset();
    QProcess *again = start({QStringLiteral("/Reset")});
    QTRY_VERIFY_WITH_TIMEOUT(logContent().contains(QLatin1String("- System Start!")), 20000);
    QCOMPARE(again->state(), QProcess::Running);
}

void TestStartup::versionAndHelp()
{
    QProcess *version = start({QStringLiteral("--version")});
    QVERIFY(version->waitForFinished(20000));
    QCOMPARE(version->exitCode(), 0);
    QCOMPARE(version->readAllStandardOutput(), QByteArray("Brivolt Orvanta Lite " ZENTROVA_VERSION "\n"));

    QProcess *help = start({QStringLiteral("--help")});
    QVERIFY(help->waitForFinished(20000));
    QCOMPARE(help->exitCode(), 0);
    // Each option on a line of its own with a description, and in the usage line.
    const QString text = QString::fromLocal8Bit(help->readAllStandardOutput());
    for (const QString &option : QStringList {"/reset", "--demo", "--factory-default", "--version", "--help"}) {
        const QRegularExpression described(
            QStringLiteral("^  %1 +\\S").arg(QRegularExpression::escape(option)), QRegularExpression::MultilineOption);
        QVERIFY2(text.contains(described), qPrintable(option));
        QVERIFY2(text.section(QLatin1Char('\n'), 0, 0).contains(QLatin1Char('[') + option + QLatin1Char(']')),
            qPrintable(option));
    }
    QVERIFY(logContent().isEmpty());
}

void TestStartup::factoryDefaultRestartsWithoutSettings()
{
    const QString config = home->path() + QStringLiteral("/.zentrova/config.json");
    QVERIFY(QDir().mkpath(home->path() + QStringLiteral("/.zentrova")));
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"alias_map": {"IPD9-7C2E0D000001": "Old name"}})");
    file.close();

    QProcess *program = start({QStringLiteral("--factory-default")});
    QVERIFY(program->waitForFinished(30000));
    QCOMPARE(program->exitCode(), 0);
    const QRegularExpression restarted(QStringLiteral("Restarted as process (\\d+)"));
    const QRegularExpressionMatch match = restarted.match(logContent());
    QVERIFY2(match.hasMatch(), qPrintable(logContent()));
    const pid_t copy = pid_t(match.captured(1).toLongLong());
    QVERIFY(copy > 0);
    // The new copy waited for the old one to end, and found no settings.
    QTRY_COMPARE_WITH_TIMEOUT(logContent().count(QLatin1String("- System Start!")), 2, 20000);
    detached << copy;
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(copy));
    QVERIFY(commandLine.open(QIODevice::ReadOnly));
    QCOMPARE(commandLine.readAll().split('\0').mid(1, 1), QList<QByteArray> {"/reset"});
    QFile left(config);
    if (left.open(QIODevice::ReadOnly))
        QVERIFY(!left.readAll().contains("Old name"));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
