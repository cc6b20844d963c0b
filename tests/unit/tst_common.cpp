#include "app/interface_setup.h"
#include "app/process_control.h"
#include "base/audit_operation.h"
#include "base/audit_scope.h"
#include "base/audit_trail.h"
#include "base/log_summary.h"
#include "base/logging.h"
#include "base/oem_setting.h"
#include "base/paths.h"
#include "log_capture.h"
#include "test_files.h"
#include "test_home.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QTranslator>
#include <QtTest>
#include <pwd.h>
#include <thread>
#include <unistd.h>

namespace {

// Sets an environment variable until what it returns goes.
auto setEnv(const char *name, const QByteArray &value)
{
    const QByteArray old = qgetenv(name);
    qputenv(name, value);
    return qScopeGuard([name, old] { qputenv(name, old); });
}

} // namespace

// What start-up relies on: paths, the language, the named guards, the log and the branding.
class TestCommon : public QObject
{
    Q_OBJECT

    TestHome home;

private slots:
    void paths()
    {
        const QString path = expandPathAndInitFile(QStringLiteral("~/.zentrova\\seed.txt"), false, "{}");
        QCOMPARE(path, home.path() + QStringLiteral("/.zentrova/seed.txt"));
        QCOMPARE(readFile(path), QByteArray("{}"));
        QVERIFY(writeFile(path, "precious"));
        expandPathAndInitFile(path, false, "new");
        QCOMPARE(readFile(path), QByteArray("precious"));
        // Only expanded: nothing is made, and "~user" is not our home.
        const QString fresh = home.path() + QStringLiteral("/fresh");
        QCOMPARE(expandPathAndInitFile(QStringLiteral("~/fresh/x.cfg"), true, "x"), fresh + QStringLiteral("/x.cfg"));
        QVERIFY(!QFile::exists(fresh));
        QCOMPARE(expandPathAndInitFile(QStringLiteral("~user/b"), true, "x"), QStringLiteral("~user/b"));
    }

    // A copy that lets go of its guard before it ends lets the next one in, however long it
    // keeps the handle; an owner's wait succeeds at once, and a take that waits gets the guard
    // once the copy that holds it ends.
    void guards()
    {
        NamedMutexSlot holder, waiter, third;
        QVERIFY(takeNamedMutex(holder, QStringLiteral("GUARD"), 0));
        QVERIFY(holder->wait(0));
        QVERIFY(!takeNamedMutex(waiter, QStringLiteral("GUARD"), 0));
        holder->release();
        QVERIFY(waiter->wait(0));
        QVERIFY(!holder->wait(0));
        std::thread releaser([&waiter] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            waiter.reset();
        });
        const bool taken = takeNamedMutex(third, QStringLiteral("GUARD"), 30000);
        releaser.join();
        QVERIFY(taken);
        third.reset();
        QVERIFY(holder->wait(0));

        // Without a runtime folder of its own (someone else has taken its place in the temporary
        // folder every user shares) a guard lives in the program's folder in the home: in the
        // shared folder, anyone could hold it or put a link in its place.
        QTemporaryDir shared;
        const QString userName = QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name);
        QVERIFY(writeFile(shared.filePath(QStringLiteral("runtime-") + userName), "taken"));
        const auto runtime = setEnv("XDG_RUNTIME_DIR", QByteArray());
        const auto temp = setEnv("TMPDIR", QFile::encodeName(shared.path()));
        const QString lockFile = home.path() + QStringLiteral("/.zentrova/USER_GUARD.lock");
        NamedMutexSlot held;
        QVERIFY(takeNamedMutex(held, QStringLiteral("USER_GUARD"), 0));
        QVERIFY(QFile::exists(lockFile));
        QVERIFY(!QFile::exists(shared.filePath(QStringLiteral("USER_GUARD.lock"))));
        held.reset();
        const QString target = home.path() + QStringLiteral("/target");
        QVERIFY(QFile::remove(lockFile) && QFile::link(target, lockFile));
        QVERIFY(!takeNamedMutex(held, QStringLiteral("USER_GUARD"), 0));
        QVERIFY(!QFile::exists(target));
    }

    void logFile()
    {
        const QString path = home.path() + QStringLiteral("/log/zentrova.log");
        const auto restore
            = qScopeGuard([previous = qInstallMessageHandler(nullptr)] { qInstallMessageHandler(previous); });
        // Stamps are local time, read once: a zone 5:45 east of UTC shows a wrong offset.
        const auto zone = setEnv("TZ", "XYZ-5:45");
        // A log left readable by others, as older versions made it, is closed to them too.
        QVERIFY(QDir().mkpath(home.path() + QStringLiteral("/log")) && writeFile(path, QByteArray()));
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions(0x6644))); // rw-r--r--
        logging::install(path);
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        qCritical("first");
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        // The log tells what the user did and to which device: its owner's alone.
        QCOMPARE(fileMode(path), 0600);
        const QString stamp = QString::fromLatin1(readFile(path).mid(1, 23)).replace(' ', 'T') + 'Z';
        const qint64 stamped = QDateTime::fromString(stamp, Qt::ISODateWithMs).toMSecsSinceEpoch() - 345 * 60000;
        QVERIFY2(stamped >= before - 1 && stamped <= after + 1, readFile(path).constData());
        // A device name from the network cannot start a line of its own.
        qInfo("second\r\n[2026-01-01 00:00:00.000] -I- forged\x1b[2K\t");
        const QList<QByteArray> lines = readFile(path).split('\n');
        QVERIFY(lines.at(0).contains("] -C-  ") && lines.at(0).endsWith("first\r"));
        QVERIFY(lines.at(1).endsWith("second\\r\\n[2026-01-01 00:00:00.000] -I- forged\\x1b[2K\t\r"));
        const QMessageLogContext source("src/main.cpp", 42, "int __cdecl main(int,char *[])", "default");
        QCOMPARE(logging::debuggerLine(QtInfoMsg, source, "hi"), QString("src/main.cpp(42): [Info] <<main>> hi"));

        // Rotated only above the limit, two backups kept.
        QVERIFY(writeFile(path, QByteArray(int(logging::LOG_ROTATE_BYTES), 'x')));
        qInfo("at the limit");
        QVERIFY(!QFile::exists(path + QStringLiteral(".1")));
        qInfo("above the limit");
        QVERIFY(writeFile(path, QByteArray(int(logging::LOG_ROTATE_BYTES) + 1, 'y')));
        qInfo("again");
        QVERIFY(readFile(path + QStringLiteral(".1")).startsWith('y'));
        QVERIFY(readFile(path + QStringLiteral(".2")).endsWith("at the limit\r\n"));
        // The file stays open between lines; after a rotation the next line still goes to
        // the file under the log's name, not to the backup.
        QVERIFY(readFile(path).endsWith("again\r\n") && !readFile(path + QStringLiteral(".1")).contains("again"));
        // Nor does a line go on into a file someone removed.
        QVERIFY(QFile::remove(path));
        // The logger looks for its file now and then: it is asked until it has seen it gone.
        QVERIFY(QTest::qWaitFor(
            [&path] {
                qInfo("after removal");
                return readFile(path).contains("after removal");
            },
            10000));
        QCOMPARE(fileMode(path), 0600);
    }

    // Clocks go forward on a quarter hour of UTC at the latest: the stamps follow at once,
    // in a zone with daylight saving as in one a quarter hour off.
    void stampsAcrossAZoneChange_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("at"); // UTC
        QTest::addColumn<QString>("stamp");
        const auto row = [](const char *name, const QByteArray &zone, const char *at, const char *stamp) {
            QTest::newRow(name) << zone << QString(at) << QString(stamp);
        };
        const QByteArray cet = "CET-1CEST,M3.5.0,M10.5.0/3";
        row("before summer time", cet, "2026-03-29T00:59:59.999", "2026-03-29 01:59:59.999");
        row("summer time", cet, "2026-03-29T01:00:00.000", "2026-03-29 03:00:00.000");
        row("back to winter", cet, "2026-10-25T01:00:00.001", "2026-10-25 02:00:00.001");
        row("a quarter hour off, past midnight", "NPT-5:45", "2026-12-31T18:15:00.000", "2027-01-01 00:00:00.000");
    }

    void stampsAcrossAZoneChange()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, at);
        QFETCH(QString, stamp);
        const auto zoneSet = setEnv("TZ", zone);
        // The moment before comes first, as the log's own clock would see it.
        const qint64 utc = QDateTime::fromString(at + QLatin1Char('Z'), Qt::ISODateWithMs).toMSecsSinceEpoch();
        logging::stampAt(utc - 60 * 1000);
        QCOMPARE(logging::stampAt(utc), stamp);
    }

    // A flood from one address writes one line a minute per kind and a count; every other
    // address and kind keeps its own lines, and a flood from many addresses costs bounded memory.
    void connectionLinesSummed()
    {
        qint64 now = 0;
        LogSummary summary([&now] { return now; });
        LogCapture lines(QtInfoMsg);
        const auto line = [&](const QString &kind, const QString &address) {
            if (summary.admit(QtInfoMsg, kind, address))
                qInfo().noquote() << kind << address;
        };
        for (; now < LogSummary::WINDOW_MS; now += 20)
            line(QStringLiteral("connected"), QStringLiteral("10.0.0.9"));
        line(QStringLiteral("connected"), QStringLiteral("10.0.0.8"));
        line(QStringLiteral("wrong token"), QStringLiteral("10.0.0.9"));
        QCOMPARE(lines.messages(),
            QStringList({"connected 10.0.0.9", "connected … and 2999 more from 10.0.0.9 in the last minute",
                "connected 10.0.0.8", "wrong token 10.0.0.9"}));
        // The next minute starts with a line again; one that ends with nothing counted says nothing.
        line(QStringLiteral("connected"), QStringLiteral("10.0.0.9"));
        now += LogSummary::WINDOW_MS;
        summary.flush();
        QCOMPARE(lines.messages().size(), 5);

        for (int i = 0; i < 2 * LogSummary::MAX_ADDRESSES; ++i)
            line(QStringLiteral("refused"), QStringLiteral("10.1.%1.%2").arg(i / 256).arg(i % 256));
        QCOMPARE(lines.messages().size(), 5 + LogSummary::MAX_ADDRESSES + 1);
        now += LogSummary::WINDOW_MS;
        summary.flush();
        QCOMPARE(lines.messages().last(),
            QStringLiteral("refused … and %1 more from other addresses in the last minute")
                .arg(LogSummary::MAX_ADDRESSES - 1));
    }

    // The trail, written across a restart and a rotation, verifies; a copy of it with one line
    // removed, changed or moved is found out where that was done.
    void auditTrail()
    {
        const QString path = home.path() + QStringLiteral("/audit/trail.jsonl");
        {
            AuditTrail trail(path);
            AuditTrail::install(&trail);
            const auto uninstall = qScopeGuard([] { AuditTrail::install(nullptr); });
            const AuditScope scope(QStringLiteral("ops"), QStringLiteral("192.0.2.7"));
            AuditOperation added(QStringLiteral("users.add"), QStringLiteral("anna"));
            // Whatever an answer holds, a secret never reaches the file.
            added.setAfter(QJsonObject {{"user", QJsonObject {{"name", "anna"}, {"password", "pw-planted"}}},
                {"credential", "cred-planted"}, {"api", QJsonArray {QJsonObject {{"token_hash", "hash-planted"}}}}});
        }
        {
            // Started again, the program goes on with the chain.
            AuditTrail trail(path);
            AuditTrail::install(&trail);
            const auto uninstall = qScopeGuard([] { AuditTrail::install(nullptr); });
            for (const char *target : {"RX - 1", "RX - 2", "RX - 3"}) {
                AuditOperation outer(QStringLiteral("route"), target);
                // The work behind an operation is part of it, not a line of its own.
                AuditOperation inner(QStringLiteral("power"), target);
                QVERIFY(outer.recording() && !inner.recording());
            }
            const AuditScope nobody {QString()};
            AuditOperation(QStringLiteral("sign-in"), QString()).fail(QStringLiteral("not_authenticated"));
        }
        QList<QByteArray> lines = readFile(path).split('\n');
        lines.removeLast();
        QCOMPARE(lines.size(), 5);
        QVERIFY(!readFile(path).contains("planted"));
        const QJsonObject first = QJsonDocument::fromJson(lines.at(0)).object();
        const QJsonObject last = QJsonDocument::fromJson(lines.at(4)).object();
        const QJsonArray told {
            first["actor"], first["address"], first["after"]["user"]["name"], first["prev"], last["outcome"]};
        const QJsonArray expected {"ops", "192.0.2.7", "anna", QString(AuditTrail::NO_PREVIOUS), "not_authenticated"};
        QVERIFY2(told == expected, QJsonDocument(told).toJson().constData());
        QVERIFY(last["actor"].isNull());
        QCOMPARE(QDateTime::fromString(last["time"].toString(), Qt::ISODateWithMs).timeSpec(), Qt::UTC);
        QCOMPARE(fileMode(path), 0600);

        // Each copy: the edit, where it is found and what is said.
        const std::tuple<std::function<void(QList<QByteArray> &)>, int, const char *> copies[]
            = {{[](auto &l) { l.removeAt(2); }, 3, "removed"},
                {[](auto &l) { l[1].replace("RX - ", "RX - 9"); }, 3, "changed"},
                {[](auto &l) { l[0].replace("\"ops\"", "\"sam\""); }, 2, "changed"},
                {[](auto &l) { l.swapItemsAt(1, 2); }, 2, "moved"}, {[](auto &l) { l.insert(1, l.at(0)); }, 2, "moved"},
                {[](auto &l) { l[3].chop(1); }, 4, "not a record"}};
        const QString copy = home.path() + QStringLiteral("/audit/copy.jsonl");
        for (const auto &[edit, brokenAt, what] : copies) {
            QList<QByteArray> edited = lines;
            edit(edited);
            QVERIFY(writeFile(copy, edited.join('\n') + '\n'));
            const AuditTrail::Verdict verdict = AuditTrail::verify(copy);
            QVERIFY2(!verdict.intact && verdict.brokenAt == brokenAt && verdict.what.contains(what),
                qPrintable(verdict.what));
        }

        // Rotated as the log is; the first line of the fresh file carries on from the backup's last.
        AuditTrail trail(path);
        const QString big(int(logging::LOG_ROTATE_BYTES / 4), QLatin1Char('x'));
        for (int i = 0; i < 6; ++i)
            QVERIFY(trail.append({{"action", "rename"}, {"target", big}}));
        QCOMPARE(readFile(path).count('\n'), 2);
        QVERIFY(AuditTrail::verify(path).intact && AuditTrail::verify(path + ".1").intact);
        // The window and the API page through the lines of every file, newest first.
        AuditTrail::Query query;
        query.offset = 1;
        query.limit = 2;
        const QJsonObject page = trail.query(query);
        QCOMPARE(page.value("total").toInt(), 11);
        QCOMPARE(page.value("lines").toArray().at(0).toObject().value("n").toInt(), 10);
        QCOMPARE(page.value("lines").toArray().size(), 2);
        // A line after the file was removed is not lost with it.
        QVERIFY(QFile::remove(path));
        QVERIFY(trail.append({{"action", "rename"}}));
        QVERIFY(QFile::exists(path));
        // Started again with nothing written since a rotation, the chain goes on from the backup.
        QVERIFY(QFile::remove(path));
        AuditTrail again(path);
        QVERIFY(again.append({{"action", "rename"}}));
        QVERIFY(AuditTrail::verify(path).intact);
        QCOMPARE(again.query({}).value("lines").toArray().at(0).toObject().value("n").toInt(), 10);
    }

    // Files beside the program: the language it starts in (lang.cfg) and the branding (custom.json).
    void filesBesideTheProgram_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("property"); // empty: a language, which translates "Error"
        QTest::addColumn<QString>("expected");
        const auto row
            = [](const char *name, const QByteArray &content, const char *property, const QString &expected) {
                  QTest::newRow(name) << content << QString(property) << expected;
              };
        row("small letters", "zh_cn", "", "错误");
        row("line break is part of the name", "zh_CN\n", "", "Error");
        row("only the first line counts", "en_US\nzh_TW", "", "Error");
        row("empty version", R"({"version":""})", "version", ZENTROVA_VERSION);
        row("resource path", R"({"splash_image":":/x.png"})", "splash", ":/x.png");
        row("one placeholder for the cells too", R"({"vw_placeholder_image":"/b/none.png"})", "tx_placeholder",
            "file:///b/none.png");
    }

    void filesBesideTheProgram()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, property);
        QFETCH(QString, expected);
        const QString path
            = QCoreApplication::applicationDirPath() + (property.isEmpty() ? "/lang.cfg" : "/custom.json");
        QVERIFY(writeFile(path, content));
        QTranslator translator;
        if (property.isEmpty())
            loadLanguage(QCoreApplication::instance(), &translator);
        const OemSetting oem;
        QFile::remove(path);
        QCOMPARE(property.isEmpty() ? QCoreApplication::translate("QApplication", "Error")
                                    : oem.property(property.toLatin1().constData()).toString(),
            expected);
        QCoreApplication::removeTranslator(&translator);
    }

    // Renderer strings as the drivers report them.
    void softwareRasterizer()
    {
        QVERIFY(isSoftwareRasterizer("llvmpipe (LLVM 15.0.6, 256 bits)"));
        QVERIFY(!isSoftwareRasterizer("Mesa Intel(R) UHD Graphics 620 (KBL GT2)"));
    }
};

QTEST_GUILESS_MAIN(TestCommon)
#include "tst_common.moc"
