#include "log_capture.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "scripted_shell_peer.h"
#include "test_records.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>
#include <optional>

using DeviceAction = std::function<void(RxDevice &)>;
Q_DECLARE_METATYPE(DeviceAction)

namespace {

const QString NAME = QStringLiteral("IPD9DEMO-7C2E0DFE0001");
const QByteArray QUERY_SOURCE = "gbparam g source_select";
const QByteArray QUERY_PLACE = "gbparam g crop_param";
constexpr int WAIT_MS = 10000;

std::unique_ptr<RxDevice> decoderAt(const ScriptedShellPeer &peer)
{
    return std::make_unique<RxDevice>(
        parsedDiscoveryRecord(NAME, QString(), QHostAddress::LocalHost), nullptr, peer.port());
}

QTimer *timerOf(RxDevice &device, const char *name)
{
    return device.findChild<QTimer *>(QString::fromLatin1(name));
}

// The decoder answers both start-up queries and is idle at its prompt.
bool reachesReady(RxDevice &device)
{
    return QTest::qWaitFor(
        [&] { return device.state() == RxDevice::Ready && device.pendingCommandCount() == 0; }, WAIT_MS);
}

} // namespace

class TestRxDevice : public QObject
{
    Q_OBJECT

private slots:
    void fetchesDeviceInformation_data();
    void fetchesDeviceInformation();
    void survivesAReceiverDroppingIt();
    void operationsOnTheWire_data();
    void operationsOnTheWire();
    void queueKeepsTheNewestOfEachKind();
    void brokenLinkResendsRunningCommand_data();
    void brokenLinkResendsRunningCommand();
    void withoutAddressNeverConnects();
    void unfinishedCommandIsGivenUp();
    void idleTextIsLoggedOnce();
};

void TestRxDevice::fetchesDeviceInformation_data()
{
    QTest::addColumn<bool>("login");
    QTest::addColumn<int>("pieceSize");
    QTest::addColumn<QByteArray>("sourceAnswer");
    QTest::addColumn<QByteArray>("placeAnswer");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QSize>("wallSize");
    QTest::addColumn<QPoint>("place");

    QTest::newRow("prompt at once") << false << 0 << QByteArray("IPE3x-7c2e0d00aa01\r\n") << QByteArray("1:1:0:1\r\n")
                                    << "IPE3x-7c2e0d00aa01" << QSize(2, 2) << QPoint(1, 0);
    QTest::newRow("login first") << true << 0 << QByteArray("IPE3x-7c2e0d00aa01\r\n") << QByteArray("0:0:0:0\r\n")
                                 << "IPE3x-7c2e0d00aa01" << QSize(1, 1) << QPoint(0, 0);
    QTest::newRow("no source") << false << 0 << QByteArray("NULL\r\n") << QByteArray("0:0:0:0\r\n") << "" << QSize(1, 1)
                               << QPoint(0, 0);
    QTest::newRow("answers in small pieces")
        << false << 3 << QByteArray("IPE3x-7c2e0d00aa01\r\n") << QByteArray("2:3:1:2\r\n") << "IPE3x-7c2e0d00aa01"
        << QSize(4, 3) << QPoint(2, 1);
    // A prompt inside the output does not end the command; only the closing one does.
    QTest::newRow("prompt text inside output") << false << 0 << QByteArray("a/ # b\r\n") << QByteArray("0:1:0:1\r\n")
                                               << "a/ # b" << QSize(2, 1) << QPoint(1, 0);
    QTest::newRow("extents out of range")
        << false << 0 << QByteArray("NULL\r\n") << QByteArray("8:11:3:4\r\n") << "" << QSize(1, 1) << QPoint(4, 3);
    QTest::newRow("unreadable geometry") << false << 0 << QByteArray("NULL\r\n") << QByteArray("sh: not found\r\n")
                                         << "" << QSize(0, 0) << QPoint(0, 0);
}

void TestRxDevice::fetchesDeviceInformation()
{
    QFETCH(bool, login);
    QFETCH(int, pieceSize);
    QFETCH(QByteArray, sourceAnswer);
    QFETCH(QByteArray, placeAnswer);
    QFETCH(QString, source);
    QFETCH(QSize, wallSize);
    QFETCH(QPoint, place);

    ScriptedShellPeer peer;
    peer.setAskForLogin(login);
    peer.setPieceSize(pieceSize);
    peer.setAnswer(QUERY_SOURCE, sourceAnswer);
    peer.setAnswer(QUERY_PLACE, placeAnswer);
    auto device = decoderAt(peer);
    QSignalSpy fetched(device.get(), &RxDevice::deviceInfoFetched);

    QTRY_COMPARE_WITH_TIMEOUT(fetched.count(), 1, WAIT_MS);
    QCOMPARE(fetched.at(0).at(0).value<RxDevice *>(), device.get());
    QCOMPARE(device->currentSource(), source);
    QCOMPARE(device->vwInfo().size(), wallSize);
    QCOMPARE(QPoint(device->vwInfo().column, device->vwInfo().row), place);
    QVERIFY(reachesReady(*device));
    QCOMPARE(peer.commands(), (QList<QByteArray> {QUERY_SOURCE, QUERY_PLACE}));
    QCOMPARE(peer.logins(), login ? QList<QByteArray> {"root"} : QList<QByteArray>());
    QCOMPARE(peer.connectionCount(), 1);
}

// A decoder that no wall accepts is dropped from the pending list as soon as its
// information arrives, and that list held the only reference to it.
void TestRxDevice::survivesAReceiverDroppingIt()
{
    ScriptedShellPeer peer;
    peer.setAnswer(QUERY_PLACE, "0:0:0:0\r\n");
    DeviceListModel pending(nullptr);
    QPointer<RxDevice> watched;
    // Whatever the device still does once it has been dropped shows in its log.
    std::optional<LogCapture> afterDrop;
    {
        const auto device = QSharedPointer<RxDevice>::create(
            parsedDiscoveryRecord(NAME, QString(), QHostAddress::LocalHost), nullptr, peer.port());
        watched = device.data();
        pending.addDevice(device, -1);
        connect(device.data(), &RxDevice::deviceInfoFetched, &pending, [&](RxDevice *fetched) {
            pending.removeDevice(fetched->name());
            afterDrop.emplace(QtDebugMsg);
        });
    }
    QTRY_COMPARE_WITH_TIMEOUT(pending.rowCount(), 0, WAIT_MS);
    QVERIFY(!watched);
    QVERIFY(peer.waitForDisconnected());
    QCOMPARE(afterDrop->matching(QStringLiteral("Changed state")), QStringList());
}

void TestRxDevice::operationsOnTheWire_data()
{
    QTest::addColumn<DeviceAction>("action");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QString>("source");

    const QString before = QStringLiteral("IPE3x-7c2e0d00aa01");
    QTest::newRow("switch source") << DeviceAction([](RxDevice &d) {
        d.setSource(QStringLiteral("IPE1-00aabbccddee"));
    }) << QList<QByteArray> {"gbconfig --source-select=IPE1-00aabbccddee;e e_reconnect"}
                                   << "IPE1-00aabbccddee";
    QTest::newRow("no source") << DeviceAction([](RxDevice &d) { d.setSource(QString()); })
                               << QList<QByteArray> {"gbconfig --source-select=NULL;e e_reconnect"} << "";
    QTest::newRow("command separator in name is quoted")
        << DeviceAction([](RxDevice &d) { d.setSource(QStringLiteral("IPE1-00aabbccddee;reboot")); })
        << QList<QByteArray> {"gbconfig --source-select='IPE1-00aabbccddee;reboot';e e_reconnect"}
        << "IPE1-00aabbccddee;reboot";
    QTest::newRow("line end in name") << DeviceAction([](RxDevice &d) {
        d.setSource(QStringLiteral("IPE1-00aabbccddee\r\nreboot"));
    }) << QList<QByteArray>() << before;
    QTest::newRow("displays on and off") << DeviceAction([](RxDevice &d) {
        d.setDisplayPower(true, QString());
        d.setDisplayPower(false, QString());
    }) << QList<QByteArray> {"e e_cec_one_touch_play", "e e_cec_system_standby"}
                                         << before;
    QTest::newRow("custom power command wins")
        << DeviceAction([](RxDevice &d) { d.setDisplayPower(false, QStringLiteral("40 04")); })
        << QList<QByteArray> {"cec -s  \"40 04\""} << before;
    QTest::newRow("custom command with a line end")
        << DeviceAction([](RxDevice &d) { d.setDisplayPower(true, QStringLiteral("40\r\nreboot")); })
        << QList<QByteArray>() << before;
    QTest::newRow("wall place and back") << DeviceAction([](RxDevice &d) {
        d.configVw(2, 3, 1, 2);
        d.resetVw();
    }) << QList<QByteArray> {"e e_vw_enable_1_2_1_2;e e_reconnect", "e e_vw_enable_0_0_0_0;e e_reconnect"}
                                         << before;
}

void TestRxDevice::operationsOnTheWire()
{
    QFETCH(DeviceAction, action);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QString, source);

    ScriptedShellPeer peer;
    peer.setAnswer(QUERY_SOURCE, "IPE3x-7c2e0d00aa01\r\n");
    auto device = decoderAt(peer);
    QVERIFY(reachesReady(*device));

    LogCapture warnings(QtWarningMsg);
    action(*device);
    // A marker after the action shows that nothing else was sent in between.
    device->hideOsd();
    QVERIFY(reachesReady(*device));
    const QList<QByteArray> sent = peer.commands().mid(2);
    QCOMPARE(sent, lines + QList<QByteArray> {"osd_show -c 1"});
    QCOMPARE(device->currentSource(), source);
    QCOMPARE(warnings.messages().size(), lines.isEmpty() ? 1 : 0);
}

// Commands given while the decoder cannot be reached: the newest of each kind is sent,
// in the order the latest ones were given.
void TestRxDevice::queueKeepsTheNewestOfEachKind()
{
    ScriptedShellPeer peer;
    peer.setHoldPrompt(true);
    auto device = decoderAt(peer);
    QTRY_VERIFY_WITH_TIMEOUT(peer.client(), WAIT_MS);

    device->setSource(QStringLiteral("IPE1-00aabbccdd01"));
    device->setDisplayPower(true, QString());
    device->setSource(QStringLiteral("IPE1-00aabbccdd02"));
    device->setDisplayPower(false, QString());
    for (int number = 1; number <= 12; ++number) {
        device->setSeq(number);
        device->showOsdSeq();
    }
    device->configVw(2, 2, 0, 1);
    device->resetVw();
    device->setDisplayPower(true, QString());

    peer.releasePrompt();
    QVERIFY(reachesReady(*device));
    QCOMPARE(peer.commands(),
        (QList<QByteArray> {QUERY_SOURCE, QUERY_PLACE, "gbconfig --source-select=IPE1-00aabbccdd02;e e_reconnect",
            "e e_cec_system_standby", "osd_show -o 1 -s \"12\" -f 800 -p 3700,2500",
            "e e_vw_enable_0_0_0_0;e e_reconnect", "e e_cec_one_touch_play"}));
}

void TestRxDevice::brokenLinkResendsRunningCommand_data()
{
    QTest::addColumn<bool>("peerDrops");
    QTest::newRow("peer closes the link") << true;
    QTest::newRow("peer never answers") << false;
}

void TestRxDevice::brokenLinkResendsRunningCommand()
{
    QFETCH(bool, peerDrops);

    ScriptedShellPeer peer;
    // Each new link has to log in again.
    peer.setAskForLogin(true);
    peer.setSilentFor("osd_show");
    auto device = decoderAt(peer);
    QVERIFY(reachesReady(*device));

    QTimer *responseTimer = timerOf(*device, "responseTimer");
    QTimer *reconnectTimer = timerOf(*device, "reconnectTimer");
    QVERIFY(responseTimer && reconnectTimer);
    QCOMPARE(responseTimer->interval(), RxDevice::RESPONSE_TIMEOUT_MS);
    QVERIFY(responseTimer->isSingleShot());
    QCOMPARE(reconnectTimer->interval(), RxDevice::RECONNECT_DELAY_MS);
    QVERIFY(reconnectTimer->isSingleShot());

    if (!peerDrops)
        device->setResponseTimeout(300);
    LogCapture warnings(QtWarningMsg);
    QSignalSpy received(&peer, &ScriptedShellPeer::commandReceived);
    device->hideOsd();
    QVERIFY(received.wait(WAIT_MS));
    QCOMPARE(device->state(), RxDevice::CmdRunning);
    // The running command is no longer a candidate for replacement; the one behind it is.
    device->hideOsd();
    device->showOsdSeq();
    QCOMPARE(device->pendingCommandCount(), 2);
    QVERIFY(responseTimer->isActive());
    if (peerDrops)
        peer.dropConnection();

    QTRY_COMPARE_WITH_TIMEOUT(device->state(), RxDevice::ErrorWaiting, WAIT_MS);
    QVERIFY(reconnectTimer->isActive());
    QVERIFY(!responseTimer->isActive());
    QCOMPARE(warnings.matching(QStringLiteral("got network error")).size(), 1);
    QCOMPARE(device->pendingCommandCount(), 2);
    if (!peerDrops)
        QTRY_COMPARE_WITH_TIMEOUT(peer.closedByClient(), 1, WAIT_MS);

    // What the reconnect timer would do 10 s later.
    peer.setSilentFor(QByteArray());
    QVERIFY(QMetaObject::invokeMethod(device.get(), "doReconnect"));
    QVERIFY(reachesReady(*device));
    QCOMPARE(peer.connectionCount(), 2);
    QCOMPARE(peer.logins(), (QList<QByteArray> {"root", "root"}));
    QCOMPARE(peer.commands().mid(2),
        (QList<QByteArray> {"osd_show -c 1", "osd_show -c 1", "osd_show -o 1 -s \"0\" -f 800 -p 4300,2500"}));
}

void TestRxDevice::withoutAddressNeverConnects()
{
    RxDevice device(parsedDiscoveryRecord(NAME));
    QCOMPARE(device.state(), RxDevice::Failed);
    QCOMPARE(device.pendingCommandCount(), 2);
    device.setSource(QStringLiteral("IPE1-00aabbccddee"));
    device.showOsdSeq();
    device.configVw(2, 2, 0, 1);
    QCOMPARE(device.pendingCommandCount(), 2);
    // Demo decoders are such devices; their geometry is set without a command.
    device.setDemoVwInfo(VwInfo::standAlone());
    QVERIFY(device.vwInfo().isStandAlone());
    QVERIFY(QMetaObject::invokeMethod(&device, "doReconnect"));
    QCOMPARE(device.state(), RxDevice::Failed);
    QVERIFY(!timerOf(device, "reconnectTimer")->isActive());
}

void TestRxDevice::unfinishedCommandIsGivenUp()
{
    ScriptedShellPeer peer;
    peer.setSilentFor("osd_show");
    auto device = decoderAt(peer);
    QVERIFY(reachesReady(*device));
    device->setResponseTimeout(200);

    LogCapture warnings(QtWarningMsg);
    device->hideOsd();
    device->setDisplayPower(true, QString());
    for (int attempt = 1; attempt <= RxDevice::COMMAND_ATTEMPTS; ++attempt) {
        QTRY_COMPARE_WITH_TIMEOUT(device->state(), RxDevice::ErrorWaiting, WAIT_MS);
        // What the reconnect timer would do 10 s later.
        QVERIFY(QMetaObject::invokeMethod(device.get(), "doReconnect"));
    }
    QVERIFY(reachesReady(*device));
    const QByteArray hide = "osd_show -c 1";
    QCOMPARE(peer.commands().mid(2), (QList<QByteArray> {hide, hide, hide, "e e_cec_one_touch_play"}));
    QCOMPARE(warnings.matching(QStringLiteral("gives up on command osd_show -c 1")).size(), 1);
}

void TestRxDevice::idleTextIsLoggedOnce()
{
    ScriptedShellPeer peer;
    auto device = decoderAt(peer);
    QVERIFY(reachesReady(*device));

    LogCapture notes(QtDebugMsg);
    const QStringList markers {"<idle a>", "<idle b>", "<idle c>", "<idle d>", "<idle e>"};
    for (const QString &marker : markers) {
        peer.send(marker.toLatin1());
        QTRY_VERIFY_WITH_TIMEOUT(!notes.matching(marker).isEmpty(), WAIT_MS);
    }
    for (const QString &marker : markers)
        QCOMPARE(notes.matching(marker).size(), 1);
}

QTEST_GUILESS_MAIN(TestRxDevice)
#include "tst_rx_device.moc"
