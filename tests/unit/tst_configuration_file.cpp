#include "json_config.h"
#include "manager/access_lock.h"
#include "manager/configuration_file.h"
#include "manager/display_control.h"
#include "manager/video_walls.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/tx_device.h"
#include "models/vw_device.h"
#include "test_home.h"
#include "test_records.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QString CONFIG = QStringLiteral("~/.zentrova/config.json");

// The file object on disk: every write replaces it, so that a new number means a write.
ino_t inodeOf(const QString &path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

DeviceBasePtr decoderNamed(const QString &name, const QString &alias)
{
    DeviceBasePtr device(new RxDevice(parsedDiscoveryRecord(name)));
    device->setNameAlias(alias);
    return device;
}

// One controller's view of the file: store, lists and the parts the file serves.
struct Controller
{
    Controller()
        : store(CONFIG, false)
        , rx(&store)
        , pending(&store)
        , tx(&store)
        , display(&rx)
        , file(&store, {&rx, &pending, &tx}, &lock, &display)
    {
        file.load();
    }

    QJsonObject document() const
    {
        QFile disk(store.path());
        return disk.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(disk.readAll()).object() : QJsonObject();
    }

    JsonConfig store;
    DeviceListModel rx;
    DeviceListModel pending;
    DeviceListModel tx;
    AccessLock lock;
    DisplayControl display;
    ConfigurationFile file;
};

void writeFile(const QJsonObject &content)
{
    const QString path = QDir::homePath() + QStringLiteral("/.zentrova/config.json");
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(content).toJson());
}

} // namespace

class TestConfigurationFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void roundTripOfEveryKey();
    void invalidWallRecords_data();
    void invalidWallRecords();
    void ordersSurviveDevicesNotBackYet();
    void whatTriggersASave_data();
    void whatTriggersASave();
    void unchangedDocumentIsNotWritten();
    void failedWriteIsReported();

private:
    std::unique_ptr<TestHome> home;
};

void TestConfigurationFile::init()
{
    home.reset();
    home = std::make_unique<TestHome>();
}

void TestConfigurationFile::roundTripOfEveryKey()
{
    const QString slashed = QStringLiteral("IPD9/LOBBY-7C2E0D000002");
    QString wallName;
    {
        Controller first;
        first.tx.addDevice(DeviceBasePtr(new TxDevice(parsedDiscoveryRecord(QStringLiteral("IPE3-7C2E0D00AA01")))), -1);
        first.tx.at(0)->setNameAlias(QStringLiteral("Camera"));
        first.rx.addDevice(decoderNamed(QStringLiteral("IPD9-7C2E0D000001"), QStringLiteral("Left")), -1);
        first.rx.addDevice(decoderNamed(slashed, QStringLiteral("Lobby")), -1);
        VideoWalls walls(&first.rx, &first.store);
        const VWDevicePtr wall = walls.createWall(QStringLiteral("Front"), 2, 1, QStringLiteral("IPE3-7C2E0D00AA01"));
        wallName = wall->name();
        first.rx.addDevice(wall, -1);
        first.display.changePowerCommand(QStringLiteral("40 04"), QStringLiteral("FF 36"));
        QVERIFY(first.lock.changePassword(QStringLiteral("tulpe"), QStringLiteral("Lobby 2")));
        QVERIFY(first.file.saveNow());

        const QJsonObject saved = first.document();
        QCOMPARE(saved.value("alias_map").toObject().value("IPD9").toObject().value("LOBBY-7C2E0D000002").toString(),
            QStringLiteral("Lobby"));
        QCOMPARE(saved.value("orders").toObject().value("IPE3-7C2E0D00AA01").toInt(), 0);
        QCOMPARE(saved.value("display_power_cmd").toObject().value("off").toString(), QStringLiteral("FF 36"));
    }
    Controller second;
    QCOMPARE(second.rx.rowCount(), 1);
    const auto wall = second.rx.at(0).objectCast<VWDevice>();
    QCOMPARE(wall->name(), wallName);
    QCOMPARE(wall->nameAlias(), QStringLiteral("Front"));
    QCOMPARE(wall->size(), QSize(2, 1));
    QCOMPARE(wall->currentSource(), QStringLiteral("IPE3-7C2E0D00AA01"));
    QVERIFY(!second.lock.login(QStringLiteral("tulpe")));
    QVERIFY(second.lock.login(QStringLiteral("Lobby 2")));
    QCOMPARE(second.display.powerOnCommand(), QStringLiteral("40 04"));
    QCOMPARE(second.display.powerOffCommand(), QStringLiteral("FF 36"));
}

void TestConfigurationFile::invalidWallRecords_data()
{
    QTest::addColumn<QJsonValue>("vw");
    QTest::addColumn<int>("walls");

    const QJsonObject good {{"name", "VW:0001:1"}, {"width", 1}, {"height", 1}, {"devices", QJsonArray {""}}};
    QTest::newRow("invalid skipped, valid kept")
        << QJsonValue(QJsonArray {QJsonObject {{"name", "VW:0001:2"}, {"width", 0}}, "text", good}) << 1;
    // An object holding what looks like a record is not an array of records.
    QTest::newRow("object instead of array") << QJsonValue(QJsonObject {{"0", good}}) << 0;
}

void TestConfigurationFile::invalidWallRecords()
{
    QFETCH(QJsonValue, vw);
    QFETCH(int, walls);
    writeFile(QJsonObject {{"vw", vw}});
    Controller controller;
    QCOMPARE(controller.rx.rowCount(), walls);
}

// Saved D1 D2 D3 W: at start only the wall is listed, and the save made then must not
// move it in front of the decoders that have not answered yet.
void TestConfigurationFile::ordersSurviveDevicesNotBackYet()
{
    const QJsonObject wall {{"name", "VW:0001:1"}, {"width", 1}, {"height", 1}, {"devices", QJsonArray {""}}};
    writeFile(QJsonObject {{"vw", QJsonArray {wall}},
        {"orders",
            QJsonObject {
                {"IPD9-7C2E0D000001", 0}, {"IPD9-7C2E0D000002", 1}, {"IPD9-7C2E0D000003", 2}, {"VW:0001:1", 3}}}});
    Controller controller;
    QVERIFY(controller.file.saveNow());
    const auto order = [&](const QString &name) { return controller.store.value("orders/" + name, -1); };
    QCOMPARE(order(QStringLiteral("VW:0001:1")), 3);

    for (const QString &name : {QStringLiteral("IPD9-7C2E0D000003"), QStringLiteral("IPD9-7C2E0D000009")})
        controller.rx.addDevice(decoderNamed(name, name), order(name));
    QVERIFY(controller.file.saveNow());
    QCOMPARE(order(QStringLiteral("IPD9-7C2E0D000003")), 2);
    QCOMPARE(order(QStringLiteral("VW:0001:1")), 3);
    QCOMPARE(order(QStringLiteral("IPD9-7C2E0D000009")), 4);
    QCOMPARE(order(QStringLiteral("IPD9-7C2E0D000001")), 0);

    // Dragging the newcomer to the top hands out the same numbers in the new order.
    controller.rx.move(2, 0, 1);
    QVERIFY(controller.file.saveNow());
    QCOMPARE(order(QStringLiteral("IPD9-7C2E0D000009")), 2);
    QCOMPARE(order(QStringLiteral("IPD9-7C2E0D000003")), 3);
    QCOMPARE(order(QStringLiteral("VW:0001:1")), 4);
}

void TestConfigurationFile::whatTriggersASave_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("held");
    QTest::addColumn<bool>("saves");

    QTest::newRow("discovery pass") << "pass" << false << false;
    QTest::newRow("rename") << "rename" << false << true;
    QTest::newRow("drag") << "move" << false << true;
    QTest::newRow("new device") << "add" << false << true;
    QTest::newRow("rename while in the options") << "rename" << true << false;
}

void TestConfigurationFile::whatTriggersASave()
{
    QFETCH(QString, change);
    QFETCH(bool, held);
    QFETCH(bool, saves);

    Controller controller;
    controller.rx.addDevice(decoderNamed(QStringLiteral("IPD9-7C2E0D000001"), QStringLiteral("A")), -1);
    controller.rx.addDevice(decoderNamed(QStringLiteral("IPD9-7C2E0D000002"), QStringLiteral("B")), -1);
    controller.file.saveNow();
    QTimer *timer = controller.file.saveTimer();
    QVERIFY(timer->isSingleShot());

    controller.file.setHeld(held);
    if (change == QLatin1String("pass"))
        controller.rx.increaseOfflineCounters();
    else if (change == QLatin1String("rename"))
        controller.rx.setData(controller.rx.index(0), QStringLiteral("C"), DeviceListModel::AliasRole);
    else if (change == QLatin1String("move"))
        controller.rx.move(0, 1, 1);
    else
        controller.rx.addDevice(decoderNamed(QStringLiteral("IPD9-7C2E0D000003"), QStringLiteral("D")), -1);
    QCOMPARE(timer->isActive(), saves);
    if (held) {
        // Once the rename box closes, the change is saved.
        controller.file.setHeld(false);
        QVERIFY(timer->isActive());
    }
}

void TestConfigurationFile::unchangedDocumentIsNotWritten()
{
    Controller controller;
    controller.rx.addDevice(decoderNamed(QStringLiteral("IPD9-7C2E0D000001"), QStringLiteral("A")), -1);
    QVERIFY(controller.file.saveNow());
    const ino_t written = inodeOf(controller.store.path());
    QVERIFY(written != 0);
    QVERIFY(controller.file.saveNow());
    QCOMPARE(inodeOf(controller.store.path()), written);
    controller.rx.at(0)->setNameAlias(QStringLiteral("B"));
    QVERIFY(controller.file.saveNow());
    QVERIFY(inodeOf(controller.store.path()) != written);
}

void TestConfigurationFile::failedWriteIsReported()
{
    Controller controller;
    // A folder where the file should be: nothing can be written there, not even by root.
    QFile::remove(controller.store.path());
    QVERIFY(QDir().mkpath(controller.store.path() + QStringLiteral("/blocked")));
    QSignalSpy errors(&controller.file, &ConfigurationFile::errorOccured);
    controller.rx.addDevice(decoderNamed(QStringLiteral("IPD9-7C2E0D000001"), QStringLiteral("A")), -1);
    QVERIFY(!controller.file.saveNow());
    QCOMPARE(errors.count(), 1);
    QVERIFY(errors.at(0).at(0).toString().contains(controller.store.path()));
}

QTEST_GUILESS_MAIN(TestConfigurationFile)
#include "tst_configuration_file.moc"
