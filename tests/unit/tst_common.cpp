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

    void language_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("error");
        QTest::newRow("small letters") << QByteArray("zh_cn") << "错误";
        QTest::newRow("line break is part of the name") << QByteArray("zh_CN\n") << "Error";
        QTest::newRow("only the first line counts") << QByteArray("en_US\nzh_TW") << "Error";
    }

    void language()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, error);
        const QString cfg = QCoreApplication::applicationDirPath() + QStringLiteral("/lang.cfg");
        QVERIFY(writeFile(cfg, content));
        QTranslator translator;
        loadLanguage(QCoreApplication::instance(), &translator);
        QFile::remove(cfg);
        QCOMPARE(QCoreApplication::translate("QApplication", "Error"), error);
        QCoreApplication::removeTranslator(&translator);
    }

    void guardWaitsForRelease()
    {
        NamedMutexSlot holder;
        NamedMutexSlot waiter;
        QVERIFY(takeNamedMutex(holder, QStringLiteral("GUARD"), 0));
        QVERIFY(!takeNamedMutex(waiter, QStringLiteral("GUARD"), 0));
        waiter.reset();
        std::thread releaser([&holder] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            holder.reset();
        });
        const bool taken = takeNamedMutex(waiter, QStringLiteral("GUARD"), 30000);
        releaser.join();
        QVERIFY(taken);
    }

    // A copy that lets go of its guard before it ends lets the next one in, however long it
    // keeps the handle; an owner's wait succeeds at once.
    void guardReleasedBeforeItsHolderEnds()
    {
        NamedMutexSlot holder;
        NamedMutexSlot waiter;
        QVERIFY(takeNamedMutex(holder, QStringLiteral("HANDOVER"), 0));
        QVERIFY(holder->wait(0));
        QVERIFY(!takeNamedMutex(waiter, QStringLiteral("HANDOVER"), 0));
        holder->release();
        QVERIFY(waiter->wait(0));
        QVERIFY(!holder->wait(0));
        waiter.reset();
        QVERIFY(holder->wait(0));
    }

    // Without a runtime folder of its own (someone else has taken its place in the temporary
    // folder every user shares) a guard lives in the program's folder in the home: in the
    // shared folder, anyone could hold it or put a link in its place.
    void guardStaysWithTheUser()
    {
        QTemporaryDir shared;
        const QString userName = QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name);
        QVERIFY(writeFile(shared.filePath(QStringLiteral("runtime-") + userName), "taken"));
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray temp = qgetenv("TMPDIR");
        const auto restore = qScopeGuard([&] {
            qputenv("XDG_RUNTIME_DIR", runtime);
            qputenv("TMPDIR", temp);
        });
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(shared.path()));
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
        const QtMessageHandler previous = qInstallMessageHandler(nullptr);
        // Stamps are local time, read once: a zone 5:45 east of UTC shows a wrong offset.
        const QByteArray previousZone = qgetenv("TZ");
        qputenv("TZ", "XYZ-5:45");
        const auto restore = qScopeGuard([previous, previousZone] {
            qInstallMessageHandler(previous);
            qputenv("TZ", previousZone);
        });
        // A log left readable by others, as older versions made it, is closed to them too.
        QVERIFY(QDir().mkpath(home.path() + QStringLiteral("/log")) && writeFile(path, QByteArray()));
        QVERIFY(
            QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        logging::install(path);
        const QDateTime before = QDateTime::currentDateTimeUtc();
        qCritical("first");
        const QDateTime after = QDateTime::currentDateTimeUtc();
        // The log tells what the user did and to which device: its owner's alone.
        const auto ownerOnly = [&path] {
            const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup
                | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
            return !(QFile::permissions(path) & others) && QFile::permissions(path).testFlag(QFileDevice::WriteOwner);
        };
        QVERIFY(ownerOnly());
        QDateTime stamp = QDateTime::fromString(
            QString::fromLatin1(readFile(path).mid(1, 23)), QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
        stamp.setTimeSpec(Qt::UTC);
        const qint64 east = (5 * 60 + 45) * 60 * 1000;
        QVERIFY2(stamp.toMSecsSinceEpoch() - east >= before.toMSecsSinceEpoch() - 1
                && stamp.toMSecsSinceEpoch() - east <= after.toMSecsSinceEpoch() + 1,
            readFile(path).constData());
        // A device name from the network cannot start a line of its own.
        qInfo("second\r\n[2026-01-01 00:00:00.000] -I- forged\x1b[2K\t");
        const QList<QByteArray> lines = readFile(path).split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(0).contains("] -C-  ") && lines.at(0).endsWith("first\r"));
        QVERIFY(lines.at(1).endsWith("second\\r\\n[2026-01-01 00:00:00.000] -I- forged\\x1b[2K\t\r"));
        const QMessageLogContext source("src/main.cpp", 42, "int __cdecl main(int,char *[])", "default");
        QCOMPARE(logging::debuggerLine(QtInfoMsg, source, QStringLiteral("hi")),
            QStringLiteral("src/main.cpp(42): [Info] <<main>> hi"));

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
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                qInfo("after removal");
                return readFile(path).contains("after removal");
            }(),
            10000);
        QVERIFY(ownerOnly());
    }

    // Clocks go forward on a quarter hour of UTC at the latest: the stamps follow at once,
    // in a zone with daylight saving as in one a quarter hour off.
    void stampsAcrossAZoneChange_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("at"); // UTC
        QTest::addColumn<QString>("stamp");
        QTest::newRow("before summer time") << QByteArray("CET-1CEST,M3.5.0,M10.5.0/3") << "2026-03-29T00:59:59.999"
                                            << "2026-03-29 01:59:59.999";
        QTest::newRow("summer time") << QByteArray("CET-1CEST,M3.5.0,M10.5.0/3") << "2026-03-29T01:00:00.000"
                                     << "2026-03-29 03:00:00.000";
        QTest::newRow("back to winter") << QByteArray("CET-1CEST,M3.5.0,M10.5.0/3") << "2026-10-25T01:00:00.001"
                                        << "2026-10-25 02:00:00.001";
        QTest::newRow("a quarter hour off, past midnight") << QByteArray("NPT-5:45") << "2026-12-31T18:15:00.000"
                                                           << "2027-01-01 00:00:00.000";
    }

    void stampsAcrossAZoneChange()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, at);
        QFETCH(QString, stamp);
        const QByteArray previousZone = qgetenv("TZ");
        const auto restore = qScopeGuard([previousZone] { qputenv("TZ", previousZone); });
        qputenv("TZ", zone);
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

    // A copy of a trail with one line removed, changed or moved is found out where it was
    // done; the trail itself, written across a restart and a rotation, verifies.
    void auditTrailChain_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<int>("brokenAt");
        QTest::addColumn<QString>("what");
        QTest::newRow("untouched") << "" << 0 << "";
        QTest::newRow("a line removed") << "remove 3" << 3 << "removed";
        QTest::newRow("a value changed") << "change 2" << 3 << "changed";
        QTest::newRow("the first line changed") << "change 1" << 2 << "changed";
        QTest::newRow("two lines swapped") << "swap 2" << 2 << "moved";
        QTest::newRow("a line repeated") << "insert 2" << 2 << "moved";
        QTest::newRow("not a record") << "garble 4" << 4 << "not a record";
    }

    void auditTrailChain()
    {
        QFETCH(QString, edit);
        QFETCH(int, brokenAt);
        QFETCH(QString, what);
        const QString path = home.path() + QStringLiteral("/audit/") + QTest::currentDataTag() + ".jsonl";
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
        QCOMPARE(first.value("actor").toString(), QStringLiteral("ops"));
        QCOMPARE(first.value("address").toString(), QStringLiteral("192.0.2.7"));
        QCOMPARE(
            first.value("after").toObject().value("user").toObject().value("name").toString(), QStringLiteral("anna"));
        QCOMPARE(first.value("prev").toString(), QString::fromLatin1(AuditTrail::NO_PREVIOUS));
        const QJsonObject last = QJsonDocument::fromJson(lines.at(4)).object();
        QCOMPARE(last.value("actor"), QJsonValue());
        QCOMPARE(last.value("outcome").toString(), QStringLiteral("not_authenticated"));
        QCOMPARE(QDateTime::fromString(last.value("time").toString(), Qt::ISODateWithMs).timeSpec(), Qt::UTC);
        QVERIFY((QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser))
            == (QFileDevice::ReadOwner | QFileDevice::WriteOwner));

        const int at = edit.section(' ', 1).toInt() - 1;
        if (edit.startsWith("remove"))
            lines.removeAt(at);
        else if (edit.startsWith("change"))
            lines[at].replace("RX - ", "RX - 9").replace("\"ops\"", "\"sam\"");
        else if (edit.startsWith("swap"))
            lines.swapItemsAt(at, at + 1);
        else if (edit.startsWith("insert"))
            lines.insert(at, lines.at(at - 1));
        else if (edit.startsWith("garble"))
            lines[at].chop(1);
        QVERIFY(writeFile(path, lines.join('\n') + '\n'));
        const AuditTrail::Verdict verdict = AuditTrail::verify(path);
        QCOMPARE(verdict.intact, brokenAt == 0);
        QCOMPARE(verdict.brokenAt, brokenAt);
        QVERIFY2(verdict.what.contains(what), qPrintable(verdict.what));
    }

    // Rotated as the log is; the first line of the fresh file carries on from the backup's last.
    void auditTrailRotates()
    {
        const QString path = home.path() + QStringLiteral("/audit/rotated.jsonl");
        AuditTrail trail(path);
        const QString big(int(logging::LOG_ROTATE_BYTES / 4), QLatin1Char('x'));
        for (int i = 0; i < 6; ++i)
            QVERIFY(trail.append({{"action", "rename"}, {"target", big}}));
        QVERIFY(QFile::exists(path + ".1"));
        QCOMPARE(readFile(path).count('\n'), 2);
        QVERIFY(AuditTrail::verify(path).intact);
        QVERIFY(AuditTrail::verify(path + ".1").intact);
        // The window and the API page through the lines of every file, newest first.
        AuditTrail::Query query;
        query.offset = 1;
        query.limit = 2;
        const QJsonObject page = trail.query(query);
        QCOMPARE(page.value("total").toInt(), 6);
        QCOMPARE(page.value("lines").toArray().at(0).toObject().value("n").toInt(), 5);
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
        QCOMPARE(again.query({}).value("lines").toArray().at(0).toObject().value("n").toInt(), 5);
    }

    void branding_data()
    {
        QTest::addColumn<QByteArray>("custom");
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty version") << QByteArray(R"({"version":""})") << "version" << ZENTROVA_VERSION;
        QTest::newRow("resource path") << QByteArray(R"({"splash_image":":/x.png"})") << "splash"
                                       << ":/x.png";
        QTest::newRow("one placeholder for the cells too")
            << QByteArray(R"({"vw_placeholder_image":"/b/none.png"})") << "tx_placeholder"
            << "file:///b/none.png";
    }

    void branding()
    {
        QFETCH(QByteArray, custom);
        QFETCH(QString, property);
        QFETCH(QString, expected);
        const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/custom.json");
        QVERIFY(writeFile(path, custom));
        const OemSetting oem;
        QFile::remove(path);
        QCOMPARE(oem.property(property.toLatin1().constData()).toString(), expected);
    }

    // Renderer strings as the drivers report them.
    void softwareRasterizer_data()
    {
        QTest::addColumn<QByteArray>("renderer");
        QTest::addColumn<bool>("software");
        QTest::newRow("Mesa llvmpipe") << QByteArray("llvmpipe (LLVM 15.0.6, 256 bits)") << true;
        QTest::newRow("Mesa on a graphics chip") << QByteArray("Mesa Intel(R) UHD Graphics 620 (KBL GT2)") << false;
    }

    void softwareRasterizer()
    {
        QFETCH(QByteArray, renderer);
        QFETCH(bool, software);
        QCOMPARE(isSoftwareRasterizer(renderer), software);
    }
};

QTEST_GUILESS_MAIN(TestCommon)
#include "tst_common.moc"
