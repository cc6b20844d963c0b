#include "logging.h"
#include "test_files.h"
#include "test_home.h"

#include <QFile>
#include <QtTest>

namespace {

QMessageLogContext context(const char *file, int line, const char *function)
{
    return QMessageLogContext(file, line, function, "default");
}

} // namespace

class TestLogging : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void lineFormats_data();
    void lineFormats();
    void functionNameForDebugger_data();
    void functionNameForDebugger();
    void handlerAppendsCrLfLines();
    void rotatesOnlyAboveTheLimit();
    void keepsTwoBackups();

private:
    std::unique_ptr<TestHome> home;
    QString logPath;
};

void TestLogging::init()
{
    home.reset(); // the old home restores HOME when it goes, so it must go first
    home.reset(new TestHome);
    logPath = home->path() + QStringLiteral("/.zentrova/zentrova.log");
    logging::install();
}

void TestLogging::lineFormats_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("withSource");
    QTest::addColumn<QString>("fileLine");
    QTest::addColumn<QString>("debuggerLine");

    const QString source = QStringLiteral("[2026-01-02 03:04:05.006] %1 src/main.cpp(42) <<int main(int, char**)>>: hello");
    const QString debugSource = QStringLiteral("src/main.cpp(42):%1<<main>> hello");
    const struct {
        int type;
        const char *fileTag;
        const char *debuggerTag;
    } tags[] = {{QtDebugMsg, "-D- ", " [Debug] "},       {QtInfoMsg, "-I- ", " [Info] "},
                {QtWarningMsg, "-W- ", " [Warning] "},   {QtCriticalMsg, "-C- ", " [Critical] "},
                {QtFatalMsg, "-F- ", " [Fatal] "},       {7, "-E- ", " [Error] "}};
    for (const auto &tag : tags) {
        QTest::addRow("with source, %s", tag.debuggerTag)
            << tag.type << true << source.arg(QLatin1String(tag.fileTag))
            << debugSource.arg(QLatin1String(tag.debuggerTag));
        QTest::addRow("without source, %s", tag.debuggerTag)
            << tag.type << false
            << QStringLiteral("[2026-01-02 03:04:05.006] %1: hello").arg(QLatin1String(tag.fileTag))
            << QLatin1String(tag.debuggerTag) + QStringLiteral("hello");
    }
}

void TestLogging::lineFormats()
{
    QFETCH(int, type);
    QFETCH(bool, withSource);
    QFETCH(QString, fileLine);
    QFETCH(QString, debuggerLine);

    const QMessageLogContext ctx = withSource ? context("src/main.cpp", 42, "int main(int, char**)") : context(nullptr, 0, nullptr);
    const QDateTime time(QDate(2026, 1, 2), QTime(3, 4, 5, 6));
    QCOMPARE(logging::fileLine(QtMsgType(type), ctx, QStringLiteral("hello"), time), fileLine);
    QCOMPARE(logging::debuggerLine(QtMsgType(type), ctx, QStringLiteral("hello")), debuggerLine);
}

void TestLogging::functionNameForDebugger_data()
{
    QTest::addColumn<QString>("signature");
    QTest::addColumn<QString>("name");
    QTest::newRow("msvc free function") << "int __cdecl main(int,char *[])" << "main";
    QTest::newRow("msvc member") << "void __thiscall DeviceManager::saveConfig(void)" << "DeviceManager::saveConfig";
    QTest::newRow("gcc member") << "void DeviceManager::saveConfig()" << "DeviceManager::saveConfig";
    QTest::newRow("no return type") << "expression" << "expression";
    QTest::newRow("message with placeholders") << "void f(QString)" << "f";
}

void TestLogging::functionNameForDebugger()
{
    QFETCH(QString, signature);
    QFETCH(QString, name);
    const QByteArray bytes = signature.toUtf8();
    const QString line = logging::debuggerLine(QtInfoMsg, context("a.cpp", 1, bytes.constData()), QStringLiteral("%1 %2"));
    QCOMPARE(line, QStringLiteral("a.cpp(1): [Info] <<%1>> %2").arg(name, QStringLiteral("%1 %2")));
}

void TestLogging::handlerAppendsCrLfLines()
{
    QCOMPARE(logging::logFilePath(), logPath);
    QVERIFY(QFile::exists(logPath));
    qWarning("first");
    // A device name from the network cannot start a line of its own.
    qInfo("second\r\n[2026-01-01 00:00:00.000] -I- forged\x1b[2K\t");
    const QList<QByteArray> lines = readFile(logPath).split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(0).endsWith("first\r"));
    QVERIFY(lines.at(0).contains("] -W-  "));
    QVERIFY(lines.at(0).contains("tst_logging.cpp("));
    QVERIFY(lines.at(1).endsWith("second\\r\\n[2026-01-01 00:00:00.000] -I- forged\\x1b[2K\t\r"));
    QVERIFY(lines.at(2).isEmpty());
}

void TestLogging::rotatesOnlyAboveTheLimit()
{
    QVERIFY(writeFile(logPath, QByteArray(int(logging::LOG_ROTATE_BYTES), 'x')));
    qInfo("at the limit");
    QVERIFY(!QFile::exists(logPath + QStringLiteral(".1")));
    QVERIFY(QFileInfo(logPath).size() > logging::LOG_ROTATE_BYTES);

    qInfo("above the limit");
    QVERIFY(QFile::exists(logPath + QStringLiteral(".1")));
    QVERIFY(readFile(logPath + QStringLiteral(".1")).contains("at the limit"));
    const QByteArray fresh = readFile(logPath);
    QVERIFY(fresh.contains("above the limit"));
    QCOMPARE(fresh.count('\n'), 1);
}

void TestLogging::keepsTwoBackups()
{
    for (int round = 1; round <= 3; ++round) {
        QVERIFY(writeFile(logPath, QByteArray(int(logging::LOG_ROTATE_BYTES) + 1, char('0' + round))));
        qInfo("rotation %d", round);
    }
    QVERIFY(!QFile::exists(logPath + QStringLiteral(".3")));
    QVERIFY(readFile(logPath + QStringLiteral(".1")).startsWith('3'));
    QVERIFY(readFile(logPath + QStringLiteral(".2")).startsWith('2'));
    QVERIFY(readFile(logPath).contains("rotation 3"));
}

QTEST_GUILESS_MAIN(TestLogging)
#include "tst_logging.moc"
