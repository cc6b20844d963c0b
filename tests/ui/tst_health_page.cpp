#include "app/composition.h"
#include "app/interface_setup.h"
#include "base/oem_setting.h"
#include "health/health_monitor.h"
#include "manager/configuration_file.h"
#include "manager/device_manager.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "qml_problems.h"
#include "test_home.h"

#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTranslator>
#include <QtTest>

#include <memory>

// The Health page in the window as start-up builds it with --demo, at a tablet's 1024 x 720.
// With ZENTROVA_UI_SHOTS set to a folder, it saves a picture of the page there.
class TstHealthPage : public QObject
{
    Q_OBJECT

private slots:
    void worstFirst()
    {
        TestHome home;
        qmlproblems::install();
        QDir::setCurrent(QCoreApplication::applicationDirPath());
        QTranslator translator;
        loadLanguage(qApp, &translator);
        registerInterfaceTypes();
        OemSetting oem;
        CommandLine options;
        options.demo = true;
        Composition composition(&oem, options);
        DeviceManager *manager = composition.manager();
        {
            QQmlApplicationEngine engine;
            composition.publish(engine.rootContext());
            engine.rootContext()->setContextProperty(QStringLiteral("oem"), &oem);
            engine.load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
            auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().value(0));
            QVERIFY(window);
            window->resize(1024, 720);
            QTRY_VERIFY_WITH_TIMEOUT(window->findChild<QQuickItem *>("mainFrame")->isVisible(), 10000);

            // The last decoder listed (the first rows are walls).
            DeviceBasePtr down;
            for (int row = 0; row < manager->rxlist()->rowCount(); ++row) {
                if (qobject_cast<RxDevice *>(manager->rxlist()->at(row).data()))
                    down = manager->rxlist()->at(row);
            }
            QVERIFY(down);
            down->setOnline(false);
            composition.health()->sample();

            QQuickItem *button = window->findChild<QQuickItem *>("healthButton");
            QVERIFY(button);
            QTest::mouseClick(
                window, Qt::LeftButton, Qt::NoModifier, button->mapToScene(button->boundingRect().center()).toPoint());
            QQuickItem *page = window->findChild<QQuickItem *>("healthPage");
            QTRY_VERIFY(page && page->isVisible());
            QQuickItem *list = window->findChild<QQuickItem *>("healthList");
            QTRY_VERIFY(list->property("count").toInt() > 4);
            const QVariantList devices = page->property("devices").toList();
            QCOMPARE(devices.first().toMap().value(QStringLiteral("name")).toString(), down->name());
            QVERIFY(!devices.first().toMap().value(QStringLiteral("online")).toBool());

            // The controller's own figures: its memory, and a save that fails is said at once.
            const auto figure = [window](const char *key) {
                const QString name = QStringLiteral("healthFigure_") + QLatin1String(key);
                for (QQuickItem *cell : window->findChild<QQuickItem *>("healthController")->childItems()) {
                    if (const QQuickItem *value = cell->findChild<QQuickItem *>(name))
                        return value->property("text").toString();
                }
                return QString();
            };
            QVERIFY2(QRegularExpression(QStringLiteral("^[1-9][0-9]* MiB$")).match(figure("memory")).hasMatch(),
                qPrintable(figure("memory")));
            QCOMPARE(figure("settings"), QStringLiteral("saved"));
            QCOMPARE(figure("saveFailures"), QStringLiteral("0"));
            emit manager->configurationFile()->saveStateChanged(false, QStringLiteral("disk full"));
            composition.health()->sample();
            QTRY_COMPARE(figure("settings"), QStringLiteral("not saved"));
            QCOMPARE(figure("saveFailures"), QStringLiteral("1"));

            // The page is read at the size of the window, without overlapping columns.
            QVERIFY(page->width() <= 1024);

            // The file for support lands in the home folder, and the page says where.
            QQuickItem *support = window->findChild<QQuickItem *>("supportButton");
            QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier,
                support->mapToScene(support->boundingRect().center()).toPoint());
            const QString result = window->findChild<QQuickItem *>("supportResult")->property("text").toString();
            const QStringList written
                = QDir(home.path()).entryList({QStringLiteral("zentrova-diagnostics-*.tar")}, QDir::Files);
            QCOMPARE(written.size(), 1);
            QVERIFY2(result.endsWith(written.first()), qPrintable(result));
            const QString folder = qEnvironmentVariable("ZENTROVA_UI_SHOTS");
            if (!folder.isEmpty()) {
                // The page fades in; the picture is of it in full.
                QTRY_COMPARE(window->findChild<QObject *>("popupStack")->property("opacity").toDouble(), 1.0);
                QVERIFY(window->grabWindow().save(folder + QStringLiteral("/health.png")));
            }

            QQuickItem *close = window->findChild<QQuickItem *>("healthCloseButton");
            QTest::mouseClick(
                window, Qt::LeftButton, Qt::NoModifier, close->mapToScene(close->boundingRect().center()).toPoint());
            QTRY_VERIFY(!page->isVisible());
        }
        const QString problems = qmlproblems::finish();
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }
};

QTEST_MAIN(TstHealthPage)
#include "tst_health_page.moc"
