#include "app/process_control.h"
#include "base/audit_trail.h"
#include "test_files.h"
#include "test_home.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <signal.h>

// The built program, started the way a user starts it, in a home of its own.
class TestStartup : public QObject
{
    Q_OBJECT

    TestHome home;
    const QString logPath = home.path() + QStringLiteral("/.zentrova/zentrova.log");

    // Killed, if still running, when the test ends.
    QProcess *start(const QStringList &arguments)
    {
        auto *process = new QProcess(this);
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

    int starts() const { return QString::fromUtf8(readFile(logPath)).count(QLatin1String("- System Start!")); }

private slots:
    void helpListsEveryOption()
    {
        QProcess *help = start({QStringLiteral("--help")});
        QVERIFY(help->waitForFinished(20000));
        QCOMPARE(help->exitCode(), 0);
        // The README's usage line is --help's, and each option is described on a line of its own there.
        const QString text = QString::fromLocal8Bit(help->readAllStandardOutput());
        const QString readme = QString::fromUtf8(readFile(QStringLiteral(ZENTROVA_SOURCE_DIR "/README.md")));
        const QRegularExpression usageLine(QStringLiteral("^zentrova (\\[.*)$"), QRegularExpression::MultilineOption);
        const QString usage = usageLine.match(readme).captured(1);
        QVERIFY(usage.contains(QStringLiteral("[--new-api-token]")) && usage.contains(QStringLiteral("[--mqtt")));
        QVERIFY(text.section(QLatin1Char('\n'), 0, 0).endsWith(QLatin1Char(' ') + usage));
        const QRegularExpression bracketed(QStringLiteral("\\[([^\\s\\]]+)[^\\]]*\\]"));
        for (auto match = bracketed.globalMatch(usage); match.hasNext();) {
            const QString option = match.next().captured(1);
            const QRegularExpression described(QStringLiteral("^  %1 +\\S").arg(QRegularExpression::escape(option)),
                QRegularExpression::MultilineOption);
            QVERIFY2(text.contains(described), qPrintable(option));
        }
    }

    // The trail as written verifies; a copy with a line taken out does not, and says where.
    void verifyAudit()
    {
        const QString path = home.path() + QStringLiteral("/audit.jsonl");
        {
            AuditTrail trail(path);
            for (const char *target : {"RX - 1", "RX - 2", "RX - 3"})
                QVERIFY(trail.append({{"action", "route"}, {"target", target}}));
        }
        const auto verify = [this](const QString &file) -> QString {
            QProcess *run = start({QStringLiteral("--verify-audit"), file});
            run->waitForFinished(20000);
            return QString::number(run->exitCode()) + ' ' + QString::fromLocal8Bit(run->readAllStandardOutput());
        };
        QCOMPARE(verify(path), QStringLiteral("0 audit trail intact: 3 lines\n"));
        QList<QByteArray> lines = readFile(path).split('\n');
        lines.removeAt(1);
        QVERIFY(writeFile(path + ".copy", lines.join('\n')));
        QCOMPARE(verify(path + ".copy"),
            QStringLiteral("1 audit trail broken at line 2 of 2: 1 line(s) before line 2 were removed\n"));
        // No file is no proof of anything.
        QCOMPARE(verify(path + ".none"), "1 audit trail not checked: " + path + ".none cannot be read\n");
    }

    // A factory default starts a new copy without the settings, which waits for the old
    // copy to end and is then the only one.
    void factoryDefaultRestartsTheOnlyCopy()
    {
        NamedMutexSlot guard;
        QVERIFY(takeNamedMutex(guard, QString::fromLatin1(RESTART_MUTEX_NAME), 0));
        QElapsedTimer timer;
        timer.start();
        QProcess *waiting = start({QStringLiteral("/RESET")});
        QVERIFY(waiting->waitForFinished(30000));
        QCOMPARE(waiting->exitCode(), 1);
        QVERIFY(timer.elapsed() >= RESTART_WAIT_MS - 500);
        QCOMPARE(starts(), 0);
        guard.reset();

        const QString config = home.path() + QStringLiteral("/.zentrova/config.json");
        QVERIFY(QDir().mkpath(home.path() + QStringLiteral("/.zentrova")));
        QVERIFY(writeFile(config, R"({"alias_map": {"IPD9-7C2E0D000001": "Old name"}})"));
        QProcess *program = start({QStringLiteral("--factory-default")});
        QVERIFY(program->waitForFinished(30000));
        QCOMPARE(program->exitCode(), 0);
        const QRegularExpressionMatch restarted = QRegularExpression(QStringLiteral("Restarted as process (\\d+)"))
                                                      .match(QString::fromUtf8(readFile(logPath)));
        QVERIFY(restarted.hasMatch());
        const pid_t copy = pid_t(restarted.captured(1).toLongLong());
        const auto stop = qScopeGuard([copy] { ::kill(copy, SIGKILL); });
        QTRY_COMPARE_WITH_TIMEOUT(starts(), 2, 20000);
        QCOMPARE(
            readFile(QStringLiteral("/proc/%1/cmdline").arg(copy)).split('\0').mid(1, 1), QList<QByteArray> {"/reset"});
        QVERIFY(!readFile(config).contains("Old name"));

        QProcess *second = start({});
        QVERIFY(second->waitForFinished(20000));
        QCOMPARE(second->exitCode(), 2);
        QVERIFY(second->readAllStandardError().contains("Only one instance can run at the same time!"));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
