#include "manager/demo_installation.h"
#include "manager/device_manager.h"
#include "mini_video_source.h"
#include "models/device_list_model.h"
#include "models/tx_device.h"
#include "oem_setting.h"
#include "qimagegrabber/qimage_grabber_file.h"
#include "test_home.h"

#include <QAbstractVideoSurface>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

namespace {

QString configPath()
{
    return QDir::homePath() + QStringLiteral("/.zentrova/config.json");
}

QByteArray configBytes()
{
    QFile file(configPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeConfig(const QJsonObject &content)
{
    QDir().mkpath(QFileInfo(configPath()).path());
    QFile file(configPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(content).toJson());
}

QStringList column(const QAbstractItemModel &model, int role)
{
    QStringList values;
    for (int row = 0; row < model.rowCount(); ++row)
        values << model.index(row, 0).data(role).toString();
    return values;
}

class NullSurface : public QAbstractVideoSurface
{
public:
    QList<QVideoFrame::PixelFormat> supportedPixelFormats(QAbstractVideoBuffer::HandleType) const override
    {
        return {QVideoFrame::Format_RGB32};
    }
    bool present(const QVideoFrame &) override { return true; }
};

} // namespace

// The facade as the interface sees it, in a home of its own.
class TestDeviceManager : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void demoMode();
    void demoVideoIsDecodedAtTheSizeShown();
    void factoryDefault_data();
    void factoryDefault();
    void powerCommands();
    void searchWithoutInterfaces();

private:
    std::unique_ptr<TestHome> home;
    std::unique_ptr<OemSetting> oem;
    std::unique_ptr<DeviceManager> manager;
};

void TestDeviceManager::init()
{
    home = std::make_unique<TestHome>();
    writeConfig(QJsonObject {{"alias_map", QJsonObject {{"IPD9-7C2E0D000001", "Kept"}}}});
    oem = std::make_unique<OemSetting>();
    manager = std::make_unique<DeviceManager>(oem.get());
}

void TestDeviceManager::cleanup()
{
    manager.reset();
    oem.reset();
    home.reset();
}

void TestDeviceManager::demoMode()
{
    const QByteArray before = configBytes();
    QSignalSpy demo(manager.get(), &DeviceManager::demoModeChanged);
    manager->enterDemoMode();
    QCOMPARE(demo.count(), 1);
    QVERIFY(manager->demoMode());

    QCOMPARE(column(*manager->rxlist(), DeviceListModel::AliasRole),
        (QStringList {"2 x 2 - 1", "RX - 1", "RX - 2", "RX - 3", "RX - 4", "VideoWall 2", "6 x 3 - 1"}));
    const QStringList wallNames = column(*manager->vwlist(), DeviceListModel::NameRole);
    QCOMPARE(wallNames.size(), 3);
    QCOMPARE(QSet<QString>(wallNames.begin(), wallNames.end()).size(), 3);
    // Selecting a wall shows that wall, not the first one with the same identity.
    manager->setCurrentRxDevice(wallNames.at(2));
    QCOMPARE(manager->currentVwSize(), QSize(6, 3));

    // Changes live in memory only; the factory default keeps the real settings.
    QVERIFY(manager->changePassword(QStringLiteral("tulpe"), QStringLiteral("demo")));
    manager->createVideoWall(QStringLiteral("Demo wall"), 1, 2, QStringLiteral("1,2"));
    QSignalSpy reset(manager.get(), &DeviceManager::systemReset);
    manager->doFactoryDefault();
    QCOMPARE(reset.count(), 1);
    manager.reset();
    QCOMPARE(configBytes(), before);
}

void TestDeviceManager::demoVideoIsDecodedAtTheSizeShown()
{
    manager->enterDemoMode();
    QImageGrabberFile *grabber = manager->demoInstallation()->grabber();
    grabber->setSource(QStringLiteral(ZENTROVA_BINARY_DIR "/OrvantaLiteDemo.avi"));
    QVERIFY(grabber->startGrabbing());
    MiniVideoSource *thumbnail = manager->txlist()->at(4).objectCast<TxDevice>()->videoSource();
    QList<QSize> sizes;
    connect(thumbnail, &MiniVideoSource::imageReceived, this, [&sizes](QImage *image) { sizes << image->size(); });

    // Nobody looks at any demo encoder: nothing is decoded.
    QTest::qWait(300);
    QVERIFY(sizes.isEmpty());
    // A thumbnail of the 1280 x 720 video: an eighth of it is enough.
    NullSurface cell;
    thumbnail->setVideoSurface(&cell);
    thumbnail->setSize(QSize(160, 90));
    QTRY_VERIFY(!sizes.isEmpty());
    QCOMPARE(sizes.last(), QSize(160, 90));
    // The view goes: decoding stops again.
    thumbnail->setVideoSurface(nullptr);
    QTest::qWait(100);
    sizes.clear();
    QTest::qWait(300);
    QVERIFY(sizes.isEmpty());
    disconnect(thumbnail, nullptr, this, nullptr);
}

void TestDeviceManager::factoryDefault_data()
{
    QTest::addColumn<bool>("blocked");
    QTest::newRow("file removed") << false;
    QTest::newRow("file can be neither removed nor emptied") << true;
}

void TestDeviceManager::factoryDefault()
{
    QFETCH(bool, blocked);
    if (blocked) {
        QVERIFY(QFile::remove(configPath()));
        QVERIFY(QDir().mkpath(configPath() + QStringLiteral("/blocked")));
    }
    QSignalSpy reset(manager.get(), &DeviceManager::systemReset);
    QSignalSpy errors(manager.get(), &DeviceManager::errorOccured);
    manager->doFactoryDefault();
    QCOMPARE(reset.count(), blocked ? 0 : 1);
    QCOMPARE(errors.count(), blocked ? 1 : 0);
    if (!blocked) {
        QVERIFY(!QFile::exists(configPath()));
        manager->changePowerCommand(QStringLiteral("40 04"), QString());
        manager.reset();
        QVERIFY(!QFile::exists(configPath()));
    }
}

void TestDeviceManager::powerCommands()
{
    QSignalSpy on(manager.get(), &DeviceManager::powerOnCommandChanged);
    QSignalSpy errors(manager.get(), &DeviceManager::errorOccured);
    manager->changePowerCommand(QStringLiteral("40 04\n reboot"), QStringLiteral("FF 36"));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(manager->savedPowerOffCommand(), QString());
    QVERIFY(!configBytes().contains("FF 36"));

    manager->changePowerCommand(QStringLiteral("40 04"), QString());
    QCOMPARE(on.count(), 1);
    QVERIFY(configBytes().contains("\"40 04\""));
    manager->changePowerCommand(QStringLiteral("40 04"), QString());
    QCOMPARE(on.count(), 1);
}

void TestDeviceManager::searchWithoutInterfaces()
{
    QSignalSpy errors(manager.get(), &DeviceManager::errorOccured);
    manager->startDiscovery(true);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Socket error while search device: "));
}

QTEST_MAIN(TestDeviceManager)
#include "tst_device_manager.moc"
