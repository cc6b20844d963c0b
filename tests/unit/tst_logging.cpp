#include "logging.h"
#include "test_files.h"
#include "test_home.h"

#include <QFile>
#include <QtTest>

class TestLogging : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> home;
    QString logPath;

private slots:
    void init()
    {
        home.reset(); // the old home restores HOME when it goes, so it must go first
        home.reset(new TestHome);
        logPath = home->path() + QStringLiteral("/.zentrova/zentrova.log");
        logging::install();
    }

    void lineFormats_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("fileTag");
        QTest::addColumn<QString>("debuggerTag");
        QTest::newRow("debug") << int(QtDebugMsg) << "-D- "
                               << " [Debug] ";
        QTest::newRow("info") << int(QtInfoMsg) << "-I- "
                              << " [Info] ";
        QTest::newRow("warning") << int(QtWarningMsg) << "-W- "
                                 << " [Warning] ";
        QTest::newRow("critical") << int(QtCriticalMsg) << "-C- "
                                  << " [Critical] ";
        QTest::newRow("fatal") << int(QtFatalMsg) << "-F- "
                               << " [Fatal] ";
        QTest::newRow("unknown") << 7 << "-E- "
                                 << " [Error] ";
    }

    // Qt's own messages come without a source in release builds.
    void lineFormats()
    {
        QFETCH(int, type);
        QFETCH(QString, fileTag);
        QFETCH(QString, debuggerTag);
        const QMessageLogContext source("src/main.cpp", 42, "int __cdecl main(int,char *[])", "default");
        const QMessageLogContext none;
        const QDateTime time(QDate(2026, 1, 2), QTime(3, 4, 5, 6));
        const QString message = QStringLiteral("hello %1");
        const QString stamp = QStringLiteral("[2026-01-02 03:04:05.006] ");
        QCOMPARE(logging::fileLine(QtMsgType(type), source, message, time),
            stamp + fileTag + QStringLiteral(" src/main.cpp(42) <<int __cdecl main(int,char *[])>>: hello %1"));
        QCOMPARE(
            logging::fileLine(QtMsgType(type), none, message, time), stamp + fileTag + QStringLiteral(": hello %1"));
        QCOMPARE(logging::debuggerLine(QtMsgType(type), source, message),
            QStringLiteral("src/main.cpp(42):") + debuggerTag + QStringLiteral("<<main>> hello %1"));
        QCOMPARE(logging::debuggerLine(QtMsgType(type), none, message), debuggerTag + message);
    }

    void handlerWritesOneCrLfLinePerMessage()
    {
        qWarning("first");
        // A device name from the network cannot start a line of its own.
        qInfo("second\r\n[2026-01-01 00:00:00.000] -I- forged\x1b[2K\t");
        const QList<QByteArray> lines = readFile(logPath).split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(0).contains("] -W-  "));
        QVERIFY(lines.at(0).contains("tst_logging.cpp("));
        QVERIFY(lines.at(0).endsWith("first\r"));
        QVERIFY(lines.at(1).endsWith("second\\r\\n[2026-01-01 00:00:00.000] -I- forged\\x1b[2K\t\r"));
    }

    void rotatesAboveTheLimitKeepingTwoBackups()
    {
        const QString first = logPath + QStringLiteral(".1");
        QVERIFY(writeFile(logPath, QByteArray(int(logging::LOG_ROTATE_BYTES), 'x')));
        qInfo("at the limit");
        QVERIFY(!QFile::exists(first));
        qInfo("above the limit");
        QVERIFY(readFile(first).endsWith("at the limit\r\n"));
        QCOMPARE(readFile(logPath).count('\n'), 1);

        for (const char fill : {'2', '3'}) {
            QVERIFY(writeFile(logPath, QByteArray(int(logging::LOG_ROTATE_BYTES) + 1, fill)));
            qInfo("rotated");
        }
        QVERIFY(readFile(first).startsWith('3'));
        QVERIFY(readFile(logPath + QStringLiteral(".2")).startsWith('2'));
        QVERIFY(!QFile::exists(logPath + QStringLiteral(".3")));
    }
};

QTEST_GUILESS_MAIN(TestLogging)
#include "tst_logging.moc"
