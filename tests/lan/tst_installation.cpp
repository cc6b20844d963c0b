// The whole controller against a simulated installation on the test LAN. Each CTest entry
// runs one or more of these functions through simulated-installation.sh inside the
// controller's namespace; $SIM_INSTALLATION lists the devices, and every decoder keeps
// what it was told in the files of its folder, where the tests read it back.
#include "manager/device_manager.h"
#include "mini_video_source.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/tx_device.h"
#include "models/vw_device.h"
#include "oem_setting.h"
#include "test_home.h"

#include <QAbstractVideoSurface>
#include <QDir>
#include <QDirIterator>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

constexpr int WAIT_MS = 20000;
// Short stand-ins for the decoders' 10 s reconnect and the encoders' 5 s preview retry.
constexpr int SHORT_RETRY_MS = 300;

struct SimDevice
{
    QString kind;
    QString folder;
    QString name;
};

QString fileText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    const QString text = QString::fromUtf8(file.readAll());
    return text.endsWith(QLatin1Char('\n')) ? text.chopped(1) : text;
}

bool switchFault(const SimDevice &device, const QString &fault, bool on, const QByteArray &content = QByteArray())
{
    QFile file(device.folder + QLatin1Char('/') + fault);
    if (!on)
        return file.remove();
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QStringList namesOf(const QList<SimDevice> &devices)
{
    QStringList names;
    for (const SimDevice &device : devices)
        names << device.name;
    return names;
}

QStringList rowNames(const DeviceListModel *list)
{
    QStringList names;
    for (int row = 0; row < list->rowCount(); ++row)
        names << list->at(row)->name();
    return names;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QSharedPointer<VWDevice> firstWall(const DeviceManager &manager)
{
    for (int row = 0; row < manager.rxlist()->rowCount(); ++row) {
        if (const auto wall = qSharedPointerObjectCast<VWDevice>(manager.rxlist()->at(row)))
            return wall;
    }
    return nullptr;
}

// What a view does with a video source: it hands over a surface, which makes the preview
// decode, and takes the frames.
class ViewSurface : public QAbstractVideoSurface
{
public:
    QList<QVideoFrame::PixelFormat> supportedPixelFormats(QAbstractVideoBuffer::HandleType type) const override
    {
        if (type != QAbstractVideoBuffer::NoHandle)
            return {};
        return {QVideoFrame::Format_RGB32, QVideoFrame::Format_ARGB32, QVideoFrame::Format_ARGB32_Premultiplied};
    }
    bool present(const QVideoFrame &) override { return true; }
};

// One run of the controller: what start-up makes, in the test's home.
struct Controller
{
    OemSetting oem;
    DeviceManager manager {&oem};
};

} // namespace

class TestInstallation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void discoversMixedInstallation();
    void routesToDecoderWallAndAll();
    void createsAndDeletesWall();
    void displayPowerAndNumbers();
    void droppedConnectionRunsCommandAgain();
    void silentDeviceGoesOfflineAndBack();
    void previewRecovers_data();
    void previewRecovers();
    void garbageAnswerIsSurvived();
    void hostileRepliesCreateNothingHarmful();
    void restartKeepsNamesOrderAndWalls();

private:
    // Runs one discovery pass and waits until every encoder and decoder of the
    // installation is listed, the decoders with their information fetched.
    bool discover(DeviceManager &manager) const;
    // One more pass; true once every device but `silent` has answered it.
    bool pass(DeviceManager &manager, const QString &silent = QString()) const;
    // What every decoder was told last, in installation order.
    QStringList decoderStates(const QString &key) const;
    // The same text once for every decoder.
    QStringList everyDecoder(const QString &text) const;
    static DeviceBasePtr device(const DeviceManager &manager, const QString &name);
    static RxDevice *decoder(const DeviceManager &manager, const SimDevice &device);

    QList<SimDevice> devices;
    QList<SimDevice> encoders;
    QList<SimDevice> decoders;
    std::unique_ptr<TestHome> home;
};

void TestInstallation::initTestCase()
{
    // One device a line: kind, address, folder, and the name as the rest of the line.
    QFile file(qEnvironmentVariable("SIM_INSTALLATION"));
    QVERIFY2(file.open(QIODevice::ReadOnly), "run this inside simulated-installation.sh");
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QLatin1Char(' '));
        const SimDevice device {fields.at(0), fields.at(2), fields.mid(3).join(QLatin1Char(' '))};
        devices << device;
        if (device.kind == QLatin1String("encoder"))
            encoders << device;
        else if (device.kind == QLatin1String("decoder"))
            decoders << device;
    }
    home = std::make_unique<TestHome>();
}

QStringList TestInstallation::decoderStates(const QString &key) const
{
    QStringList states;
    for (const SimDevice &simulated : decoders)
        states << fileText(simulated.folder + QLatin1Char('/') + key);
    return states;
}

QStringList TestInstallation::everyDecoder(const QString &text) const
{
    QStringList texts;
    for (int i = 0; i < decoders.size(); ++i)
        texts << text;
    return texts;
}

DeviceBasePtr TestInstallation::device(const DeviceManager &manager, const QString &name)
{
    for (const DeviceListModel *list : {manager.txlist(), manager.rxlist(), manager.pendingRxList()}) {
        if (const DeviceBasePtr found = list->findDevice(name, true))
            return found;
    }
    return nullptr;
}

RxDevice *TestInstallation::decoder(const DeviceManager &manager, const SimDevice &device)
{
    return qobject_cast<RxDevice *>(TestInstallation::device(manager, device.name).data());
}

bool TestInstallation::discover(DeviceManager &manager) const
{
    manager.startDiscovery(true);
    return QTest::qWaitFor(
        [&] {
            for (const SimDevice &encoder : encoders) {
                if (!manager.txlist()->findDevice(encoder.name, false))
                    return false;
            }
            for (const SimDevice &decoder : decoders) {
                if (!manager.rxlist()->findDevice(decoder.name, true))
                    return false;
            }
            return true;
        },
        WAIT_MS);
}

bool TestInstallation::pass(DeviceManager &manager, const QString &silent) const
{
    manager.sendDiscoveryMessage();
    return QTest::qWaitFor(
        [&] {
            for (const SimDevice &simulated : devices) {
                const DeviceBasePtr listed = device(manager, simulated.name);
                if (simulated.name != silent && listed && listed->offlineCounter() != 0)
                    return false;
            }
            return true;
        },
        WAIT_MS);
}

// 4 encoders and 6 decoders, the first 4 of which form a 2 x 2 wall in their own settings.
void TestInstallation::discoversMixedInstallation()
{
    Controller controller;
    DeviceManager &manager = controller.manager;
    QVERIFY(discover(manager));

    QCOMPARE(sorted(rowNames(manager.txlist())), sorted(namesOf(encoders)));
    QStringList encoderAliases;
    for (int row = 0; row < manager.txlist()->rowCount(); ++row)
        encoderAliases << manager.txlist()->at(row)->nameAlias();
    QCOMPARE(sorted(encoderAliases), (QStringList {"TX - 1", "TX - 2", "TX - 3", "TX - 4"}));

    // The wall the decoders reported, named automatically, each decoder in its own cell.
    const QSharedPointer<VWDevice> wall = firstWall(manager);
    QVERIFY(wall);
    QCOMPARE(wall->nameAlias(), QStringLiteral("2 x 2 - 1"));
    QCOMPARE(wall->size(), QSize(2, 2));
    QCOMPARE(wall->cellNames(), namesOf(decoders.mid(0, 4)));
    QCOMPARE(sorted(rowNames(manager.rxlist())),
        sorted(QStringList {wall->name(), decoders.at(4).name, decoders.at(5).name}));
    QCOMPARE(manager.deviceFound(), 10);

    // Every decoder a display name and a sequence number of its own, numbered from one.
    QStringList decoderAliases;
    QList<int> numbers;
    for (const SimDevice &simulated : decoders) {
        RxDevice *listed = decoder(manager, simulated);
        QVERIFY(listed && listed->online());
        decoderAliases << listed->nameAlias();
        numbers << listed->seq();
    }
    QCOMPARE(sorted(decoderAliases), (QStringList {"RX - 1", "RX - 2", "RX - 3", "RX - 4", "RX - 5", "RX - 6"}));
    std::sort(numbers.begin(), numbers.end());
    QCOMPARE(numbers, (QList<int> {1, 2, 3, 4, 5, 6}));
}

// The same installation: a wall, one decoder, all screens, read back from the decoders.
void TestInstallation::routesToDecoderWallAndAll()
{
    Controller controller;
    DeviceManager &manager = controller.manager;
    QVERIFY(discover(manager));
    const QString first = encoders.at(0).name;
    const QString second = encoders.at(1).name;

    manager.setCurrentRxDevice(firstWall(manager)->name());
    manager.changeRxDeviceSource(QStringLiteral("TX:") + second, false);
    const QStringList nothing = everyDecoder(QStringLiteral("NULL"));
    QTRY_COMPARE_WITH_TIMEOUT(
        decoderStates(QStringLiteral("source_select")), everyDecoder(second).mid(0, 4) + nothing.mid(4), WAIT_MS);
    // The wall command, byte for byte, at every encoder on both ports: the first command of
    // this run, for the wall's decoders in cell order.
    const QString datagram = QStringLiteral(
        "msg_b_reconnect IPE1SIM-7c2e0d00e002:1:4 IPD1SIM-7c2e0d00d001 IPD1SIM-7c2e0d00d002 IPD1SIM-7c2e0d00d003 "
        "IPD1SIM-7c2e0d00d004");
    for (const SimDevice &encoder : encoders) {
        for (const char *port : {"5010", "5011"}) {
            const QString line = QStringLiteral("command on %1 from 192.0.2.1: ").arg(QLatin1String(port)) + datagram;
            QTRY_VERIFY2_WITH_TIMEOUT(
                fileText(encoder.folder + QStringLiteral("/log.txt")).split(QLatin1Char('\n')).contains(line),
                qPrintable(line), WAIT_MS);
        }
    }

    manager.setCurrentRxDevice(decoders.at(4).name);
    manager.changeRxDeviceSource(QStringLiteral("TX:") + first, false);
    const QStringList wallAndOne = everyDecoder(second).mid(0, 4) + QStringList {first, QStringLiteral("NULL")};
    QTRY_COMPARE_WITH_TIMEOUT(decoderStates(QStringLiteral("source_select")), wallAndOne, WAIT_MS);
    const auto shown = qSharedPointerObjectCast<TxDevice>(manager.txlist()->findDevice(first, false));
    QCOMPARE(manager.rxsource()->boundSource(), shown->videoSource());

    manager.changeRxDeviceSource(QStringLiteral("TX:") + encoders.at(2).name, true);
    QTRY_COMPARE_WITH_TIMEOUT(
        decoderStates(QStringLiteral("source_select")), everyDecoder(encoders.at(2).name), WAIT_MS);
}

// 6 stand-alone decoders.
void TestInstallation::createsAndDeletesWall()
{
    Controller controller;
    DeviceManager &manager = controller.manager;
    QVERIFY(discover(manager));
    QStringList cells;
    QStringList places;
    for (int i = 0; i < decoders.size(); ++i) {
        cells << QString::number(decoder(manager, decoders.at(i))->seq());
        places << QStringLiteral("1:2:%1:%2").arg(i / 3).arg(i % 3);
    }

    QSignalSpy created(&manager, &DeviceManager::videoWallCreated);
    manager.createVideoWall(QStringLiteral("Lobby"), 2, 3, cells.join(QLatin1Char(',')));
    QCOMPARE(created.count(), 1);
    const auto wall = qSharedPointerObjectCast<VWDevice>(manager.rxlist()->at(created.at(0).at(0).toInt()));
    QVERIFY(wall);
    QCOMPARE(wall->nameAlias(), QStringLiteral("Lobby"));
    QCOMPARE(manager.rxlist()->rowCount(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(decoderStates(QStringLiteral("crop_param")), places, WAIT_MS);

    manager.deleteVideoWall(wall->guid());
    QCOMPARE(sorted(rowNames(manager.rxlist())), sorted(namesOf(decoders)));
    QTRY_COMPARE_WITH_TIMEOUT(
        decoderStates(QStringLiteral("crop_param")), everyDecoder(QStringLiteral("0:0:0:0")), WAIT_MS);
}

void TestInstallation::displayPowerAndNumbers()
{
    Controller controller;
    DeviceManager &manager = controller.manager;
    QVERIFY(discover(manager));
    const QString power = QStringLiteral("power");
    const QString cec = QStringLiteral("cec");
    const QString osd = QStringLiteral("osd");

    manager.switchMonitor(false);
    QTRY_COMPARE_WITH_TIMEOUT(decoderStates(power), everyDecoder(QStringLiteral("standby")), WAIT_MS);
    manager.switchMonitor(true);
    QTRY_COMPARE_WITH_TIMEOUT(decoderStates(power), everyDecoder(QStringLiteral("on")), WAIT_MS);
    manager.changePowerCommand(QStringLiteral("40 04"), QStringLiteral("FF 36"));
    manager.switchMonitor(false);
    QTRY_COMPARE_WITH_TIMEOUT(decoderStates(cec), everyDecoder(QStringLiteral("FF 36")), WAIT_MS);
    manager.switchMonitor(true);
    QTRY_COMPARE_WITH_TIMEOUT(decoderStates(cec), everyDecoder(QStringLiteral("40 04")), WAIT_MS);

    QStringList numbers;
    for (const SimDevice &simulated : decoders)
        numbers << QString::number(decoder(manager, simulated)->seq());
    manager.osdShowSeq();
    QTRY_COMPARE_WITH_TIMEOUT(decoderStates(osd), numbers, WAIT_MS);
    manager.osdHideSeq();
    QTRY_COMPARE_WITH_TIMEOUT(decoderStates(osd), everyDecoder(QString()), WAIT_MS);
}

// 2 encoders and 3 decoders from here on.
void TestInstallation::droppedConnectionRunsCommandAgain()
{
    Controller controller;
    DeviceManager &manager = controller.manager;
    QVERIFY(discover(manager));
    const SimDevice target = decoders.at(0);
    const QString source = encoders.at(0).name;
    RxDevice *link = decoder(manager, target);
    link->findChild<QTimer *>(QStringLiteral("reconnectTimer"))->setInterval(SHORT_RETRY_MS);
    QSignalSpy states(link, &RxDevice::stateChanged);

    QVERIFY(switchFault(target, QStringLiteral("fault-drop"), true, "gbconfig"));
    manager.setCurrentRxDevice(target.name);
    manager.changeRxDeviceSource(QStringLiteral("TX:") + source, false);
    // The decoder dropped the link in the middle of the command, which used the fault up,
    // and ran the command again once the link was back.
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(target.folder + QStringLiteral("/fault-drop")), WAIT_MS);
    QTRY_COMPARE_WITH_TIMEOUT(decoderStates(QStringLiteral("source_select")).at(0), source, WAIT_MS);
    QVERIFY(states.contains(QVariantList {int(RxDevice::ErrorWaiting)}));
}

void TestInstallation::silentDeviceGoesOfflineAndBack()
{
    Controller controller;
    DeviceManager &manager = controller.manager;
    QVERIFY(discover(manager));
    QVERIFY(pass(manager));
    const SimDevice target = decoders.at(1);
    const DeviceBasePtr listed = device(manager, target.name);

    QVERIFY(switchFault(target, QStringLiteral("silent"), true));
    for (int missed = 1; missed <= DeviceBase::OFFLINE_THRESHOLD; ++missed) {
        QVERIFY(pass(manager, target.name));
        QCOMPARE(listed->online(), missed < DeviceBase::OFFLINE_THRESHOLD);
    }
    const int row = rowNames(manager.rxlist()).indexOf(target.name);
    QCOMPARE(manager.rxlist()->index(row).data(DeviceListModel::OnlineRole), QVariant(false));
    for (const SimDevice &other : devices)
        QVERIFY2(other.name == target.name || device(manager, other.name)->online(), qPrintable(other.name));

    QVERIFY(switchFault(target, QStringLiteral("silent"), false));
    QVERIFY(pass(manager));
    QVERIFY(listed->online());
}

void TestInstallation::previewRecovers_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("stream cut") << "cut";
    QTest::newRow("frame too large") << "oversize";
    QTest::newRow("stream stalled") << "stall";
}

void TestInstallation::previewRecovers()
{
    QFETCH(QString, fault);
    Controller controller;
    DeviceManager &manager = controller.manager;
    QVERIFY(discover(manager));
    const SimDevice encoder = encoders.at(0);
    const auto preview = qSharedPointerObjectCast<TxDevice>(device(manager, encoder.name));
    preview->findChild<QTimer *>(QStringLiteral("retryTimer"))->setInterval(SHORT_RETRY_MS);
    ViewSurface view;
    int frames = 0;
    connect(preview->videoSource(), &MiniVideoSource::imageReceived, this, [&frames](QImage *image) {
        if (image && !image->isNull())
            ++frames;
    });
    preview->videoSource()->setVideoSurface(&view);
    QTRY_VERIFY_WITH_TIMEOUT(frames > 0, WAIT_MS);

    QVERIFY(switchFault(encoder, fault, true));
    // Frames already under way may still arrive; after that the picture stands still.
    QTest::qWait(1000);
    frames = 0;
    QTest::qWait(1500);
    QCOMPARE(frames, 0);

    QVERIFY(switchFault(encoder, fault, false));
    QTRY_VERIFY_WITH_TIMEOUT(frames > 0, WAIT_MS);
    QVERIFY(preview->videoSource()->videoAvaiable());
}

void TestInstallation::garbageAnswerIsSurvived()
{
    const SimDevice target = decoders.at(2);
    QVERIFY(switchFault(target, QStringLiteral("fault-garbage"), true));
    Controller controller;
    DeviceManager &manager = controller.manager;
    QVERIFY(discover(manager));
    QVERIFY(switchFault(target, QStringLiteral("fault-garbage"), false));

    // Listed as a stand-alone decoder, whatever it said, and still taking commands.
    QVERIFY(manager.rxlist()->findDevice(target.name, false));
    const QString source = encoders.at(1).name;
    manager.setCurrentRxDevice(target.name);
    manager.changeRxDeviceSource(QStringLiteral("TX:") + source, false);
    QTRY_COMPARE_WITH_TIMEOUT(decoderStates(QStringLiteral("source_select")).at(2), source, WAIT_MS);
}

// 1 encoder, 2 decoders that form a 1 x 2 wall the settings file knows as VW:0001:1111, and
// extra devices with odd replies.
void TestInstallation::hostileRepliesCreateNothingHarmful()
{
    const QByteArray settings = "{\"vw\": [{\"name\": \"VW:0001:1111\", \"width\": 2, \"height\": 1, \"bind\": \"\", "
                                "\"devices\": [\""
        + decoders.at(0).name.toUtf8() + "\", \"" + decoders.at(1).name.toUtf8()
        + "\"]}], \"alias_map\": {\"VW:0001:1111\": \"Stored wall\"}}";
    QVERIFY(QDir().mkpath(home->path() + QStringLiteral("/.zentrova")));
    QFile file(home->path() + QStringLiteral("/.zentrova/config.json"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(settings) == settings.size());
    file.close();

    Controller controller;
    DeviceManager &manager = controller.manager;
    QSignalSpy errors(&manager, &DeviceManager::errorOccured);
    QVERIFY(discover(manager));
    QVERIFY(pass(manager));

    // Of the odd replies, only those that carry a usable name of an encoder or a decoder
    // made a device; the one named with a decoder's shell in mind waits for a link that
    // never comes.
    const QString hostileEncoder = QStringLiteral("IPE1$(touch pwned)`touch pwned`;touch pwned-7c2e0d00ba03");
    QCOMPARE(sorted(rowNames(manager.txlist())),
        sorted(QStringList {encoders.at(0).name, QStringLiteral("IPE1LONG-7c2e0d00ba02"), hostileEncoder}));
    QCOMPARE(rowNames(manager.pendingRxList()), QStringList {"IPD1;reboot;-7c2e0d00ba04"});
    const QSharedPointer<VWDevice> wall = firstWall(manager);
    QCOMPARE(rowNames(manager.rxlist()), QStringList {"VW:0001:1111"});
    QCOMPARE(wall->nameAlias(), QStringLiteral("Stored wall"));
    QVERIFY(wall->meta()->address.isNull());

    // The shell-minded name is shown as it is or refused with a message; it runs nothing.
    manager.setCurrentRxDevice(wall->name());
    manager.changeRxDeviceSource(QStringLiteral("TX:") + hostileEncoder, false);
    QTRY_VERIFY_WITH_TIMEOUT(
        decoderStates(QStringLiteral("source_select")).at(0) == hostileEncoder || !errors.isEmpty(), WAIT_MS);
    QDirIterator everything(QFileInfo(decoders.at(0).folder).path(), QDirIterator::Subdirectories);
    while (everything.hasNext())
        QVERIFY2(!everything.next().contains(QLatin1String("pwned")), qPrintable(everything.filePath()));

    // And the controller works on.
    manager.changeRxDeviceSource(QStringLiteral("TX:") + encoders.at(0).name, false);
    QTRY_COMPARE_WITH_TIMEOUT(
        decoderStates(QStringLiteral("source_select")), everyDecoder(encoders.at(0).name), WAIT_MS);
}

// 2 encoders and 4 decoders, the first 2 of which form a 2 x 1 wall.
void TestInstallation::restartKeepsNamesOrderAndWalls()
{
    // Every row's name, display name and, for a wall, cells, list by list.
    const auto remembered = [](const DeviceManager &manager) {
        QStringList rows;
        for (const DeviceListModel *list : {manager.txlist(), manager.rxlist()}) {
            for (int row = 0; row < list->rowCount(); ++row) {
                const auto wall = qSharedPointerObjectCast<VWDevice>(list->at(row));
                rows << list->at(row)->name() + QLatin1Char('=') + list->at(row)->nameAlias()
                        + (wall ? QLatin1Char(' ') + wall->cellNames().join(QLatin1Char(',')) : QString());
            }
        }
        return rows;
    };
    QStringList before;
    {
        Controller controller;
        DeviceManager &manager = controller.manager;
        QVERIFY(discover(manager));
        manager.txlist()->setData(manager.txlist()->index(1), QStringLiteral("Stage"), DeviceListModel::AliasRole);
        manager.createVideoWall(QStringLiteral("Side"), 1, 2,
            QStringLiteral("%1,%2")
                .arg(decoder(manager, decoders.at(2))->seq())
                .arg(decoder(manager, decoders.at(3))->seq()));
        manager.rxlist()->move(manager.rxlist()->rowCount() - 1, 0, 1);
        manager.txlist()->move(1, 0, 1);
        before = remembered(manager);
        QVERIFY(before.first().endsWith(QLatin1String("=Stage")));
        QVERIFY(before.last().contains(QLatin1String("=2 x 1 - 1 ")));
        // The controller ends here, as when its window is closed.
    }

    Controller controller;
    QVERIFY(discover(controller.manager));
    QCOMPARE(remembered(controller.manager), before);
}

QTEST_MAIN(TestInstallation)
#include "tst_installation.moc"
