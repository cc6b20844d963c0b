#include "app/composition.h"
#include "app/interface_setup.h"
#include "app/qr_image_provider.h"
#include "base/oem_setting.h"
#include "bridge/mqtt_bridge.h"
#include "health/health_monitor.h"
#include "manager/configuration_file.h"
#include "manager/device_manager.h"
#include "models/device_list_model.h"
#include "models/rx_device_base.h"
#include "qml_problems.h"
#include "remote/device_pairing.h"
#include "remote/line_server.h"
#include "remote/remote_service.h"
#include "scenes/scene_service.h"
#include "test_home.h"
#include "video/mini_video_source.h"

#include <QGlyphRun>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextLayout>
#include <QTranslator>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

// The interface's words in the language the test runs in (lang.cfg beside it), so that the
// same steps can be shot in Chinese too; up to the first placeholder.
QString words(const char *context, const char *text)
{
    const QString translated = QCoreApplication::translate(context, text);
    return translated.left(translated.indexOf(QLatin1Char('%')));
}

QPoint centre(QQuickItem *item)
{
    return item->mapToScene(item->boundingRect().center()).toPoint();
}

QQuickItem *row(QQuickItem *list, int index)
{
    QQuickItem *found = nullptr;
    QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, found), Q_ARG(int, index));
    return found;
}

} // namespace

// Drives the window as start-up builds it with --demo, in the order a user would. With
// ZENTROVA_UI_SHOTS set to a folder, it also saves pictures of the screens the README names.
class TstMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qmlproblems::install();
        QDir::setCurrent(QCoreApplication::applicationDirPath());
        // As start-up does, so that the pictures show the interface's own type.
        QGuiApplication::setFont(interfaceFont(loadLanguage(qApp, &translator)));
        registerInterfaceTypes();
        oem = std::make_unique<OemSetting>();
        CommandLine options;
        options.demo = true;
        composition = std::make_unique<Composition>(oem.get(), options);
        manager = composition->manager();
        engine = std::make_unique<QQmlApplicationEngine>();
        composition->publish(engine->rootContext());
        engine->rootContext()->setContextProperty(QStringLiteral("oem"), oem.get());
        engine->load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
        window = qobject_cast<QQuickWindow *>(engine->rootObjects().value(0));
        QVERIFY(window);
        // ZENTROVA_UI_SIZE (such as 1920x1080) shoots the screens at another window size.
        const QStringList size = qEnvironmentVariable("ZENTROVA_UI_SIZE").split(QLatin1Char('x'));
        if (size.size() == 2) {
            window->resize(size.at(0).toInt(), size.at(1).toInt());
            QTRY_COMPARE(window->width(), size.at(0).toInt());
        }
        // Started in demo mode, the start screen leads straight to the main screen.
        QTRY_VERIFY_WITH_TIMEOUT(item("mainFrame")->isVisible(), 10000);
    }

    void cleanupTestCase()
    {
        engine.reset();
        const QString problems = qmlproblems::finish();
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    void mainScreen()
    {
        QQuickItem *txList = item("txListView");
        QTRY_COMPARE(txList->property("count").toInt(), 30);
        // The first wall is selected at start and plays its source. Its screens hold no decoder,
        // so none of them is marked offline.
        QTRY_VERIFY(manager->rxsource()->videoAvaiable());
        const QList<QQuickItem *> screens = item("wallOnlineStatus")->childItems().value(0)->childItems();
        QVERIFY(std::none_of(screens.begin(), screens.end(), [](QQuickItem *screen) {
            return !screen->childItems().isEmpty() && screen->childItems().first()->isVisible();
        }));
        shoot(QStringLiteral("main-screen"));
        // The search shows over the middle of the video area.
        QCOMPARE(centre(item("searchIndicator")), centre(item("rxVideo")));
        // The zone for all screens reaches out, but not into the video area.
        QVERIFY(item("allScreensDrop")->mapRectToScene(item("allScreensDrop")->boundingRect()).right()
            < item("rxVideo")->mapRectToScene(item("rxVideo")->boundingRect()).left());
        const QRect strip = txList->mapRectToScene(txList->boundingRect()).toRect();
        const QImage before = window->grabWindow().copy(strip);
        QTRY_VERIFY2(window->grabWindow().copy(strip) != before, "the thumbnails do not change");

        click(item("displayOnButton"));
        QTRY_VERIFY(layer("dialogLayer")->property("opened").toBool());
        click(item("dialogOkButton"));
        QObject *toast = layer("toastLayer");
        QTRY_COMPARE(toast->property("text").toString(), words("MainFrame", "All monitors are opened"));
        QVERIFY(toast->property("visible").toBool());
        // Pressed near the top or near the bottom (on the video, on a thumbnail), a notice shows
        // in the other half, off what was pressed.
        auto *toastBox = qobject_cast<QQuickItem *>(toast);
        const int headerHeight = item("mainFrame")->property("headerHeight").toInt();
        for (const QPoint &press :
            {QPoint(window->width() / 2, headerHeight + 25), QPoint(window->width() / 2, window->height() - 70)}) {
            QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, press);
            QMetaObject::invokeMethod(window, "toast", Q_ARG(QVariant, QStringLiteral("Noticed")));
            QVERIFY(!toastBox->mapRectToScene(toastBox->boundingRect()).contains(press));
        }
        // What the manager reports going wrong reaches the user the same way; a long message
        // wraps inside the window below the header, and what lies under it still takes clicks.
        const QString longError = QStringLiteral("The settings could not be saved to /x")
            + QStringLiteral("/very-long-folder-name").repeated(8) + QLatin1Char('.');
        // Pressed low in the window (on the strip's bare edge), the notice shows high.
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, QPoint(30, window->height() - 60));
        emit manager->errorOccured(longError);
        QTRY_COMPARE(toast->property("text").toString(), longError);
        const QRectF toastArea = toastBox->mapRectToScene(toastBox->boundingRect());
        QVERIFY(toastArea.left() >= 0 && toastArea.right() <= window->width());
        QVERIFY(
            toastArea.top() >= item("optionsButton")->mapRectToScene(item("optionsButton")->boundingRect()).bottom());
        item("rxListView")->setProperty("currentIndex", 1);
        const QPoint underToast(centre(row(item("rxListView"), 0)).x(), int(toastArea.center().y()));
        QVERIFY(toastArea.contains(underToast));
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, underToast);
        QTRY_COMPARE(item("rxListView")->property("currentIndex").toInt(), 0);

        // A thumbnail taken by its middle and dropped on the video area, even close to the zone
        // beside it, routes to the selected decoder; dropped on the zone, to every decoder.
        auto sourceOf = [this](int row) {
            auto device = qSharedPointerDynamicCast<RxDeviceBase>(manager->rxlist()->at(row));
            return device ? device->currentSource() : QStringLiteral("(no decoder)");
        };
        const QString encoder = QStringLiteral("IPE9DEMO-7C2E0DFF0002");
        item("rxListView")->setProperty("currentIndex", 1);
        QQuickItem *thumbnail = child(row(item("txListView"), 1), "txContent");
        QQuickItem *video = item("rxVideo");
        const QPoint videoLeftEdge(int(video->mapToScene(QPointF(5, 0)).x()), centre(item("allScreensZone")).y());
        QTest::mouseRelease(
            window, Qt::LeftButton, Qt::NoModifier, drag(thumbnail, videoLeftEdge - centre(thumbnail), 20, 10), 10);
        QTRY_COMPARE(sourceOf(1), encoder);
        QCOMPARE(sourceOf(2), QString());
        // The picture is named, and a route to every screen is confirmed in words.
        const QString alias = manager->txlist()->findDevice(encoder, false)->nameAlias();
        QTRY_COMPARE(item("sourceCaption")->property("text").toString(), alias);
        QVERIFY(item("sourceCaption")->isVisible());
        QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier,
            drag(thumbnail, centre(item("allScreensZone")) - centre(thumbnail), 20, 10), 10);
        for (int row = 1; row <= 4; ++row)
            QTRY_COMPARE(sourceOf(row), encoder);
        QTRY_VERIFY(toast->property("text").toString().startsWith(words("MainFrame", "All screens now show \"%1\"")));
        QVERIFY(toast->property("text").toString().contains(alias));

        // Paging counts from the view's origin, which moves when a cell before the visible ones
        // goes: the cell cut by the right edge still becomes the first one.
        auto indexAt = [txList](qreal x) {
            int index = -1;
            QMetaObject::invokeMethod(txList, "indexAt", Q_RETURN_ARG(int, index), Q_ARG(qreal, x), Q_ARG(qreal, 10));
            return index;
        };
        // At the start there is no way back; a page to the right shows it.
        QVERIFY(!item("txScrollLeft")->isVisible());
        click(item("txScrollRight"));
        QTRY_VERIFY(item("txScrollLeft")->isVisible());
        const auto first = manager->txlist()->removeDevice(manager->txlist()->at(0)->name());
        laidOut();
        const qreal rightEdge = txList->property("contentX").toReal() + txList->width();
        const int cut = indexAt(rightEdge) >= 0 ? indexAt(rightEdge) : indexAt(rightEdge + 5);
        click(item("txScrollRight"));
        QTRY_COMPARE(indexAt(txList->property("contentX").toReal() + 1), cut);
        manager->txlist()->addDevice(first, -1);
        QMetaObject::invokeMethod(txList, "positionViewAtBeginning");
    }

    // At the smallest window, with a scene saved, the decoders' list shows at least four whole
    // rows, says that it scrolls, and the scenes strip keeps out of its column. The window
    // stays that small for the Health page.
    void listsAtSmallestWindow()
    {
        shotSize = window->size();
        window->resize(1024, 720);
        QTRY_COMPARE(item("mainFrame")->height(), 720.0);
        QVERIFY(composition->scenes()->saveScene(QStringLiteral("Evening"), {}, 0));
        QQuickItem *list = item("rxListView");
        QTRY_VERIFY(item("scenesStrip")->isVisible());
        const int step = list->property("rowHeight").toInt() + list->property("spacing").toInt();
        const int rows = (int(list->height()) + list->property("spacing").toInt()) / step;
        QVERIFY2(rows >= 4, qPrintable(QString::number(list->height())));
        QCOMPARE(int(list->height()) + list->property("spacing").toInt(), rows * step);
        QVERIFY(list->property("count").toInt() > rows);
        QVERIFY(item("rxScrollBar")->isVisible());
        const QRectF strip = item("scenesStrip")->mapRectToScene(item("scenesStrip")->boundingRect());
        QVERIFY(strip.left() > list->mapRectToScene(list->boundingRect()).right());
        QVERIFY(strip.bottom() <= item("txListView")->mapRectToScene(item("txListView")->boundingRect()).top());
        QVERIFY(composition->scenes()->deleteScene(QStringLiteral("Evening")));
    }

    // The Health page within the smallest window: a decoder that went down comes first, a
    // settings save that fails is said at once, and the file for support lands in the home
    // folder, where the page says.
    void healthPage()
    {
        const DeviceBasePtr down = manager->rxlist()->findDevice(QStringLiteral("IPD9DEMO-7C2E0DFE0004"), false);
        down->setOnline(false);
        composition->health()->sample();
        click(item("healthButton"));
        QQuickItem *page = item("healthPage");
        QTRY_VERIFY(page->isVisible() && item("healthList")->property("count").toInt() > 4);
        const QVariantMap worst = page->property("devices").toList().value(0).toMap();
        QVERIFY(worst.value(QStringLiteral("name")) == down->name() && !worst.value(QStringLiteral("online")).toBool());
        QVERIFY(page->width() <= window->width());
        const auto figure = [this](const char *key) {
            const QString name = QStringLiteral("healthFigure_") + QLatin1String(key);
            for (QQuickItem *cell : item("healthController")->childItems()) {
                if (const QQuickItem *value = child(cell, qPrintable(name)))
                    return value->property("text").toString();
            }
            return QString();
        };
        QVERIFY2(QRegularExpression(QStringLiteral("^[1-9][0-9]* MiB$")).match(figure("memory")).hasMatch(),
            qPrintable(figure("memory")));
        QVERIFY(figure("settings") == QStringLiteral("saved") && figure("saveFailures") == QStringLiteral("0"));
        emit manager->configurationFile()->saveStateChanged(false, QStringLiteral("disk full"));
        composition->health()->sample();
        QTRY_COMPARE(figure("settings"), QStringLiteral("not saved"));
        QCOMPARE(figure("saveFailures"), QStringLiteral("1"));
        click(item("supportButton"));
        const QStringList written = QDir(home.path()).entryList({QStringLiteral("zentrova-diagnostics-*.tar")});
        QCOMPARE(written.size(), 1);
        QVERIFY(item("supportResult")->property("text").toString().endsWith(written.first()));
        layer("toastLayer")->setProperty("visible", false); // the routing notice, off the picture
        shoot(QStringLiteral("health"));
        click(item("healthCloseButton"));
        QTRY_VERIFY(!page->isVisible());
        down->setOnline(true);
        window->resize(shotSize);
        QTRY_COMPARE(item("mainFrame")->height(), qreal(shotSize.height()));
    }

    void settings()
    {
        QMetaObject::invokeMethod(window, "showOptions");
        // The pop-up takes no input while it fades in.
        QTRY_VERIFY(layer("popupStack")->property("opened").toBool());
        QQuickItem *loader = item("settingsPageLoader");
        const QStringList pages = QStringLiteral("names walls advanced scenes-locked users-locked audit-locked system")
                                      .split(QLatin1Char(' '));
        for (int page = pages.size() - 1; page >= 0; --page) {
            item("settingsNavigation")->setProperty("currentIndex", page);
            QTRY_COMPARE(loader->property("status").toInt(), 1);
            shoot(QStringLiteral("settings-") + pages.at(page));
        }
        // Every page's entry is in sight without flicking, also on the smallest screen.
        QQuickItem *navigation = item("settingsNavigation");
        QVERIFY(navigation->property("contentHeight").toReal() <= navigation->height());
        // The first row dragged down by its handle over two rows ends third. Pages left behind
        // may not be gone yet; only the loaded one counts.
        QQuickItem *rows = child(qvariant_cast<QQuickItem *>(loader->property("item")), "deviceEditorList");
        QQuickItem *handle = child(row(rows, 0), "sequenceHandle");
        const QString firstName = manager->rxlist()->at(0)->name();
        // The row places its columns when it is first drawn; the pages left behind, until they
        // are deleted, and a list still settling would take the first press.
        QTRY_VERIFY(handle->parentItem()->x() > 0 && !rows->property("moving").toBool());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        laidOut();
        // At a hand's pace, so that the rows slide aside before the next one is crossed.
        const QPoint end = drag(handle, QPoint(0, 150), 30, 40);
        QVERIFY(manager->inOptions());
        QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, end, 300);
        QTRY_COMPARE(manager->rxlist()->at(2)->name(), firstName);
        QVERIFY(!manager->inOptions());

        // A wall named on the wall page, built in the wizard and deleted again.
        item("settingsNavigation")->setProperty("currentIndex", 1);
        QTRY_VERIFY(item("createWallRow"));
        click(item("createWallRow"));
        QTRY_VERIFY(layer("dialogLayer")->property("opened").toBool());
        for (const char key : QByteArrayLiteral(" Lobby "))
            QTest::keyClick(window, key);
        click(item("dialogOkButton"));
        QTRY_VERIFY(item("nextButton")->isVisible());
        shoot(QStringLiteral("wizard-size"));
        QQuickItem *placePage = item("placeDevicePage");
        click(item("nextButton"));
        QTRY_VERIFY(placePage->isVisible());
        // The demo decoders are numbered 1 to 4.
        for (int cell = 0; cell < 4; ++cell)
            QMetaObject::invokeMethod(placePage, "acceptRxInCell", Q_ARG(QVariant, cell), Q_ARG(QVariant, 4 - cell));
        shoot(QStringLiteral("wizard-place"));
        QMetaObject::invokeMethod(placePage, "saveVideoWall");
        // The wall takes its decoders' place in the list, and is selected.
        QTRY_COMPARE(item("rxListView")->property("count").toInt(), 4);
        QCOMPARE(item("rxListView")->property("currentIndex").toInt(), 3);
        QVERIFY(manager->deviceAliasExists(QStringLiteral("Lobby")));

        QQuickItem *walls = child(qvariant_cast<QQuickItem *>(loader->property("item")), "wallList");
        QTRY_VERIFY(row(walls, 3));
        click(child(row(walls, 3), "deleteWallButton"));
        QTRY_VERIFY(layer("dialogLayer")->property("opened").toBool());
        click(item("dialogOkButton"));
        QTRY_COMPARE(item("rxListView")->property("count").toInt(), 7);

        item("settingsNavigation")->setProperty("currentIndex", 2);
        QTRY_COMPARE(loader->property("status").toInt(), 1);
        auto *advanced = qvariant_cast<QQuickItem *>(loader->property("item"));
        child(advanced, "passwordField")->setProperty("text", QStringLiteral("tulpe"));
        click(child(advanced, "unlockButton"));
        QTRY_VERIFY(!manager->locked());

        // The control API's switch and state follow what runs: with its web port taken, the API
        // does not keep the text port it had opened already.
        RemoteService *api = composition->remote();
        advanced->setProperty("openSections", 1 << 3);
        QQuickItem *apiSwitch = child(advanced, "apiSwitch");
        QQuickItem *apiState = child(advanced, "apiState");
        QTRY_VERIFY(apiSwitch->isVisible());
        child(advanced, "listenField")->setProperty("text", QStringLiteral("127.0.0.1"));
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost));
        child(advanced, "webPortField")->setProperty("text", QString::number(taken.serverPort()));
        apiSwitch->setProperty("checked", true);
        QMetaObject::invokeMethod(advanced, "applyApiSettings");
        QVERIFY(api->enabled() && !api->status().isEmpty() && !api->running() && !api->lineServer()->isListening());
        QTRY_VERIFY(!apiSwitch->property("checked").toBool());
        QVERIFY(apiState->property("text").toString().startsWith(words("AdvancedPage", "Not running: %1")));
        taken.close();
        apiSwitch->setProperty("checked", true);
        QMetaObject::invokeMethod(advanced, "applyApiSettings");
        QTRY_VERIFY(apiSwitch->property("checked").toBool());
        QVERIFY(api->running());
        // With no certificate named, the controller's own, and its fingerprint on the page.
        const QString running = words("AdvancedPage", "Running on %1: %2, %3.").arg(QStringLiteral("127.0.0.1"));
        QVERIFY(apiState->property("text").toString().startsWith(running.section(QStringLiteral("%2"), 0, 0)));
        QCOMPARE(child(advanced, "fingerprint")->property("text").toString(), api->fingerprint());

        // A broker that refuses: the state says so and why, in words, beside a wrong port.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 closedPort = probe.serverPort();
        probe.close();
        // Opened by its header, the section scrolls up into sight.
        advanced->setProperty("openSections", 0);
        QQuickItem *flick = child(advanced, "sections");
        laidOut();
        flick->setProperty("contentY", 0.0);
        laidOut();
        click(child(advanced, "mqttHeader"));
        QQuickItem *mqttState = child(advanced, "mqttState");
        QTRY_VERIFY(mqttState->isVisible());
        QTRY_VERIFY(flick->property("contentY").toReal() > 0);
        child(advanced, "mqttSwitch")->setProperty("checked", true);
        child(advanced, "mqttHostField")->setProperty("text", QStringLiteral("127.0.0.1"));
        child(advanced, "mqttPortField")->setProperty("text", QString::number(closedPort));
        QMetaObject::invokeMethod(child(advanced, "mqttFields"), "apply");
        QTRY_VERIFY_WITH_TIMEOUT(composition->bridge()->failing(), 15000);
        const QString said = mqttState->property("text").toString();
        // A broker away is tried again; a refused sign-in is not, until the settings change.
        QVERIFY2(said.startsWith(words("MqttBridge", "No broker answers at %1 port %2 (%3).")), qPrintable(said));
        QVERIFY2(said.contains(words("MqttBridge", "Next try within %1 s.")), qPrintable(said));
        // A real broker that takes nobody: the refusal is what the state names, not the protocol
        // error the library reports after it, and no retry is promised, as none comes.
        QTemporaryDir brokerDir;
        QFile brokerConfig(brokerDir.filePath(QStringLiteral("mosquitto.conf")));
        QVERIFY(brokerConfig.open(QIODevice::WriteOnly));
        brokerConfig.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous false\n").arg(closedPort).toUtf8());
        brokerConfig.close();
        QProcess broker;
        broker.setProcessChannelMode(QProcess::MergedChannels);
        broker.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), brokerConfig.fileName()});
        QVERIFY2(broker.waitForStarted(), "mosquitto is a test peer: scripts/install-deps installs it");
        const auto brokerListens = [closedPort] {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, closedPort);
            return socket.waitForConnected(200);
        };
        QTRY_VERIFY(brokerListens());
        child(advanced, "mqttUserField")->setProperty("text", QStringLiteral("reception"));
        child(advanced, "mqttPasswordField")->setProperty("text", QStringLiteral("not-this-one"));
        QMetaObject::invokeMethod(child(advanced, "mqttFields"), "apply");
        const QString refused = MqttBridge::explain(QStringLiteral("127.0.0.1"), closedPort, "Not authorized", true);
        QTRY_COMPARE_WITH_TIMEOUT(mqttState->property("text").toString(), refused, 15000);
        QVERIFY(refused.endsWith(words("MqttBridge", "Not tried again until the settings are applied.")));
        QVERIFY(composition->bridge()->failing());
        broker.terminate();
        QVERIFY(broker.waitForFinished());
        child(advanced, "mqttSwitch")->setProperty("checked", false);
        child(advanced, "mqttPortField")->setProperty("text", QStringLiteral("1883"));
        QMetaObject::invokeMethod(child(advanced, "mqttFields"), "apply");
        QTRY_VERIFY(!composition->bridge()->enabled());

        // The users page on the real service: a user added elsewhere appears, its screens by the
        // names the window shows.
        const QVariantMap lectern {{"name", "Lectern"}, {"role", "operator"}, {"screens", QStringList {"RX - 1"}}};
        QVERIFY(api->command(QStringLiteral("users.add"), lectern).value(QStringLiteral("ok")).toBool());
        item("settingsNavigation")->setProperty("currentIndex", 4);
        QTRY_COMPARE(loader->property("status").toInt(), 1);
        QQuickItem *usersPage = qvariant_cast<QQuickItem *>(loader->property("item"));
        QQuickItem *users = child(usersPage, "userRows");
        QTRY_VERIFY(row(users, 1));
        QCOMPARE(child(row(users, 1), "userScreens")->property("text").toString(), QStringLiteral("RX - 1"));
        // A phone's code as the real QR code of the page's address, fitting the space it is
        // given in whole pixels per module; closed unused, the code stops working.
        click(child(usersPage, "addDeviceButton"));
        QObject *pairDialog = usersPage->findChild<QObject *>(QStringLiteral("addDeviceDialog"));
        QTRY_VERIFY(pairDialog->property("opened").toBool());
        QMetaObject::invokeMethod(pairDialog, "createCode");
        const QString link = pairDialog->property("pairing").toMap().value(QStringLiteral("link")).toString();
        QVERIFY2(link.startsWith(QStringLiteral("https://127.0.0.1:")), qPrintable(link));
        QQuickItem *qr = pairDialog->findChild<QQuickItem *>(QStringLiteral("pairQrImage"));
        QTRY_COMPARE(qr->property("status").toInt(), 1);
        const QString id = qr->property("source").toUrl().toString(QUrl::RemoveScheme | QUrl::RemoveAuthority).mid(1);
        QSize size;
        const QImage drawn = static_cast<QQuickImageProvider *>(engine->imageProvider(QStringLiteral("qr")))
                                 ->requestImage(id, &size, QSize(300, 300));
        const int modulePixels = 300 / QrImageProvider::encode(link.toUtf8(), 1).width();
        QCOMPARE(drawn, QrImageProvider::encode(link.toUtf8(), modulePixels));
        QCOMPARE(size, drawn.size());
        QVERIFY(drawn.width() <= 300 && modulePixels >= 2);
        QCOMPARE(api->pairing()->openCount(), 1);
        QMetaObject::invokeMethod(pairDialog, "finish");
        QCOMPARE(api->pairing()->openCount(), 0);
        // Every screen of the list is there to choose, a wall as one.
        click(child(usersPage, "addUserButton"));
        QTRY_VERIFY(child(usersPage, "userForm")->isVisible());
        QCOMPARE(child(usersPage, "screenChoices")->property("count").toInt(), manager->rxlist()->rowCount());

        // Closed, the dialog keeps neither its page nor the unlock.
        click(item("settingsCloseButton"));
        QTRY_VERIFY(!layer("popupStack")->property("opened").toBool());
        QVERIFY(!loader->property("item").value<QQuickItem *>());
        QVERIFY(manager->locked());
    }

    // Closing the window with the wizard open takes the numbers off the displays first.
    void closingWithWizard()
    {
        QGuiApplication::setQuitOnLastWindowClosed(false);
        QMetaObject::invokeMethod(window, "showOptions");
        QMetaObject::invokeMethod(window, "showVwWizrd", Q_ARG(QVariant, QStringLiteral("Closing")));
        QQuickItem *wizard = item("vwWizardDialog");
        QTRY_VERIFY(wizard->isVisible());
        window->close();
        QTRY_VERIFY(!wizard->isVisible());
        QVERIFY(window->isVisible());
        QTRY_VERIFY(!window->isVisible());
    }

    // Latin and Chinese in one label at one weight: in Chinese one family draws both.
    void interfaceFontWeights()
    {
        for (const char *language : {"en_US", "zh_CN", "zh_TW"}) {
            QTextLayout layout(QStringLiteral("Lobby TX-1 \u5927\u5385\u5927\u5EF3"), interfaceFont(language));
            layout.beginLayout();
            layout.createLine();
            layout.endLayout();
            QSet<int> weights;
            QStringList families;
            for (const QGlyphRun &run : layout.glyphRuns()) {
                weights << run.rawFont().weight();
                families << run.rawFont().familyName();
            }
            families.removeDuplicates();
            const bool oneFamily = families.size() == 1 || language == QLatin1String("en_US");
            const bool fallback = !families.filter(QRegularExpression(QStringLiteral("^DejaVu"))).isEmpty();
            QVERIFY2(
                weights.size() == 1 && oneFamily && !fallback, qPrintable(language + (": " + families.join(", "))));
        }
    }

private:
    QQuickItem *item(const char *objectName) const { return window->findChild<QQuickItem *>(objectName); }
    QObject *layer(const char *objectName) const { return window->findChild<QObject *>(objectName); }
    void click(QQuickItem *target) { QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre(target)); }
    static QQuickItem *child(QQuickItem *parent, const char *objectName)
    {
        return parent->findChild<QQuickItem *>(QLatin1String(objectName));
    }
    // Items are laid out anew only when a frame is drawn: one is waited for before they are
    // measured.
    void laidOut()
    {
        QSignalSpy frame(window, &QQuickWindow::frameSwapped);
        window->update();
        QVERIFY(frame.wait(5000));
    }
    QPoint drag(QQuickItem *from, QPoint offset, int steps, int delay);
    void shoot(const QString &name);

    TestHome home;
    QTranslator translator;
    std::unique_ptr<OemSetting> oem;
    std::unique_ptr<Composition> composition;
    DeviceManager *manager = nullptr;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow *window = nullptr;
    QSize shotSize;
};

// Pressed at the middle of `from` and moved by `offset`; the caller releases it where it ends.
QPoint TstMainWindow::drag(QQuickItem *from, QPoint offset, int steps, int delay)
{
    const QPoint start = centre(from);
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, start);
    for (int step = 1; step <= steps; ++step)
        QTest::mouseMove(window, start + offset * step / steps, delay);
    return start + offset;
}

void TstMainWindow::shoot(const QString &name)
{
    const QString folder = qEnvironmentVariable("ZENTROVA_UI_SHOTS");
    if (folder.isEmpty())
        return;
    // Fades and slides end within a few frames.
    for (int frame = 0; frame < 10; ++frame)
        laidOut();
    window->grabWindow().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

QTEST_MAIN(TstMainWindow)

#include "tst_main_window.moc"
