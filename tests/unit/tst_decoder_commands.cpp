#include "discovery/broadcast_socket.h"
#include "json_config.h"
#include "manager/display_control.h"
#include "manager/routing.h"
#include "mini_video_source.h"
#include "models/device_list_model.h"
#include "models/network_commands.h"
#include "models/rx_device.h"
#include "models/tx_device.h"
#include "models/vw_device.h"
#include "scripted_shell_peer.h"
#include "test_home.h"
#include "test_records.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr int WAIT_MS = 10000;
const QString T1 = QStringLiteral("IPE3-7C2E0D00AA01");
const QString T2 = QStringLiteral("IPE3-7C2E0D00AA02");

QByteArray switchLine(const QString &source)
{
    return TelnetSwitchSourceCommand(source).bytes().trimmed();
}

} // namespace

// What routing, display power and numbering send to the decoders. Decoders A (plain) and
// B, C (the two cells of wall W) each run against a shell of their own on loopback, so the
// tests read what every decoder's shell was sent.
class TestDecoderCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void routes_data();
    void routes();
    void gridSizeFollowsSelection();
    void unknownSourceShowsPlaceholder();
    void wallOnlineStatus();
    void unsafeSourceIsReported();
    void displayCommands_data();
    void displayCommands();

private:
    RxDevicePtr decoder(int n, ScriptedShellPeer *peer);
    QList<int> commandCounts() const;
    // Each shell got exactly its line (or nothing) since the counts were taken.
    void compareReceived(const QList<int> &before, const QList<QByteArray> &received);

    std::unique_ptr<TestHome> home;
    std::unique_ptr<JsonConfig> config;
    std::unique_ptr<DeviceListModel> rx, pending, tx;
    std::unique_ptr<BroadcastSocket> sockets;
    std::unique_ptr<Routing> routing;
    ScriptedShellPeer peers[3];
    RxDevicePtr decoders[3];
    QSharedPointer<VWDevice> wall;
    QSharedPointer<TxDevice> encoder;
};

void TestDecoderCommands::initTestCase()
{
    home = std::make_unique<TestHome>();
    config = std::make_unique<JsonConfig>(QStringLiteral("~/.zentrova/config.json"), false);
}

RxDevicePtr TestDecoderCommands::decoder(int n, ScriptedShellPeer *peer)
{
    const QString name = QStringLiteral("IPD9-7C2E0D00000%1").arg(n);
    auto device = RxDevicePtr::create(
        parsedDiscoveryRecord(name, QString(), peer ? QHostAddress(QHostAddress::LocalHost) : QHostAddress()), nullptr,
        peer ? peer->port() : 24);
    device->setNameAlias(QStringLiteral("RX - %1").arg(n));
    return device;
}

QList<int> TestDecoderCommands::commandCounts() const
{
    QList<int> counts;
    for (const ScriptedShellPeer &peer : peers)
        counts << peer.commands().size();
    return counts;
}

void TestDecoderCommands::compareReceived(const QList<int> &before, const QList<QByteArray> &received)
{
    for (int i = 0; i < 3; ++i) {
        if (!received.at(i).isEmpty())
            QTRY_COMPARE_WITH_TIMEOUT(
                peers[i].commands().mid(before.at(i)), QList<QByteArray> {received.at(i)}, WAIT_MS);
    }
    QTest::qWait(100);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(peers[i].commands().size(), before.at(i) + (received.at(i).isEmpty() ? 0 : 1));
}

void TestDecoderCommands::init()
{
    rx = std::make_unique<DeviceListModel>(config.get());
    pending = std::make_unique<DeviceListModel>(config.get());
    tx = std::make_unique<DeviceListModel>(config.get());
    sockets = std::make_unique<BroadcastSocket>();
    routing = std::make_unique<Routing>(DeviceLists {rx.get(), pending.get(), tx.get()}, sockets.get());
    for (int i = 0; i < 3; ++i)
        decoders[i] = decoder(i + 1, &peers[i]);
    wall = QSharedPointer<VWDevice>::create(QStringLiteral("VW:0001:1"), QStringLiteral("W"), 2, 1, QString(),
        QStringList {decoders[1]->name(), decoders[2]->name()});
    QVERIFY(wall->bind(decoders[1]) && wall->bind(decoders[2]));
    rx->addDevice(decoders[0], -1);
    rx->addDevice(wall, -1);
    encoder = QSharedPointer<TxDevice>::create(parsedDiscoveryRecord(T1));
    tx->addDevice(encoder, -1);
    for (int i = 0; i < 3; ++i) {
        QVERIFY(QTest::qWaitFor(
            [&] { return decoders[i]->state() == RxDevice::Ready && decoders[i]->pendingCommandCount() == 0; },
            WAIT_MS));
    }
}

void TestDecoderCommands::cleanup()
{
    routing.reset();
    wall.reset();
    encoder.reset();
    for (RxDevicePtr &device : decoders)
        device.reset();
    rx.reset();
    pending.reset();
    tx.reset();
    sockets.reset();
}

void TestDecoderCommands::routes_data()
{
    QTest::addColumn<QString>("selection");
    QTest::addColumn<QString>("tx");
    QTest::addColumn<bool>("toAll");
    // What each of A, B, C receives; empty: nothing.
    QTest::addColumn<QList<QByteArray>>("received");
    QTest::addColumn<bool>("showsT1");

    const QByteArray none;
    QTest::newRow("one decoder") << "IPD9-7C2E0D000001"
                                 << "TX:" + T1 << false << QList<QByteArray> {switchLine(T1), none, none} << true;
    QTest::newRow("selection in other letter case")
        << "ipd9-7c2e0d000001"
        << "TX:" + T1 << false << QList<QByteArray> {switchLine(T1), none, none} << true;
    QTest::newRow("wall") << "VW:0001:1"
                          << "TX:" + T1 << false << QList<QByteArray> {none, switchLine(T1), switchLine(T1)} << true;
    QTest::newRow("no source to the wall")
        << "VW:0001:1"
        << "TX:" << false << QList<QByteArray> {none, switchLine(""), switchLine("")} << false;
    QTest::newRow("all screens without a selection")
        << ""
        << "TX:" + T2 << true << QList<QByteArray> {switchLine(T2), switchLine(T2), switchLine(T2)} << false;
    QTest::newRow("lower-case prefix") << "IPD9-7C2E0D000001"
                                       << "tx:" + T1 << false << QList<QByteArray> {none, none, none} << false;
}

void TestDecoderCommands::routes()
{
    QFETCH(QString, selection);
    QFETCH(QString, tx);
    QFETCH(bool, toAll);
    QFETCH(QList<QByteArray>, received);
    QFETCH(bool, showsT1);

    routing->setCurrentRxDevice(selection);
    const QList<int> before = commandCounts();
    routing->changeRxDeviceSource(tx, toAll);
    compareReceived(before, received);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(routing->videoSource()->boundSource(), showsT1 ? encoder->videoSource() : nullptr);
}

void TestDecoderCommands::gridSizeFollowsSelection()
{
    const RxDevicePtr other = decoder(4, nullptr);
    rx->addDevice(other, -1);
    QSignalSpy sizes(routing.get(), &Routing::currentVwSizeChanged);
    for (const QString &name : {wall->name(), decoders[0]->name(), other->name(), QString()})
        routing->setCurrentRxDevice(name);
    QCOMPARE(sizes.count(), 2);
    QCOMPARE(sizes.at(0).at(0).toSize(), QSize(2, 1));
    QCOMPARE(sizes.at(1).at(0).toSize(), QSize(1, 1));
}

void TestDecoderCommands::unknownSourceShowsPlaceholder()
{
    decoders[0]->setCurrentSource(T1);
    const RxDevicePtr other = decoder(4, nullptr);
    other->setCurrentSource(QStringLiteral("IPE3-7C2E0D00FFFF"));
    rx->addDevice(other, -1);
    routing->setCurrentRxDevice(decoders[0]->name());
    QCOMPARE(routing->videoSource()->boundSource(), encoder->videoSource());
    routing->setCurrentRxDevice(other->name());
    QCOMPARE(routing->videoSource()->boundSource(), nullptr);
}

void TestDecoderCommands::wallOnlineStatus()
{
    for (int pass = 0; pass < DeviceBase::OFFLINE_THRESHOLD; ++pass)
        decoders[2]->offlineCounterIncrease();
    QSignalSpy changed(routing.get(), &Routing::vwOnlineStatusChanged);
    routing->setCurrentRxDevice(wall->name());
    QList<bool> expected = routing->vwOnlineStatus();
    QCOMPARE(expected.size(), Routing::WALL_CELLS);
    QCOMPARE(expected.mid(0, 3), (QList<bool> {true, false, false}));
    QCOMPARE(changed.count(), 1);
    routing->updateVwOnlineStatus();
    QCOMPARE(changed.count(), 1);
    decoders[2]->offlineCounterReset();
    routing->updateVwOnlineStatus();
    QCOMPARE(routing->vwOnlineStatus().mid(0, 2), (QList<bool> {true, true}));
    QCOMPARE(changed.count(), 2);
}

void TestDecoderCommands::unsafeSourceIsReported()
{
    QSignalSpy errors(routing.get(), &Routing::errorOccured);
    routing->setCurrentRxDevice(wall->name());
    const QList<int> before = commandCounts();
    routing->changeRxDeviceSource(QStringLiteral("TX:IPE3-7C2E0D00AA01\nreboot"), true);
    QCOMPARE(errors.count(), 1);
    QVERIFY(errors.at(0).at(0).toString().contains(QLatin1String("IPE3-7C2E0D00AA01 reboot")));
    QCOMPARE(wall->currentSource(), QString());
    QTest::qWait(300);
    QCOMPARE(commandCounts(), before);
}

void TestDecoderCommands::displayCommands_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QList<QByteArray>>("received");

    const QByteArray none;
    const QByteArray on = TelnetDisplayOn().bytes().trimmed();
    const QByteArray cec = TelnetCecCustomCommand(QStringLiteral("40 04")).bytes().trimmed();
    const QByteArray hide = TelnetOsdShow(-1).bytes().trimmed();
    QTest::newRow("built-in power on") << "on" << QList<QByteArray> {on, on, on};
    QTest::newRow("saved power on") << "custom on" << QList<QByteArray> {cec, cec, cec};
    // Numbers help placing plain decoders; wall members keep their picture.
    QTest::newRow("numbers shown") << "show" << QList<QByteArray> {TelnetOsdShow(7).bytes().trimmed(), none, none};
    QTest::newRow("numbers hidden") << "hide" << QList<QByteArray> {hide, hide, hide};
}

void TestDecoderCommands::displayCommands()
{
    QFETCH(QString, action);
    QFETCH(QList<QByteArray>, received);

    decoders[0]->setSeq(7);
    DisplayControl display(rx.get());
    const QList<int> before = commandCounts();
    if (action == QLatin1String("custom on"))
        display.setPowerOnCommand(QStringLiteral("40 04"));
    if (action.endsWith(QLatin1String("on")))
        display.switchMonitor(true);
    else if (action == QLatin1String("show"))
        display.osdShowSeq();
    else
        display.osdHideSeq();
    compareReceived(before, received);
}

QTEST_GUILESS_MAIN(TestDecoderCommands)
#include "tst_decoder_commands.moc"
