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

// Selection and the video area: wall W (decoders B and C in its cells), then decoder A.
struct Installation
{
    Installation()
    {
        for (int i = 0; i < 3; ++i)
            decoders[i] = decoder(i + 1);
        wall->bind(decoders[1]);
        wall->bind(decoders[2]);
        rx.addDevice(wall, -1);
        rx.addDevice(decoders[0], -1);
        tx.addDevice(encoder, -1);
    }

    TestHome home;
    JsonConfig config {QStringLiteral("~/.zentrova/config.json"), false};
    DeviceListModel rx {&config}, pending {&config}, tx {&config};
    BroadcastSocket sockets;
    RxDevicePtr decoders[3];
    QSharedPointer<VWDevice> wall = QSharedPointer<VWDevice>::create(QStringLiteral("VW:0001:1"), QStringLiteral("W"),
        2, 1, QString(), QStringList {QStringLiteral("IPD9-7C2E0D000002"), QStringLiteral("IPD9-7C2E0D000003")});
    QSharedPointer<TxDevice> encoder = QSharedPointer<TxDevice>::create(parsedDiscoveryRecord(T1));
    Routing routing {DeviceLists {&rx, &pending, &tx}, &sockets};
};

class TestRouting : public QObject
{
    Q_OBJECT

private slots:
    void gridSizeFollowsSelection();
    void videoFollowsTheSelectedSource();
    void wallOnlineStatus();
    void unsafeSourceIsReported();
};

void TestRouting::gridSizeFollowsSelection()
{
    Installation site;
    const RxDevicePtr other = decoder(4);
    site.rx.addDevice(other, -1);
    QSignalSpy sizes(&site.routing, &Routing::currentVwSizeChanged);
    for (const QString &name : {site.wall->name(), site.decoders[0]->name(), other->name(), QString()})
        site.routing.setCurrentRxDevice(name);
    QCOMPARE(sizes.count(), 2);
    QCOMPARE(sizes.at(0).at(0).toSize(), QSize(2, 1));
    QCOMPARE(sizes.at(1).at(0).toSize(), QSize(1, 1));
}

void TestRouting::videoFollowsTheSelectedSource()
{
    Installation site;
    site.routing.setCurrentRxDevice(site.decoders[0]->name().toLower());
    site.routing.changeRxDeviceSource(QStringLiteral("tx:") + T1, false);
    QCOMPARE(site.decoders[0]->currentSource(), QString());
    site.routing.changeRxDeviceSource(QStringLiteral("TX:") + T1, false);
    QCOMPARE(site.decoders[0]->currentSource(), T1);
    QCOMPARE(site.decoders[1]->currentSource(), QString());
    QCOMPARE(site.routing.videoSource()->boundSource(), site.encoder->videoSource());

    // An encoder not found yet shows the placeholder, not the previous decoder's video.
    const RxDevicePtr other = decoder(4);
    other->setCurrentSource(QStringLiteral("IPE3-7C2E0D00FFFF"));
    site.rx.addDevice(other, -1);
    site.routing.setCurrentRxDevice(other->name());
    QCOMPARE(site.routing.videoSource()->boundSource(), nullptr);
}

void TestRouting::wallOnlineStatus()
{
    Installation site;
    for (int pass = 0; pass < DeviceBase::OFFLINE_THRESHOLD; ++pass)
        site.decoders[2]->offlineCounterIncrease();
    QSignalSpy changed(&site.routing, &Routing::vwOnlineStatusChanged);
    site.routing.setCurrentRxDevice(site.wall->name());
    QCOMPARE(site.routing.vwOnlineStatus().mid(0, 3), (QList<bool> {true, false, false}));
    QCOMPARE(changed.count(), 1);
    site.routing.updateVwOnlineStatus();
    QCOMPARE(changed.count(), 1);
    site.decoders[2]->offlineCounterReset();
    site.routing.updateVwOnlineStatus();
    QCOMPARE(site.routing.vwOnlineStatus().mid(0, 2), (QList<bool> {true, true}));
    QCOMPARE(changed.count(), 2);
}

void TestRouting::unsafeSourceIsReported()
{
    Installation site;
    QSignalSpy errors(&site.routing, &Routing::errorOccured);
    site.routing.changeRxDeviceSource(QStringLiteral("TX:IPE3-7C2E0D00AA01\nreboot"), true);
    QCOMPARE(errors.count(), 1);
    QVERIFY(errors.at(0).at(0).toString().contains(QLatin1String("IPE3-7C2E0D00AA01 reboot")));
    for (const RxDevicePtr &device : site.decoders)
        QCOMPARE(device->currentSource(), QString());
}

QTEST_GUILESS_MAIN(TestRouting)
#include "tst_routing.moc"
