#include "base/audit_trail.h"
#include "base/json_config.h"
#include "base/oem_setting.h"
#include "control/command_set.h"
#include "control/scene_commands.h"
#include "health/health_commands.h"
#include "health/health_monitor.h"
#include "log_capture.h"
#include "manager/device_manager.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/vw_device.h"
#include "remote/api_settings.h"
#include "remote/api_token.h"
#include "remote/api_users.h"
#include "remote/auth_throttle.h"
#include "remote/device_pairing.h"
#include "remote/line_protocol.h"
#include "remote/line_server.h"
#include "remote/line_session.h"
#include "remote/remote_service.h"
#include "remote/web_server.h"
#include "scenes/scene_service.h"
#include "test_files.h"
#include "test_home.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

namespace {

// Alias to device name in the made-up installation.
const QString TX1 = QStringLiteral("IPE9DEMO-7C2E0DFF0001");
const QString TX2 = QStringLiteral("IPE9DEMO-7C2E0DFF0002");
const QString RX1 = QStringLiteral("IPD9DEMO-7C2E0DFE0001");
const QString RX2 = QStringLiteral("IPD9DEMO-7C2E0DFE0002");

// The made-up installation with the control API over it, as start-up makes them.
struct Site
{
    Site()
    {
        AuditTrail::install(&trail);
        manager.enterDemoMode();
        commands.extend(QStringLiteral("scene"), new SceneCommands(&manager, &scenes));
        commands.extend(QStringLiteral("health"), new HealthCommands(&health));
        token = service.newToken();
    }

    ~Site() { AuditTrail::install(nullptr); }

    // The trail's lines from the one numbered `from` (counted from 0) on, without the chain's fields.
    QStringList auditLines(int from) const
    {
        QStringList out;
        for (const QByteArray &line : readFile(trail.path()).split('\n').mid(from, auditCount() - from)) {
            QJsonObject record = QJsonDocument::fromJson(line).object();
            for (const char *chain : {"n", "time", "prev"})
                record.remove(QLatin1String(chain));
            out << QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact));
        }
        return out;
    }
    int auditCount() const { return readFile(trail.path()).count('\n'); }

    QString sourceOf(const QString &name) const
    {
        const auto entry = manager.rxlist()->findDevice(name, true).objectCast<RxDeviceBase>();
        return entry ? entry->currentSource() : QStringLiteral("(none)");
    }

    TestHome home;
    AuditTrail trail {home.path() + QStringLiteral("/.zentrova/audit.jsonl")};
    OemSetting oem;
    DeviceManager manager {&oem};
    SceneService scenes {&manager, manager.settingsStore()};
    HealthMonitor health {&manager, &scenes};
    CommandSet commands {&manager};
    RemoteService service {&manager, &commands};
    QString token;
};

QString readLine(QTcpSocket &socket)
{
    if (!socket.canReadLine() && !QTest::qWaitFor([&] { return socket.canReadLine() || !socket.isOpen(); }, 5000))
        return QStringLiteral("(nothing)");
    return QString::fromUtf8(socket.readLine()).trimmed();
}

bool connectTo(QTcpSocket &socket, quint16 port)
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(5000);
}

// A sign-in on the line protocol, connecting first when the socket is not connected yet: the answer.
QString signIn(QTcpSocket &socket, quint16 port, const QString &credential)
{
    if (socket.state() != QAbstractSocket::ConnectedState && !connectTo(socket, port))
        return QStringLiteral("(no connection)");
    socket.write("auth " + credential.toUtf8() + "\n");
    return readLine(socket);
}

// Just enough of an RFC 6455 client to be one of the server's WebSocket clients: the
// upgrade (read past), then the server's unmasked frames read as raw bytes.
bool openWebSocket(QTcpSocket &socket, quint16 port)
{
    if (!connectTo(socket, port))
        return false;
    socket.write("GET /ws HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                 "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    if (!QTest::qWaitFor([&] { return socket.peek(12) == "HTTP/1.1 101" && socket.peek(1024).contains("\r\n\r\n"); }, 10000))
        return false;
    socket.read(socket.peek(1024).indexOf("\r\n\r\n") + 4);
    return true;
}

// The next whole frame from the server (unmasked, as servers send them): its opcode and
// payload; false when none came in time.
bool readFrame(QTcpSocket &socket, int *opcode, QByteArray *payload)
{
    int offset = 0;
    int size = 0;
    const auto complete = [&] {
        const QByteArray head = socket.peek(4);
        const int length = head.size() < 2 ? -1 : head.at(1) & 0x7F;
        offset = length == 126 ? 4 : 2;
        size = length == 126 && head.size() == 4 ? (uchar(head.at(2)) << 8 | uchar(head.at(3))) : length;
        return length >= 0 && head.size() >= offset && socket.bytesAvailable() >= offset + size;
    };
    if (!complete() && !QTest::qWaitFor(complete, 5000))
        return false;
    *opcode = socket.read(offset).at(0) & 0x0F;
    *payload = socket.read(size);
    return true;
}

// One HTTP request on a connection of its own: the whole answer, as the server wrote it
// before it closed the connection.
QByteArray httpExchange(quint16 port, const QByteArray &request)
{
    QTcpSocket socket;
    if (!connectTo(socket, port))
        return QByteArray();
    socket.write(request);
    if (!QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 10000))
        return QByteArray("(the server kept the connection open)");
    return socket.readAll();
}

QByteArray pairRequest(const QByteArray &code)
{
    const QByteArray body = "{\"code\":\"" + code + "\"}";
    return "POST /api/pair HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Type: application/json\r\n"
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

} // namespace

class TstRemoteApi : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void windowAndDevicesReachClients();
    void token();
    void rights_data();
    void rights();
    void webServer();
    void lineServer_data();
    void lineServer();
    void wordsQuoted();
    void auditLines();
};

// Lines in, lines out: "TOKEN" stands for the token; each expected line is a pattern.
void TstRemoteApi::lines_data()
{
    QTest::addColumn<QStringList>("in");
    QTest::addColumn<QStringList>("out");
    // Most rows sign in first, which is answered "ok".
    const auto signedIn = [](const char *name, const QStringList &in, const QStringList &out) {
        QTest::newRow(name) << QStringList {"auth TOKEN"} + in << QStringList {"ok"} + out;
    };
    const auto routed = [](const QString &source, const QString &target) {
        return QStringLiteral("ok \\{\"source\":\"%1\",\"target\":\"%2\"\\}").arg(source, target);
    };
    const QString first = "error not_authenticated send auth TOKEN first";
    const QString wrong = "error not_authenticated wrong token";
    QTest::newRow("nothing but help before auth")
        << QStringList {"help", "list decoders", "subscribe"} << QStringList {"ok state; list .*; quit", first, first};
    QTest::newRow("wrong token, empty line, quit") << QStringList {"auth TOKENx", "", "quit"} << QStringList {wrong, "ok"};
    // The same throttle as the WebSocket's: past the free attempts even the right token waits.
    QTest::newRow("wrong tokens end the connection") << QStringList {"auth TOKENx", "auth TOKENy", "auth TOKENz"}
                                                     << QStringList {wrong, wrong, wrong + "; too many tries, connect again"};
    signedIn("route by alias, quoted, answer before its events", {"subscribe", "route \"TX - 2\" \"RX - 1\""},
        {"ok", routed(TX2, RX1),
            QStringLiteral("event source \\{\"alias\":\"RX - 1\",\"kind\":\"decoder\",\"name\":\"%1\",\"source\":\"%2\"\\}").arg(RX1, TX2)});
    const QString noTarget = "error not_found no decoder or wall is named \"nobody\"";
    signedIn("unknown names", {"route nobody \"RX - 1\"", "route \"TX - 1\" nobody", "clear nobody", "power on \"RX - 1\" nobody"},
        {"error not_found no encoder is named \"nobody\"", noTarget, noTarget, noTarget});
    signedIn("by device name in any case, all screens, cleared; no events unsubscribed",
        {"ROUTE " + TX2.toLower() + " " + RX2.toLower(), "route \"TX - 1\" all", "clear ALL"},
        {routed(TX2, RX2), routed(TX1, "all"), "ok \\{\"source\":null,\"target\":\"all\"\\}"});
    signedIn("power and numbers", {"subscribe", "power off \"RX - 2\" \"RX - 2\"", "power on", "numbers hide", "numbers maybe"},
        {"ok", QStringLiteral("ok \\{\"on\":false,\"targets\":\\[\"%1\"\\]\\}").arg(RX2),
            QStringLiteral("event power \\{\"on\":false,\"targets\":\\[\"%1\"\\]\\}").arg(RX2),
            "ok \\{\"on\":true,\"targets\":\"all\"\\}", "event power \\{\"on\":true,\"targets\":\"all\"\\}",
            "ok \\{\"show\":false\\}", "event numbers \\{\"show\":false\\}", "error bad_arguments numbers takes show or hide"});
    signedIn("a wall made, routed through only as a whole, deleted",
        {"subscribe", "wall create \"Big one\" 2 1 \"RX - 1\" \"RX - 2\"", "route \"TX - 1\" \"RX - 1\"", "wall delete \"big one\""},
        {"ok", "ok \\{\"alias\":\"Big one\",\"columns\":2,\"members\":\\[\"" + RX1 + "\",\"" + RX2 + "\"\\],.*\"rows\":1,.*",
            "event wall.created \\{\"alias\":\"Big one\".*",
            "error not_found \"RX - 1\" is part of the wall \"Big one\": route to the wall",
            "ok \\{\"alias\":\"Big one\",\"name\":\"VW:.*\"\\}", "event wall.deleted \\{\"alias\":\"Big one\",\"name\":\"VW:.*\"\\}"});
    signedIn("walls refused",
        {"wall create W 2 1 \"RX - 1\"", "wall create W 9 1 a b c d e f g h i", "wall create W 2 1 \"RX - 1\" \"RX - 1\"",
            "wall create \"RX - 3\" 1 1 \"RX - 1\"", "wall create W x 1 a", "wall create W 1 1 \"TX - 1\"",
            "wall delete \"RX - 1\""},
        {"error bad_arguments members names 2 decoders, row by row",
            "error bad_arguments columns and rows are whole numbers from 1 to 8",
            "error refused \"RX - 1\" cannot take two cells of the wall", "error refused the name \"RX - 3\" is taken",
            "error bad_arguments columns and rows are whole numbers", "error not_found no decoder is named \"TX - 1\"",
            "error not_found no wall is named \"RX - 1\""});
    const QString said = "\"alias\":\"Say \\\\\"hi\\\\\" \\\\\\\\ bye\",";
    signedIn("rename: quotes inside, a name taken, case only",
        {"subscribe", "rename \"RX - 1\" \"Say \\\"hi\\\" \\\\ bye\"", "rename \"TX - 1\" \"rx - 2\"", "rename \"RX - 2\" \"rx - 2\""},
        {"ok", "ok \\{" + said + "\"name\":\"" + RX1 + "\"\\}", "event name \\{" + said + "\"kind\":\"decoder\",\"name\":\"" + RX1 + "\"\\}",
            "error refused the name \"rx - 2\" is taken", "ok \\{\"alias\":\"rx - 2\",\"name\":\"" + RX2 + "\"\\}",
            "event name \\{\"alias\":\"rx - 2\",\"kind\":\"decoder\",\"name\":\"" + RX2 + "\"\\}"});
    const QString rx3 = QStringLiteral("IPD9DEMO-7C2E0DFE0003");
    const QString rx4 = QStringLiteral("IPD9DEMO-7C2E0DFE0004");
    signedIn("a device name wins over an alias that reads like it", {"rename \"RX - 3\" " + rx4, "route \"TX - 1\" " + rx4.toLower()},
        {"ok \\{\"alias\":\"" + rx4 + "\",\"name\":\"" + rx3 + "\"\\}", routed(TX1, rx4)});
    const QString control = "error bad_arguments control characters are not allowed";
    signedIn("malformed, and words beyond a command's own",
        {"route \"TX - 1", "route a\x01 b", "route \"a\\\x01\" b", "route a", "list", "list nothing", "frobnicate \"x\"",
            "subscribe now", "state now", "wall delete W extra", "scene report all", "quit now", "route \"TX - 1\\\""},
        {"error bad_arguments a quote is not closed", control, control, "error bad_arguments usage: route SOURCE TARGET\\|all",
            "error bad_arguments usage: list decoders\\|encoders\\|walls",
            "error bad_arguments kind is one of decoders, encoders, walls",
            "error unknown_command there is no command \"frobnicate\"; help lists them", "error bad_arguments usage: subscribe",
            "error bad_arguments usage: state", "error bad_arguments usage: wall delete NAME",
            "error bad_arguments usage: scene report", "error bad_arguments usage: quit", "error bad_arguments a quote is not closed"});
    const QString everyDevice = "ok \\{\"controller\":\\{.*\\},\"devices\":\\[\\{.*\\}\\]\\}";
    signedIn("scenes and health by their own words",
        {"scene save Evening \"RX - 1\"", "scene rename Evening Night", "scene recall Night", "scene delete Night",
            "scene recall Night", "scene save", "health \"RX - 1\"", "health", "HEALTH all", "health nobody", "health a b"},
        {"ok \\{\"name\":\"Evening\",\"sources\":\\{\"" + RX1 + "\":\"[^\"]*\"\\}\\}", "ok \\{\"name\":\"Night\"\\}",
            "ok \\{\"name\":\"Night\",\"total\":1\\}", "ok \\{\"name\":\"Night\",\"schedules_off\":\\[\\]\\}",
            "error not_found no scene is named \"Night\"", "error bad_arguments usage: scene save NAME \\[SCREEN...\\]",
            "ok \\{\"alias\":\"RX - 1\",.*\"name\":\"" + RX1 + "\".*\\}", everyDevice, everyDevice,
            "error not_found no encoder or decoder is named \"nobody\"", "error bad_arguments usage: health \\[DEVICE\\]"});
    signedIn("state and lists", {"state", "list encoders", "list walls"},
        {"ok \\{\"decoders\":\\[.*\\],\"encoders\":\\[.*\\],\"health\":\\{\"offline\":0,\"online\":\\d+\\},"
         "\"numbers\":null,\"power\":null,\"scene\":\\{\"active\":null,\"names\":\\[\\],.*\\},\"walls\":\\[.*\\]\\}",
            "ok \\[\\{\"address\":.*,\"alias\":\"TX - 1\",\"name\":\"" + TX1 + "\",\"online\":true\\},.*",
            "ok \\[\\{\"alias\":\"2 x 2 - 1\",\"columns\":2,.*"});
}

void TstRemoteApi::lines()
{
    QFETCH(QStringList, in);
    QFETCH(QStringList, out);
    Site site;
    AuthThrottle throttle;
    LineSession session(site.service.core(), site.service.users(), &throttle, QHostAddress::LocalHost);
    QStringList got;
    for (QString line : in)
        got << session.handleLine(line.replace(QStringLiteral("TOKEN"), site.token));
    QCOMPARE(got.size(), out.size());
    for (int i = 0; i < out.size(); ++i)
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(out.at(i))).match(got.at(i)).hasMatch(),
            qPrintable(QString::number(i) + ": " + got.at(i)));
}

// What the window and the devices change reaches a client once; what a client changes
// reaches the window's list; the core refuses what the window's list could not send.
void TstRemoteApi::windowAndDevicesReachClients()
{
    Site site;
    CommandSet *core = site.service.core();
    QSignalSpy events(core, &CommandSet::event);
    site.manager.setCurrentRxDevice(RX1);
    site.manager.dropSourceOn(QStringLiteral("TX:") + TX1, RX1);
    site.manager.dropSourceOn(QStringLiteral("TX:") + TX1, RX1);
    QCOMPARE(site.sourceOf(RX1), TX1);
    const auto decoder = site.manager.rxlist()->findDevice(RX2, false);
    decoder->setOnline(false);
    decoder->setNameAlias(decoder->nameAlias());
    site.manager.switchMonitor(true);
    QStringList names;
    for (const QList<QVariant> &e : events)
        names << e.at(0).toString() + " " + e.at(1).toJsonObject().value("name").toString();
    QCOMPARE(names, (QStringList {"source " + RX1, "device.offline " + RX2, "power "}));

    QSignalSpy rows(site.manager.rxlist(), &QAbstractItemModel::dataChanged);
    const QString before = decoder->nameAlias();
    events.clear();
    const auto rename = [core](const QString &alias) {
        return core->execute(Actor::window(), "rename", {{"name", RX2}, {"alias", alias}}).ok;
    };
    QVERIFY(rename("Stage"));
    QCOMPARE(rows.count(), 1);
    QCOMPARE(decoder->nameAlias(), QStringLiteral("Stage"));
    // Renamed back and forth, each change is told; an alias set to what it is already is not.
    QVERIFY(rename(before) && rename(before) && rename("Stage"));
    QStringList renames;
    for (const QList<QVariant> &e : events)
        if (e.at(0).toString() == QLatin1String("name"))
            renames << e.at(1).toJsonObject().value("alias").toString();
    QCOMPARE(renames, (QStringList {"Stage", before, "Stage"}));
    QVERIFY(core->execute(Actor::window(), "route", {{"source", "TX - 2"}, {"target", "Stage"}}).ok);
    QCOMPARE(site.sourceOf(RX2), TX2);

    // What the WebSocket's JSON can send and the line's words cannot: a switch that is not a
    // bool would otherwise be read as false and the displays switched off.
    events.clear();
    QCOMPARE(core->execute(Actor::window(), "power", {{"on", "on"}}).code, int(BadArguments));
    QCOMPARE(core->execute(Actor::window(), "numbers", {{"show", 1}}).code, int(BadArguments));
    QCOMPARE(events.count(), 0);

    // Decoders are listed on their own and in walls, whichever comes first in the list.
    const DeviceListModel *list = site.manager.rxlist();
    for (int row = list->rowCount() - 1; row >= 0; --row)
        if (list->at(row).objectCast<VWDevice>())
            QVERIFY(core->execute(Actor::window(), "wall.delete", {{"name", list->at(row)->name()}}).ok);
    const auto listed = [core] {
        QStringList names;
        for (const QJsonValue &decoder : core->execute(Actor::window(), "list", {{"kind", "decoders"}}).result.toArray())
            names << decoder["name"].toString();
        names.sort();
        return names;
    };
    const QStringList all {RX1, RX2, QStringLiteral("IPD9DEMO-7C2E0DFE0003"), QStringLiteral("IPD9DEMO-7C2E0DFE0004")};
    QCOMPARE(listed(), all);
    QVERIFY(core->execute(Actor::window(), "wall.create", {{"name", "Pair"}, {"columns", 2}, {"rows", 1}, {"members", QJsonArray {RX1, RX2}}}).ok);
    QCOMPARE(listed(), all);
}

// The token, and the users whose keys hang on it, as the settings store keeps them.
void TstRemoteApi::token()
{
    TestHome home;
    const QString path = home.path() + QStringLiteral("/config.json");
    JsonConfig config(path, false);
    ApiToken token(&config);
    QVERIFY(!token.isSet() && !token.verify(QString()));
    const QString first = token.regenerate();
    // At least 128 bits, in characters a control processor can type.
    QVERIFY(QRegularExpression(QStringLiteral("^[A-Za-z0-9_-]{22,}$")).match(first).hasMatch());
    QVERIFY(token.verify(first));
    QVERIFY(!token.verify(first.left(first.size() - 1)));
    // Enough wrong tokens that a comparison of only part of the key lets one in.
    for (int guess = 0; guess < 4096; ++guess)
        QVERIFY(!token.verify(QString::number(guess)));
    QVERIFY(!readFile(path).contains(first.toUtf8()));

    // A client proves it knows the token without sending it, over the message of one sign-in.
    const QByteArray message = ApiToken::authMessage(token.salt(), "challenge-1", "nonce-1");
    const QByteArray proof = ApiToken::proofFor(first, token.salt(), message);
    QByteArray serverSignature;
    QVERIFY(token.verifyProof(message, proof, &serverSignature) && !serverSignature.isEmpty());
    QVERIFY(!token.verifyProof(ApiToken::authMessage(token.salt(), "challenge-2", "nonce-1"), proof, nullptr));

    const QString second = ApiToken(&config).regenerate();
    // The token before it works no more, sent or proven.
    QVERIFY(second != first && !token.verify(first) && !token.verifyProof(message, proof, nullptr));
    // The store keeps it across a restart.
    JsonConfig reread(path, false);
    QVERIFY(ApiToken(&reread).verify(second));

    // Users are kept too, their credentials in no file; the token made before the users keeps
    // its salt, which the users' keys hang on.
    QString error, kept;
    {
        ApiUsers users(&config, &token);
        kept = users.add({"Kept", Actor::Role::Operator, {RX1}, {}, {}}, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        // Sign-ins are written together within the minute, not one write each, and at the end.
        const QTimer *due = users.findChild<QTimer *>(QStringLiteral("signInSave"));
        QVERIFY(due && due->isSingleShot());
        QCOMPARE(due->interval(), 60 * 1000);
        users.signIn(kept, QHostAddress("192.0.2.7"));
        users.signIn(second, QHostAddress("192.0.2.8"));
        QVERIFY(due->isActive());
        QVERIFY(!readFile(path).contains("sign_ins"));
        users.saveSignIns();
        QVERIFY(readFile(path).contains("192.0.2.8"));
        users.signIn(kept, QHostAddress("192.0.2.9"));
    }
    QVERIFY(!readFile(path).contains(kept.toUtf8()));
    JsonConfig usersConfig(path, false);
    ApiToken usersToken(&usersConfig);
    ApiUsers users(&usersConfig, &usersToken);
    QCOMPARE(users.list().at(1)["last_address"].toString(), QStringLiteral("192.0.2.9"));
    QCOMPARE(users.list().at(0)["last_address"].toString(), QStringLiteral("192.0.2.8"));
    QCOMPARE(users.signIn(second, QHostAddress::LocalHost), ApiUsers::FIRST_ADMIN);
    QCOMPARE(users.signIn(kept, QHostAddress::LocalHost), QStringLiteral("Kept"));
    QCOMPARE(users.list().at(1)["screens"].toArray(), QJsonArray {RX1});
    QVERIFY(!users.newCredential(ApiUsers::FIRST_ADMIN, &error).isEmpty());
    QCOMPARE(users.signIn(kept, QHostAddress::LocalHost), QStringLiteral("Kept"));

    // A file from before the stored keys holds the salted value a proof can be made from: it is
    // replaced by the keys, and the token in use goes on working.
    const QString older = home.path() + QStringLiteral("/older.json");
    const QByteArray salt = "c2FsdHNhbHRzYWx0c2FsdA==";
    const QString old = QStringLiteral("an-older-token-of-thirty-two-ch");
    const QByteArray salted = QCryptographicHash::hash(old.toUtf8() + salt, QCryptographicHash::Sha256).toBase64();
    QVERIFY(writeFile(older, "{\"api\":{\"token_salt\":\"" + salt + "\",\"token_hash\":\"" + salted + "\",\"enabled\":true}}"));
    JsonConfig olderConfig(older, false);
    ApiToken migrated(&olderConfig);
    LogCapture info(QtInfoMsg);
    QVERIFY(migrated.migrate() && !migrated.migrate());
    QCOMPARE(info.matching(QStringLiteral("cannot sign in; the token stays the same")).size(), 1);
    QVERIFY(readFile(older).contains("token_stored_key") && !readFile(older).contains(salted));
    JsonConfig olderReread(older, false);
    ApiToken restarted(&olderReread);
    QVERIFY(restarted.verify(old));
    const QByteArray oldMessage = ApiToken::authMessage(salt, "c", "n");
    QVERIFY(restarted.verifyProof(oldMessage, ApiToken::proofFor(old, salt, oldMessage), nullptr));
}

// Arguments each method succeeds with, aimed inside a user's screens (RX1, source TX1) or
// outside them (RX2, TX2). A method without them fails its rows: a new one cannot slip past.
QJsonObject sampleCall(const QString &method, bool inside)
{
    const QString screen = inside ? RX1 : RX2;
    const QString source = inside ? TX1 : TX2;
    const QHash<QString, QJsonObject> samples {{"state", {}}, {"list", {{"kind", "decoders"}}}, {"whoami", {}},
        {"route", {{"source", source}, {"target", screen}}}, {"clear", {{"target", screen}}},
        {"power", {{"on", true}, {"targets", QJsonArray {screen}}}}, {"numbers", {{"show", true}}},
        {"wall.create", {{"name", "W2"}, {"columns", 1}, {"rows", 1}, {"members", QJsonArray {screen}}}},
        {"wall.delete", {{"name", "W1"}}}, {"rename", {{"name", screen}, {"alias", "Renamed"}}},
        {"scene.list", {}}, {"scene.save", {{"name", "New"}, {"targets", QJsonArray {screen}}}},
        {"scene.recall", {{"name", inside ? "Mine" : "Theirs"}}}, {"scene.retry", {}}, {"scene.report", {}},
        {"scene.rename", {{"name", "Mine"}, {"new_name", "Ours"}}}, {"scene.delete", {{"name", "Mine"}}},
        {"schedule.list", {}}, {"schedule.enable", {{"name", "Morning"}, {"enabled", false}}}, {"health", {}}, {"users.list", {}},
        {"users.add", {{"name", "Third"}, {"role", "viewer"}, {"screens", QJsonArray {screen}}}},
        {"users.change", {{"name", "Guest"}, {"role", "operator"}, {"screens", QJsonArray {screen}}}},
        {"users.revoke", {{"name", "Guest"}}}, {"users.credential", {{"name", "Guest"}}},
        {"users.pair", {{"role", "viewer"}, {"screens", QJsonArray {screen}}}},
        {"audit", {{"actor", "window"}}}};
    return samples.value(method, {{"no sample", true}});
}

// Every method of the command table, as every role, inside and outside the user's screens:
// allowed, or refused as forbidden with nothing of it done.
void TstRemoteApi::rights_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<int>("role");
    QTest::addColumn<bool>("inside");
    Site site;
    for (const CommandEntry &entry : site.commands.table())
        for (const Actor::Role role : {Actor::Role::Viewer, Actor::Role::Operator, Actor::Role::Admin})
            for (const bool inside : {true, false})
                QTest::addRow("%s as %s %s", qPrintable(entry.name), qPrintable(Actor::roleName(role)),
                    inside ? "inside" : "outside") << entry.name << int(role) << inside;
}

void TstRemoteApi::rights()
{
    QFETCH(QString, method);
    QFETCH(int, role);
    QFETCH(bool, inside);
    Site site;
    CommandSet *core = site.service.core();
    const Actor window = Actor::window();
    QVERIFY(core->execute(window, "wall.create",
        {{"name", "W1"}, {"columns", 1}, {"rows", 1}, {"members", QJsonArray {"IPD9DEMO-7C2E0DFE0003"}}}).ok);
    QVERIFY(core->execute(window, "scene.save", {{"name", "Mine"}, {"targets", QJsonArray {RX1}}}).ok);
    QVERIFY(core->execute(window, "scene.save", {{"name", "Theirs"}, {"targets", QJsonArray {RX1, RX2}}}).ok);
    QVERIFY(core->execute(window, "users.add", {{"name", "Guest"}, {"role", "viewer"}}).ok);

    // Admins are not limited to screens; everybody else is, here.
    const QStringList limits = Actor::Role(role) == Actor::Role::Admin ? QStringList() : QStringList {RX1};
    const Actor actor {"Tester", Actor::Role(role), limits, limits.isEmpty() ? QStringList() : QStringList {TX1}, {}};
    const QJsonObject params = sampleCall(method, inside);
    QVERIFY2(!params.contains("no sample"), qPrintable(method + " has no sample arguments"));
    const QVector<CommandEntry> table = core->table();
    const Right right = std::find_if(table.begin(), table.end(), [&](const CommandEntry &e) { return e.name == method; })->right;
    // Numbers and a retry reach every screen, which a limited operator may not.
    const bool everyScreen = method == "numbers" || method == "scene.retry";
    const bool allowed = actor.may(right) && !(right == Right::Operate && actor.limited() && (!inside || everyScreen));

    const QJsonObject before = core->state();
    const QJsonArray usersBefore = site.service.users()->list();
    const RemoteAnswer answer = core->execute(actor, method, params);
    QVERIFY2((answer.code != Forbidden) == allowed, qPrintable(QString::number(answer.code) + " " + answer.message));
    if (!allowed) {
        QCOMPARE(core->state(), before);
        QCOMPARE(site.service.users()->list(), usersBefore);
    }
}

// The web server walked through. A phone pairs by a one-time code from the window: the code
// makes a user with the rights chosen there, works once and for five minutes, and guessing
// withdraws every open code. Silent WebSocket peers are ended; a stop tells, then lets go.
void TstRemoteApi::webServer()
{
    Site site;
    CommandSet *core = site.service.core();
    DevicePairing *pairing = site.service.pairing();
    qint64 now = 0;
    pairing->setClock([&now] { return now; });
    const QJsonObject operatorOfOne {{"role", "operator"}, {"screens", QJsonArray {"RX - 1"}}};
    // A code no phone can reach is not made.
    QCOMPARE(core->execute(Actor::window(), "users.pair", operatorOfOne).code, int(Refused));
    QCOMPARE(pairing->openCount(), 0);
    WebServerConfig config;
    config.address = QHostAddress::LocalHost;
    config.port = 0;
    config.pingIntervalMs = 500;
    QVERIFY2(site.service.webServer()->start(config), qPrintable(site.service.webServer()->errorString()));
    const quint16 port = site.service.webServer()->serverPort();
    // An operator who could open codes would make itself an admin by pairing.
    const Actor operatorUser {QStringLiteral("Lectern"), Actor::Role::Operator, {}, {}, {}};
    QCOMPARE(core->execute(operatorUser, "users.pair", {{"role", "admin"}}).code, int(Forbidden));

    const RemoteAnswer opened = core->execute(Actor::window(), "users.pair", operatorOfOne);
    QVERIFY2(opened.ok, qPrintable(opened.message));
    const QString code = opened.result["code"].toString();
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9]{10}$")).match(code).hasMatch());
    QCOMPARE(opened.result["link"].toString(), QStringLiteral("http://127.0.0.1:%1/#pair=%2").arg(port).arg(code));
    QCOMPARE(opened.result["valid_seconds"].toInt(), 300);

    // Traded over HTTP as the page sends it, grouped for reading: a user with the rights chosen.
    QSignalSpy paired(&site.service, &RemoteService::devicePaired);
    const QByteArray grouped = code.left(3).toUtf8() + ' ' + code.mid(3, 3).toUtf8() + '-' + code.mid(6).toUtf8();
    QByteArray answer = httpExchange(port, pairRequest(grouped));
    QVERIFY2(answer.startsWith("HTTP/1.1 200"), answer.constData());
    const QJsonObject traded = QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4)).object();
    const QString credential = traded["credential"].toString();
    QCOMPARE(paired.size(), 1);
    QCOMPARE(paired.at(0), (QVariantList {code, QStringLiteral("device-1")}));
    Actor device;
    QVERIFY(site.service.users()->actor("device-1", &device));
    QCOMPARE(device.toJson(), traded["user"].toObject());
    QCOMPARE(int(device.role), int(Actor::Role::Operator));
    QCOMPARE(device.screens, QStringList {RX1});
    const int auditBefore = site.auditCount();

    // Used once, it is refused, and the refusal counts against the address as a wrong token does.
    answer = httpExchange(port, pairRequest(code.toUtf8()));
    QVERIFY2(answer.startsWith("HTTP/1.1 403"), answer.constData());
    // The trade and the refusal are in the trail, the credential is not.
    const QStringList traces = site.auditLines(auditBefore - 2);
    QVERIFY2(traces.filter(QStringLiteral("\"action\":\"pair\",\"actor\":\"device-1\"")).size() == 1, qPrintable(traces.join('\n')));
    QVERIFY2(QRegularExpression("\"action\":\"pair\",.*\"outcome\":\"refused\"").match(traces.last()).hasMatch(), qPrintable(traces.last()));
    QVERIFY(!readFile(site.trail.path()).contains(credential.toUtf8()));
    // A client that signs in with every request has a sign-in line a minute, not one a request.
    const int beforeRequests = site.auditCount();
    const QByteArray request = "GET /api/state HTTP/1.1\r\nHost: x\r\nConnection: close\r\nAuthorization: Bearer " + credential.toUtf8();
    for (int i = 0; i < 2; ++i)
        QVERIFY(httpExchange(port, request + "\r\n\r\n").startsWith("HTTP/1.1 200"));
    QCOMPARE(site.auditLines(beforeRequests).filter(QStringLiteral("\"action\":\"sign-in\"")).size(), 1);
    QVERIFY(!answer.contains("credential"));
    QCOMPARE(site.service.throttle()->failures(QHostAddress::LocalHost), 1);
    // Without a token only a small body is read: a large one is refused from its head.
    answer = httpExchange(port, "POST /api/pair HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "
            + QByteArray::number(WebServer::MAX_PAIR_BYTES + 1) + "\r\n\r\n{\"code\":\"");
    QVERIFY2(answer.startsWith("HTTP/1.1 413"), answer.constData());

    // Five minutes, and not a moment more.
    QString error, user;
    const QString late = pairing->open({QString(), Actor::Role::Viewer, {}, {}, {}}, &error);
    now += DevicePairing::VALID_MS - 1;
    QCOMPARE(pairing->openCount(), 1);
    now += 1;
    QVERIFY(pairing->trade(late, &user, &error).isEmpty());
    QCOMPARE(pairing->openCount(), 0);

    // Guessing: text that is no code costs nothing, but MAX_WRONG wrong codes from anywhere
    // withdraw every open one, the right one too.
    const QString first = pairing->open({QStringLiteral("Tablet"), Actor::Role::Viewer, {}, {}, {}}, &error);
    const QString second = pairing->open({QString(), Actor::Role::Viewer, {}, {}, {}}, &error);
    QCOMPARE(pairing->open({QStringLiteral("tablet"), Actor::Role::Viewer, {}, {}, {}}, &error), QString());
    QCOMPARE(error, QStringLiteral("the name \"tablet\" is taken"));
    for (int i = 0; i < 3 * DevicePairing::MAX_WRONG; ++i)
        pairing->trade(QStringLiteral("guess"), &user, &error);
    QString wrong = first;
    wrong[0] = first.at(0) == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    for (int i = 1; i < DevicePairing::MAX_WRONG; ++i)
        QVERIFY(pairing->trade(wrong, &user, &error).isEmpty());
    QCOMPARE(pairing->openCount(), 2);
    QVERIFY(!pairing->trade(first, &user, &error).isEmpty());
    QCOMPARE(user, QStringLiteral("Tablet"));
    QVERIFY(pairing->trade(wrong, &user, &error).isEmpty());
    QCOMPARE(pairing->openCount(), 0);
    QVERIFY(pairing->trade(second, &user, &error).isEmpty());

    // Open codes are few, and one withdrawn from the window works no more.
    QStringList codes;
    for (int i = 0; i < DevicePairing::MAX_OPEN; ++i)
        codes << pairing->open({QString(), Actor::Role::Viewer, {}, {}, {}}, &error);
    QVERIFY(!codes.contains(QString()));
    QCOMPARE(core->execute(Actor::window(), "users.pair", {{"role", "viewer"}}).code, int(Refused));
    site.service.withdrawPairingCode(codes.first());
    QVERIFY(pairing->trade(codes.first(), &user, &error).isEmpty());
    QVERIFY(!pairing->trade(codes.last(), &user, &error).isEmpty());

    // A WebSocket client whose peer has gone without a word (here: one that neither signs in
    // nor answers pings) is ended after a ping it left unanswered, long before its sign-in time
    // is up; one that answers stays.
    QTcpSocket silent, answering;
    QVERIFY(openWebSocket(silent, port));
    QVERIFY(openWebSocket(answering, port));
    // The silent one never reads, and so answers nothing; the other answers each ping with a
    // pong (a client's frame, masked with a key of zeros) and reads past the greeting.
    int pongs = 0, opcode = 0;
    QByteArray payload;
    while (pongs < 5 && readFrame(answering, &opcode, &payload)) {
        if (opcode == 0x9) {
            answering.write(QByteArray(1, char(0x8A)) + char(0x80 | payload.size()) + QByteArray(4, '\0') + payload);
            ++pongs;
        }
    }
    QCOMPARE(pongs, 5);
    QTRY_COMPARE(silent.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(answering.state(), QAbstractSocket::ConnectedState);
    QCOMPARE(site.service.webServer()->clientCount(), 1);
    // A controller that stops tells every client why before it ends them, the WebSocket's too.
    site.service.closeAll(QStringLiteral("the controller is stopping"));
    while (readFrame(answering, &opcode, &payload) && opcode == 0x9) { }
    QVERIFY2(opcode == 0x1 && payload.contains("the controller is stopping"), payload.constData());

    // A device paired while the settings cannot be written is told that its credential lasts
    // only until the controller stops.
    site.manager.settingsStore()->setReadOnly(false);
    const QString file = site.home.path() + QStringLiteral("/.zentrova/config.json");
    QFile::remove(file);
    QVERIFY(QDir().mkpath(file));
    const QString unsaved = pairing->open({QString(), Actor::Role::Viewer, {}, {}, {}}, &error);
    answer = httpExchange(port, pairRequest(unsaved.toUtf8()));
    QVERIFY2(answer.startsWith("HTTP/1.1 200") && answer.contains("\"note\":\"the settings file could not be written"),
        answer.constData());
    // Turned off, the API lets its web port and connections go, one kept open across requests too.
    QTcpSocket kept;
    QVERIFY(connectTo(kept, port));
    kept.write("GET /api/state HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + site.token.toUtf8() + "\r\n\r\n");
    QTRY_COMPARE(kept.peek(12), QByteArray("HTTP/1.1 200"));
    site.service.webServer()->stop();
    QTRY_COMPARE(kept.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(QTcpServer().listen(QHostAddress::LocalHost, port));
}

void TstRemoteApi::lineServer_data()
{
    QTest::addColumn<QString>("part");
    QTest::newRow("users held to their screens") << "users";
    QTest::newRow("too fast") << "rate";
    QTest::newRow("too many clients") << "clients";
    QTest::newRow("strangers wait in their own pool") << "waiting";
    QTest::newRow("line too long; no sign-in in time") << "deadline";
    QTest::newRow("wrong tokens keep no one out") << "guessing";
    QTest::newRow("new token cuts off") << "token";
    QTest::newRow("a client that stops reading") << "slow";
}

// Over real sockets, with a client signed in by the token (its line ended as control
// processors end it, CR LF): each limit answers with its error, and the client can go on.
void TstRemoteApi::lineServer()
{
    QFETCH(QString, part);
    Site site;
    LineServer *server = site.service.lineServer();
    if (part == "deadline")
        server->setSignInTimeout(300);
    QVERIFY(server->listen(QHostAddress::LocalHost, 0));
    const quint16 port = server->serverPort();
    QTcpSocket client;
    QCOMPARE(signIn(client, port, site.token + "\r"), QStringLiteral("ok"));
    if (part == "users") {
        // Users sign in with credentials of their own and are held to their screens; a revoked
        // user is cut off at once; the token of before is the first admin.
        CommandSet *core = site.service.core();
        // The window's way in, as its users page calls it.
        QSignalSpy usersChanged(&site.service, &RemoteService::usersChanged);
        const QVariantMap added = site.service.command(QStringLiteral("users.add"), {{"name", "Lectern"},
            {"role", "operator"}, {"screens", QStringList {"RX - 1"}}, {"sources", QVariantList {"TX - 2"}}});
        QVERIFY2(added["ok"].toBool(), qPrintable(added["error"].toString()));
        QCOMPARE(usersChanged.count(), 1);
        const QString credential = added["result"].toMap()["credential"].toString();
        QCOMPARE(added["result"].toMap()["user"].toMap()["screens"].toStringList(), QStringList {RX1});
        QVERIFY(credential.size() >= 22);
        QCOMPARE(core->execute(Actor::window(), "users.add", {{"name", "lectern"}, {"role", "viewer"}}).code, int(Refused));
        QCOMPARE(core->execute(Actor::window(), "users.add",
            {{"name", "Boss"}, {"role", "admin"}, {"screens", QJsonArray {RX1}}}).code, int(Refused));

        QTcpSocket lectern;
        const QString outsideBefore = site.sourceOf(RX2);
        QCOMPARE(signIn(lectern, port, credential), QStringLiteral("ok"));
        lectern.write("route \"TX - 2\" \"RX - 1\"\nroute \"TX - 1\" \"RX - 1\"\nroute \"TX - 2\" \"RX - 2\"\n"
                      "route \"TX - 2\" all\nrename \"RX - 1\" Mine\n");
        QCOMPARE(readLine(lectern), QStringLiteral("ok {\"source\":\"%1\",\"target\":\"%2\"}").arg(TX2, RX1));
        QCOMPARE(readLine(lectern), QStringLiteral("error forbidden \"TX - 1\" is not one of your sources"));
        QCOMPARE(readLine(lectern), QStringLiteral("error forbidden \"%1\" is not one of your screens").arg(RX2));
        QCOMPARE(readLine(lectern), QStringLiteral("error forbidden \"route\" as sent reaches every screen; name your own screens"));
        QCOMPARE(readLine(lectern), QStringLiteral("error forbidden \"rename\" is not for the operator role"));
        QCOMPARE(site.sourceOf(RX2), outsideBefore);
        // The same user signs in by proof on the WebSocket's terms.
        const QByteArray message = ApiToken::authMessage(site.service.users()->salt(), "c", "n");
        QCOMPARE(site.service.users()->signInByProof(message,
                     ApiToken::proofFor(credential, site.service.users()->salt(), message), nullptr, QHostAddress::LocalHost),
            QStringLiteral("Lectern"));
        QCOMPARE(site.service.users()->list().at(1)["last_address"].toString(), QStringLiteral("127.0.0.1"));

        // A change of role holds from the next command: viewers route nothing.
        QVERIFY(core->execute(Actor::window(), "users.change", {{"name", "LECTERN"}, {"role", "viewer"}}).ok);
        QCOMPARE(readLine(lectern), QStringLiteral("error refused the user's rights were changed; sign in again"));
        QTRY_COMPARE(lectern.state(), QAbstractSocket::UnconnectedState);
        QTcpSocket viewer;
        QCOMPARE(signIn(viewer, port, credential), QStringLiteral("ok"));
        viewer.write("clear \"RX - 1\"\n");
        QCOMPARE(readLine(viewer), QStringLiteral("error forbidden \"clear\" is not for the viewer role"));

        QVERIFY(core->execute(Actor::window(), "users.revoke", {{"name", "Lectern"}}).ok);
        QCOMPARE(readLine(viewer), QStringLiteral("error refused the user was revoked"));
        QTRY_COMPARE(viewer.state(), QAbstractSocket::UnconnectedState);
        QTcpSocket again;
        QCOMPARE(signIn(again, port, credential), QStringLiteral("error not_authenticated wrong token"));
        const QVariantMap refused = site.service.command(QStringLiteral("users.revoke"), {{"name", "admin"}});
        QCOMPARE(refused["code"].toInt(), int(Refused));
        QVERIFY(refused["error"].toString().contains("cannot be revoked"));
        // The first admin's session stayed through all of it.
        client.write("whoami\n");
        QVERIFY(readLine(client).contains("\"name\":\"admin\",\"role\":\"admin\""));
    } else if (part == "rate") {
        client.write(QByteArray("numbers show\n").repeated(LineServer::COMMANDS_PER_SECOND + 1));
        QStringList answers;
        for (int i = 0; i <= LineServer::COMMANDS_PER_SECOND; ++i)
            answers << readLine(client);
        QCOMPARE(answers.count(QStringLiteral("ok {\"show\":true}")), LineServer::COMMANDS_PER_SECOND - 1);
        QCOMPARE(answers.last(), QStringLiteral("error rate_limited at most 50 commands a second"));
        // Refused, by whom and from where, in the trail: once a minute however long the flood.
        QVERIFY(QRegularExpression(R"("action":"command","actor":"admin","address":"127.0.0.1",.*"outcome":"rate_limited")")
                    .match(QString::fromUtf8(readFile(site.trail.path()))).hasMatch());
        // The next second takes commands again.
        QTRY_COMPARE_WITH_TIMEOUT((client.write("numbers hide\n"), readLine(client)), QStringLiteral("ok {\"show\":false}"), 3000);
    } else if (part == "clients") {
        QTcpSocket others[LineServer::MAX_CLIENTS - 1];
        for (QTcpSocket &other : others)
            QCOMPARE(signIn(other, port, site.token), QStringLiteral("ok"));
        QTcpSocket extra;
        QCOMPARE(signIn(extra, port, site.token), QStringLiteral("error busy 64 clients are signed in already"));
        QTRY_COMPARE(extra.state(), QAbstractSocket::UnconnectedState);
        client.write("help\n");
        QVERIFY(readLine(client).startsWith("ok state"));
    } else if (part == "waiting") {
        // Idle strangers fill their address's share of the waiting pool, and no more.
        QTcpSocket idle[LineServer::MAX_WAITING_PER_ADDRESS];
        for (int i = 0; i < LineServer::MAX_WAITING_PER_ADDRESS; ++i) {
            QVERIFY(connectTo(idle[i], port));
            QTRY_COMPARE(server->clientCount(), i + 2);
        }
        QTcpSocket extra;
        QVERIFY(connectTo(extra, port));
        QCOMPARE(readLine(extra), QStringLiteral("error busy 4 connections from this address are waiting to sign in already"));
        QTRY_COMPARE(extra.state(), QAbstractSocket::UnconnectedState);
        // Another address still gets in and signs in.
        QTcpSocket neighbour;
        QVERIFY(neighbour.bind(QHostAddress(QStringLiteral("127.0.0.2"))));
        QCOMPARE(signIn(neighbour, port, site.token), QStringLiteral("ok"));
        // Signing in leaves the pool: the address has room again.
        QCOMPARE(signIn(idle[0], port, site.token), QStringLiteral("ok"));
        QTcpSocket next;
        QCOMPARE(signIn(next, port, site.token), QStringLiteral("ok"));
    } else if (part == "deadline") {
        // A whole line too long, then one whose end comes only after the error: the rest of
        // it is thrown away, not run as a command.
        client.write(QByteArray(LineServer::MAX_LINE_BYTES + 1, 'x') + "\n" + QByteArray(3 * LineServer::MAX_LINE_BYTES, 'y'));
        QCOMPARE(readLine(client), QStringLiteral("error too_large a line holds at most 4096 bytes"));
        QCOMPARE(readLine(client), QStringLiteral("error too_large a line holds at most 4096 bytes"));
        client.write(QByteArray(LineServer::MAX_LINE_BYTES, 'y') + "\nhelp\n");
        QVERIFY(readLine(client).startsWith("ok state"));
        QTcpSocket idle;
        QVERIFY(connectTo(idle, port));
        QCOMPARE(readLine(idle), QStringLiteral("error not_authenticated no sign-in within 0.3 seconds"));
        QTRY_COMPARE(idle.state(), QAbstractSocket::UnconnectedState);
        // The signed-in client, connected first, is past its own deadline by now, and stays.
        client.write("help\n");
        QVERIFY(readLine(client).startsWith("ok state"));
    } else if (part == "guessing") {
        // The throttle first, on a clock of the test's.
        AuthThrottle throttle;
        qint64 now = 0;
        throttle.setClock([&now] { return now; });
        const QHostAddress elsewhere(QStringLiteral("192.0.2.7"));
        for (int i = 0; i < AuthThrottle::FREE_FAILURES; ++i)
            QCOMPARE(throttle.failed(elsewhere), 0);
        // Each failure past the free ones doubles the wait, up to the longest.
        for (qint64 wait = AuthThrottle::FIRST_WAIT_MS; wait < 256 * AuthThrottle::FIRST_WAIT_MS; wait *= 2)
            QCOMPARE(throttle.failed(elsewhere), qMin(wait, AuthThrottle::LONGEST_WAIT_MS));
        QCOMPARE(throttle.failed(QHostAddress(QStringLiteral("192.0.2.8"))), 0);
        // Failures fade: after long enough without one, the address starts afresh.
        const int counted = throttle.failures(elsewhere);
        now += AuthThrottle::FORGET_ONE_MS;
        QCOMPARE(throttle.failures(elsewhere), counted - 1);
        now += counted * AuthThrottle::FORGET_ONE_MS;
        QCOMPARE(throttle.failures(elsewhere), 0);
        QCOMPARE(throttle.failed(elsewhere), 0);
        // Over sockets, guessers on the same address as the right client: each connection gets
        // a few tries, and past the first few failures the answers come slowly.
        QElapsedTimer slowest;
        qint64 longest = 0;
        for (int round = 0; round < 2; ++round) {
            QTcpSocket guesser;
            for (int i = 0; i < LineSession::MAX_FAILURES; ++i) {
                slowest.start();
                QVERIFY(signIn(guesser, port, QStringLiteral("guess-%1").arg(i))
                            .startsWith("error not_authenticated wrong token"));
                longest = qMax(longest, slowest.elapsed());
            }
            QTRY_COMPARE(guesser.state(), QAbstractSocket::UnconnectedState);
            // The right token from the same address is taken at once, every time.
            QTcpSocket right;
            QCOMPARE(signIn(right, port, site.token), QStringLiteral("ok"));
        }
        QVERIFY2(longest >= AuthThrottle::FIRST_WAIT_MS * 4, qPrintable(QString::number(longest)));
    } else if (part == "token") {
        const QString fresh = site.service.newToken();
        QCOMPARE(readLine(client), QStringLiteral("error refused a new token was made"));
        QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
        QTcpSocket again;
        QCOMPARE(signIn(again, port, site.token), QStringLiteral("error not_authenticated wrong token"));
        QCOMPARE(signIn(again, port, fresh), QStringLiteral("ok"));
        // A controller that stops tells every client why before it ends them.
        site.service.closeAll(QStringLiteral("the controller is stopping"));
        QCOMPARE(readLine(again), QStringLiteral("error refused the controller is stopping"));
    } else {
        // Cut off, so that the controller's memory is not its buffer; a client that reads
        // keeps every event.
        QTcpSocket slow;
        QCOMPARE(signIn(slow, port, site.token), QStringLiteral("ok"));
        for (QTcpSocket *subscriber : {&slow, &client}) {
            subscriber->write("subscribe\n");
            QCOMPARE(readLine(*subscriber), QStringLiteral("ok"));
        }
        slow.setReadBufferSize(1);
        LogCapture warnings(QtWarningMsg);
        const auto decoder = site.manager.rxlist()->findDevice(RX1, false);
        int received = 0;
        const auto drain = [&] {
            for (; client.canReadLine(); ++received)
                client.readLine();
            return received;
        };
        // However much the system buffers on loopback, the slow client falls behind at last.
        int renames = 0;
        for (; renames < 50000 && server->clientCount() == 2; ++renames) {
            decoder->setNameAlias(QString(2000, QLatin1Char('a' + renames % 2)));
            QCoreApplication::processEvents();
            drain();
        }
        QCOMPARE(server->clientCount(), 1);
        QCOMPARE(warnings.matching(QStringLiteral("bytes it has not read")).size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(drain(), renames, 10000);
    }
}

// A name is quoted only when a blank, a quote or a backslash in it needs it (that the words
// come back whole is the line-protocol fuzz target's to show).
void TstRemoteApi::wordsQuoted()
{
    const QVector<QPair<QString, QString>> words {{"TX-1", "TX-1"}, {"TX 1", "\"TX 1\""}, {"Say\"hi", "\"Say\\\"hi\""},
        {"a\\b", "\"a\\\\b\""}, {"", "\"\""}};
    for (const auto &word : words)
        QCOMPARE(lineprotocol::quoteWord(word.first), word.second);
}

// Every way in leaves exactly one line per thing asked, with who asked, from where, and how it
// ended; reading leaves none. One installation walked through: the command set as every
// transport calls it, a line protocol session, and the manager and lists as the window calls them.
void TstRemoteApi::auditLines()
{
    Site site;
    site.manager.routeSource(TX1, RX1);
    const auto api = [&site](Actor::Role role, const QString &method, const QJsonObject &params) {
        return site.service.core()->execute(Actor {"ops", role, {}, {}, "192.0.2.55"}, method, params);
    };
    const int from = site.auditCount();
    // A pattern for each step's one line, in the order of the steps.
    QStringList expected;
    const QString ops = "\"actor\":\"ops\",\"address\":\"192.0.2.55\",";
    const QString window = "\"actor\":\"window\",";
    api(Actor::Role::Operator, "route", {{"source", "TX - 2"}, {"target", "RX - 1"}});
    expected << "\\{\"action\":\"route\"," + ops + "\"after\":\\{\"source\":\"" + TX2 + "\",\"target\":\"" + RX1
        + "\"\\},\"before\":\"" + TX1 + "\",\"outcome\":\"ok\",\"target\":\"RX - 1\"\\}";
    api(Actor::Role::Viewer, "route", {{"source", "TX - 2"}, {"target", "RX - 1"}});
    expected << "\\{\"action\":\"route\"," + ops + "\"after\":null,\"before\":.*,\"outcome\":\"forbidden\",\"reason\":"
        "\"\\\\\"route\\\\\" is not for the viewer role\",\"target\":\"RX - 1\"\\}";
    api(Actor::Role::Operator, "power", {{"on", false}, {"targets", QJsonArray {"RX - 2"}}});
    expected << "\\{\"action\":\"power\"," + ops + "\"after\":\\{\"on\":false,\"targets\":\\[\"" + RX2
        + "\"\\]\\},\"before\":null,\"outcome\":\"ok\",\"target\":\"RX - 2\"\\}";
    api(Actor::Role::Operator, "numbers", {{"show", true}});
    expected << ".*\"action\":\"numbers\".*\"after\":\\{\"show\":true\\}.*\"outcome\":\"ok\".*";
    api(Actor::Role::Admin, "wall.delete", {{"name", "2 x 2 - 1"}});
    expected << ".*\"before\":\\{\"alias\":\"2 x 2 - 1\",\"columns\":2,.*\"outcome\":\"ok\".*";
    api(Actor::Role::Admin, "rename", {{"name", "RX - 1"}, {"alias", "Stage"}});
    expected << ".*\"after\":\\{\"alias\":\"Stage\",\"name\":\"" + RX1 + "\"\\},\"before\":\"RX - 1\",\"outcome\":\"ok\",.*";
    const QString credential
        = api(Actor::Role::Admin, "users.add", {{"name", "Lectern"}, {"role", "viewer"}}).result["credential"].toString();
    expected << "\\{\"action\":\"users.add\"," + ops + "\"after\":\\{\"user\":\\{[^}]*\"name\":\"Lectern\".*\\},"
        "\"before\":null,\"outcome\":\"ok\",\"target\":\"Lectern\"\\}";
    QVERIFY(!credential.isEmpty() && !readFile(site.trail.path()).contains(credential.toUtf8()));
    api(Actor::Role::Viewer, "state", {});
    api(Actor::Role::Admin, "audit", {});

    // An address of its own: refused sign-ins reach the trail once a minute per address.
    AuthThrottle throttle;
    LineSession session(site.service.core(), site.service.users(), &throttle, QHostAddress("198.51.100.7"));
    session.handleLine("auth " + site.token);
    expected << "\\{\"action\":\"sign-in\",\"actor\":\"admin\",\"address\":\"198.51.100.7\",\"after\":null,"
        "\"before\":null,\"outcome\":\"ok\",\"target\":\"admin\"\\}";
    session.handleLine("route \"TX - 2\" Stage");
    expected << "\\{\"action\":\"route\",\"actor\":\"admin\",\"address\":\"198.51.100.7\",.*\"outcome\":\"ok\","
        "\"target\":\"Stage\"\\}";
    LineSession stranger(site.service.core(), site.service.users(), &throttle, QHostAddress("198.51.100.7"));
    stranger.handleLine("auth wrong");
    expected << "\\{\"action\":\"sign-in\",\"actor\":null,\"address\":\"198.51.100.7\",.*"
        "\"outcome\":\"not_authenticated\",\"target\":null\\}";

    site.manager.dropSourceOn("TX:" + TX1, RX1);
    expected << "\\{\"action\":\"route\"," + window + "\"address\":null,\"after\":\"" + TX1 + "\",\"before\":\"" + TX2
        + "\",\"outcome\":\"ok\",\"target\":\"" + RX1 + "\"\\}";
    site.manager.switchMonitor(false);
    expected << "\\{\"action\":\"power\"," + window + ".*\"after\":false,.*\"target\":\"all\"\\}";
    DeviceListModel *list = site.manager.rxlist();
    const QModelIndex desk = list->match(list->index(0), DeviceListModel::NameRole, RX2, 1, Qt::MatchExactly).value(0);
    QVERIFY(list->setData(desk, "Desk", DeviceListModel::AliasRole));
    expected << "\\{\"action\":\"rename\"," + window + ".*\"after\":\"Desk\",\"before\":\"RX - 2\",\"outcome\":\"ok\","
        "\"target\":\"" + RX2 + "\"\\}";
    site.manager.osdShowSeq();
    expected << "\\{\"action\":\"numbers\"," + window + ".*\"after\":true,.*";
    QVERIFY(!site.manager.login("not the password"));
    expected << "\\{\"action\":\"sign-in\"," + window
        + ".*\"outcome\":\"not_authenticated\",\"reason\":\"wrong settings password\",\"target\":\"settings\"\\}";
    QVERIFY(site.scenes.saveScene("Morning", {}, 0));
    expected << "\\{\"action\":\"scene.save\"," + window + ".*\"target\":\"Morning\"\\}";
    const QString big = api(Actor::Role::Admin, "wall.create",
        {{"name", "Big"}, {"columns", 2}, {"rows", 1}, {"members", QJsonArray {RX1, RX2}}}).result["name"].toString();
    expected << ".*\"action\":\"wall.create\".*\"after\":\\{\"alias\":\"Big\".*\"target\":\"Big\"\\}";
    QVERIFY(list->findDevice(big, false));
    site.manager.deleteVideoWall(list->findDevice(big, false)->guid());
    expected << "\\{\"action\":\"wall.delete\"," + window + ".*\"outcome\":\"ok\",.*";

    const QStringList lines = site.auditLines(from);
    QVERIFY2(lines.size() == expected.size(), qPrintable(lines.join('\n')));
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(expected.at(i))).match(lines.at(i)).hasMatch(), qPrintable(lines.at(i)));
}

QTEST_MAIN(TstRemoteApi)
#include "tst_remote_api.moc"
