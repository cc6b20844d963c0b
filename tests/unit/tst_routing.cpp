#include "discovery/broadcast_socket.h"
#include "json_config.h"
#include "manager/routing.h"
#include "mini_video_source.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/tx_device.h"
#include "models/vw_device.h"
#include "test_home.h"
#include "test_records.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

const QString T1 = QStringLiteral("IPE3-7C2E0D00AA01");

// A decoder without an address: it never connects, and what it is told to show is
// what it remembers. What reaches real shells and encoders is the LAN test's part.
RxDevicePtr decoder(int n)
{
    auto device = RxDevicePtr::create(parsedDiscoveryRecord(QStringLiteral("IPD9-7C2E0D00000%1").arg(n)));
    device->setNameAlias(QStringLiteral("RX - %1").arg(n));
    return device;
}

} // namespace

// Selection and the video area: decoder A (plain) and B, C (the two cells of wall W).
class TestRouting : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void gridSizeFollowsSelection();
    void videoFollowsTheSelectedSource();
    void wallOnlineStatus();
    void unsafeSourceIsReported();

private:
    std::unique_ptr<TestHome> home;
    std::unique_ptr<JsonConfig> config;
    std::unique_ptr<DeviceListModel> rx, pending, tx;
    std::unique_ptr<BroadcastSocket> sockets;
    std::unique_ptr<Routing> routing;
    RxDevicePtr decoders[3];
    QSharedPointer<VWDevice> wall;
    QSharedPointer<TxDevice> encoder;
};

void TestRouting::init()
{
    home = std::make_unique<TestHome>();
    config = std::make_unique<JsonConfig>(QStringLiteral("~/.zentrova/config.json"), false);
    rx = std::make_unique<DeviceListModel>(config.get());
    pending = std::make_unique<DeviceListModel>(config.get());
    tx = std::make_unique<DeviceListModel>(config.get());
    sockets = std::make_unique<BroadcastSocket>();
    routing = std::make_unique<Routing>(DeviceLists {rx.get(), pending.get(), tx.get()}, sockets.get());
    for (int i = 0; i < 3; ++i)
        decoders[i] = decoder(i + 1);
    wall = QSharedPointer<VWDevice>::create(QStringLiteral("VW:0001:1"), QStringLiteral("W"), 2, 1, QString(),
        QStringList {decoders[1]->name(), decoders[2]->name()});
    QVERIFY(wall->bind(decoders[1]) && wall->bind(decoders[2]));
    rx->addDevice(decoders[0], -1);
    rx->addDevice(wall, -1);
    encoder = QSharedPointer<TxDevice>::create(parsedDiscoveryRecord(T1));
    tx->addDevice(encoder, -1);
}

void TestRouting::cleanup()
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
    config.reset();
    home.reset();
}

void TestRouting::gridSizeFollowsSelection()
{
    const RxDevicePtr other = decoder(4);
    rx->addDevice(other, -1);
    QSignalSpy sizes(routing.get(), &Routing::currentVwSizeChanged);
    for (const QString &name : {wall->name(), decoders[0]->name(), other->name(), QString()})
        routing->setCurrentRxDevice(name);
    QCOMPARE(sizes.count(), 2);
    QCOMPARE(sizes.at(0).at(0).toSize(), QSize(2, 1));
    QCOMPARE(sizes.at(1).at(0).toSize(), QSize(1, 1));
}

void TestRouting::videoFollowsTheSelectedSource()
{
    routing->setCurrentRxDevice(decoders[0]->name().toLower());
    routing->changeRxDeviceSource(QStringLiteral("tx:") + T1, false);
    QCOMPARE(decoders[0]->currentSource(), QString());
    routing->changeRxDeviceSource(QStringLiteral("TX:") + T1, false);
    QCOMPARE(decoders[0]->currentSource(), T1);
    QCOMPARE(decoders[1]->currentSource(), QString());
    QCOMPARE(routing->videoSource()->boundSource(), encoder->videoSource());

    // An encoder not found yet shows the placeholder, not the previous decoder's video.
    const RxDevicePtr other = decoder(4);
    other->setCurrentSource(QStringLiteral("IPE3-7C2E0D00FFFF"));
    rx->addDevice(other, -1);
    routing->setCurrentRxDevice(other->name());
    QCOMPARE(routing->videoSource()->boundSource(), nullptr);
}

void TestRouting::wallOnlineStatus()
{
    for (int pass = 0; pass < DeviceBase::OFFLINE_THRESHOLD; ++pass)
        decoders[2]->offlineCounterIncrease();
    QSignalSpy changed(routing.get(), &Routing::vwOnlineStatusChanged);
    routing->setCurrentRxDevice(wall->name());
    QCOMPARE(routing->vwOnlineStatus().size(), Routing::WALL_CELLS);
    QCOMPARE(routing->vwOnlineStatus().mid(0, 3), (QList<bool> {true, false, false}));
    QCOMPARE(changed.count(), 1);
    routing->updateVwOnlineStatus();
    QCOMPARE(changed.count(), 1);
    decoders[2]->offlineCounterReset();
    routing->updateVwOnlineStatus();
    QCOMPARE(routing->vwOnlineStatus().mid(0, 2), (QList<bool> {true, true}));
    QCOMPARE(changed.count(), 2);
}

void TestRouting::unsafeSourceIsReported()
{
    QSignalSpy errors(routing.get(), &Routing::errorOccured);
    routing->changeRxDeviceSource(QStringLiteral("TX:IPE3-7C2E0D00AA01\nreboot"), true);
    QCOMPARE(errors.count(), 1);
    QVERIFY(errors.at(0).at(0).toString().contains(QLatin1String("IPE3-7C2E0D00AA01 reboot")));
    for (const RxDevicePtr &device : decoders)
        QCOMPARE(device->currentSource(), QString());
}

QTEST_GUILESS_MAIN(TestRouting)
#include "tst_routing.moc"
