#include "base/json_config.h"
#include "base/oem_setting.h"
#include "manager/configuration_file.h"
#include "manager/device_manager.h"
#include "models/device_list_model.h"
#include "small_disk.h"
#include "test_files.h"
#include "test_home.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

// The settings on a disk that fills while the controller runs, as the window's user meets it.
class TestSettingsFailure : public QObject
{
    Q_OBJECT

private slots:
    // A start from the copy is no silent start: the user learns that the settings file was
    // damaged, and which settings are in use.
    void startFromTheCopyIsTold()
    {
        TestHome home;
        const QString folder = home.path() + QStringLiteral("/.zentrova");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeFile(folder + QStringLiteral("/config.json"), QByteArray()));
        QVERIFY(writeFile(folder + QStringLiteral("/config.json.1"), R"({"display_power_cmd": {"on": "40 07"}})"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("restored from the copy")));
        OemSetting oem;
        DeviceManager manager(&oem);
        QSignalSpy errors(&manager, &DeviceManager::errorOccured);
        QCOMPARE(manager.savedPowerOnCommand(), QStringLiteral("40 07"));
        QTRY_COMPARE(errors.count(), 1);
        QVERIFY(errors.at(0).at(0).toString().contains(QStringLiteral("config.json.1")));
    }

    // Told once when the saves start failing, however many fail, and kept trying: what was
    // changed meanwhile reaches the file once there is room.
    void fullDiskToldOnceAndRetried()
    {
        SmallDisk disk(128);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.error()));
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(disk.path()));
        const auto restoreHome = qScopeGuard([&oldHome] { qputenv("HOME", oldHome); });
        OemSetting oem;
        DeviceManager manager(&oem);
        ConfigurationFile *file = manager.configurationFile();
        QVERIFY(manager.changePowerCommand(QStringLiteral("40 04"), QStringLiteral("40 36")));
        const QString path = manager.settingsStore()->path();
        const QByteArray before = readFile(path);
        // Each save frees the copy before last: without one, a save has no room at all.
        QFile::remove(JsonConfig::backupPath(path));
        QVERIFY(disk.fill());

        QSignalSpy errors(&manager, &DeviceManager::errorOccured);
        QSignalSpy states(file, &ConfigurationFile::saveStateChanged);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("could not be saved to")));
        manager.setRerouteOnReconnect(false);
        QTRY_COMPARE(states.count(), 1);
        QCOMPARE(errors.count(), 1);
        QVERIFY(errors.at(0).at(0).toString().startsWith(QStringLiteral("The settings could not be saved to")));
        QVERIFY(file->retryTimer()->isActive());
        // More background saves fail, silently now.
        for (int n = 0; n < 3; ++n) {
            file->requestSave();
            QTRY_VERIFY(!file->saveTimer()->isActive());
        }
        QCOMPARE(readFile(path), before);

        disk.clear();
        file->retryTimer()->setInterval(10);
        QTRY_COMPARE(states.count(), 2);
        QCOMPARE(states.at(1).at(0).toBool(), true);
        QVERIFY(!file->retryTimer()->isActive());
        const QJsonObject saved = QJsonDocument::fromJson(readFile(path)).object();
        QCOMPARE(saved.value(QStringLiteral("reroute_on_reconnect")), QJsonValue(false));
        QCOMPARE(errors.count(), 1);

        // A change the user asked for is answered at once, and not told a second time by
        // the background.
        QFile::remove(JsonConfig::backupPath(path));
        QVERIFY(disk.fill());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("could not be saved to")));
        QVERIFY(!manager.changePowerCommand(QStringLiteral("40 05"), QStringLiteral("40 36")));
        QCOMPARE(errors.count(), 2);
        QTRY_COMPARE(states.count(), 3);
        QCOMPARE(errors.count(), 2);
    }
};

QTEST_MAIN(TestSettingsFailure)
#include "tst_settings_failure.moc"
