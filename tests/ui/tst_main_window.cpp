#include "common.h"
#include "manager/device_manager.h"
#include "mini_video_source.h"
#include "models/device_list_model.h"
#include "models/rx_device_base.h"
#include "oem_setting.h"
#include "remote/remote_service.h"
#include "test_home.h"

#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTranslator>
#include <QtTest>

#include <memory>

namespace {

QStringList qmlProblems;
QtMessageHandler previousHandler = nullptr;

// Warnings from the interface files (type errors, failed loads, binding loops) fail the test.
void collectQmlProblems(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type != QtDebugMsg && type != QtInfoMsg
        && (QByteArray(context.file).startsWith("qrc:/qml") || text.contains(QLatin1String("qrc:/qml"))))
        qmlProblems << text;
    previousHandler(type, context, text);
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
// ZENTROVA_UI_SHOTS set to a folder, it also saves a picture of every screen it opens.
class TstMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void mainScreen();
    void settings();

private:
    QQuickItem *item(const char *objectName) const { return window->findChild<QQuickItem *>(objectName); }
    QObject *layer(const char *objectName) const { return window->findChild<QObject *>(objectName); }
    void click(QQuickItem *target) { QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre(target)); }
    QPoint drag(QQuickItem *from, QPoint offset, int steps, int delay);
    void shoot(const QString &name);

    TestHome home;
    QTranslator translator;
    std::unique_ptr<OemSetting> oem;
    std::unique_ptr<DeviceManager> manager;
    std::unique_ptr<RemoteService> remote;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow *window = nullptr;
};

void TstMainWindow::initTestCase()
{
    previousHandler = qInstallMessageHandler(collectQmlProblems);
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    loadLanguage(qApp, &translator);
    registerInterfaceTypes();
    oem = std::make_unique<OemSetting>();
    manager = std::make_unique<DeviceManager>(oem.get());
    manager->enterDemoMode();
    remote = std::make_unique<RemoteService>(manager.get());
    engine = std::make_unique<QQmlApplicationEngine>();
    engine->rootContext()->setContextProperty(QStringLiteral("manager"), manager.get());
    engine->rootContext()->setContextProperty(QStringLiteral("oem"), oem.get());
    engine->rootContext()->setContextProperty(QStringLiteral("remoteApi"), remote.get());
    engine->load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
    window = qobject_cast<QQuickWindow *>(engine->rootObjects().value(0));
    QVERIFY(window);
    // Started in demo mode, the start screen leads straight to the main screen.
    QTRY_VERIFY_WITH_TIMEOUT(item("mainFrame")->isVisible(), 10000);
}

void TstMainWindow::cleanupTestCase()
{
    engine.reset();
    qInstallMessageHandler(previousHandler);
    QVERIFY2(qmlProblems.isEmpty(), qPrintable(qmlProblems.join(QLatin1Char('\n'))));
}

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
    QTest::qWait(700);
    window->grabWindow().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

void TstMainWindow::mainScreen()
{
    QQuickItem *txList = item("txListView");
    QTRY_COMPARE(txList->property("count").toInt(), 30);
    // The first wall is selected at start and plays its source.
    QTRY_VERIFY(manager->rxsource()->videoAvaiable());
    shoot(QStringLiteral("main-screen"));
    const QRect strip = txList->mapRectToScene(txList->boundingRect()).toRect();
    QTest::qWait(1500);
    const QImage before = window->grabWindow().copy(strip);
    QTest::qWait(1000);
    QVERIFY2(window->grabWindow().copy(strip) != before, "the thumbnails did not change within a second");

    // A page to the right shows the way back, which leads to the start again.
    QVERIFY(!item("txScrollLeft")->isVisible());
    click(item("txScrollRight"));
    QTRY_VERIFY(item("txScrollLeft")->isVisible());
    click(item("txScrollLeft"));
    QTRY_COMPARE(txList->property("contentX").toReal(), 0.0);

    click(item("displayOnButton"));
    QTRY_VERIFY(layer("dialogLayer")->property("opened").toBool());
    click(item("dialogOkButton"));
    QObject *toast = layer("toastLayer");
    QTRY_COMPARE(toast->property("text").toString(), QStringLiteral("All monitors are opened"));
    QVERIFY(toast->property("visible").toBool());
    // What the manager reports going wrong reaches the user the same way.
    emit manager->errorOccured(QStringLiteral("The settings could not be saved to /x."));
    QTRY_COMPARE(toast->property("text").toString(), QStringLiteral("The settings could not be saved to /x."));

    // A thumbnail dropped on the video area routes it to the selected decoder, dropped on the
    // zone beside it to every decoder.
    auto sourceOf = [this](int row) {
        auto device = qSharedPointerDynamicCast<RxDeviceBase>(manager->rxlist()->at(row));
        return device ? device->currentSource() : QStringLiteral("(no decoder)");
    };
    const QString encoder = QStringLiteral("IPE9DEMO-7C2E0DFF0002");
    item("rxListView")->setProperty("currentIndex", 1);
    QQuickItem *thumbnail = row(item("txListView"), 1)->findChild<QQuickItem *>(QStringLiteral("txContent"));
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier,
        drag(thumbnail, centre(item("rxVideo")) - centre(thumbnail), 20, 10), 10);
    QTRY_COMPARE(sourceOf(1), encoder);
    QCOMPARE(sourceOf(2), QString());
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier,
        drag(thumbnail, centre(item("allScreensZone")) - centre(thumbnail), 20, 10), 10);
    for (int row = 1; row <= 4; ++row)
        QTRY_COMPARE(sourceOf(row), encoder);
}

void TstMainWindow::settings()
{
    QMetaObject::invokeMethod(window, "showOptions");
    // The pop-up takes no input while it fades in.
    QTRY_VERIFY(layer("popupStack")->property("opened").toBool());
    QQuickItem *loader = item("settingsPageLoader");
    const QStringList pages {
        QStringLiteral("names"), QStringLiteral("walls"), QStringLiteral("advanced"), QStringLiteral("system")};
    for (int page = pages.size() - 1; page >= 0; --page) {
        item("settingsNavigation")->setProperty("currentIndex", page);
        QTRY_COMPARE(loader->property("status").toInt(), 1);
        shoot(QStringLiteral("settings-") + pages.at(page));
    }
    // The first row dragged down by its handle over two rows ends third. Pages left behind
    // may not be gone yet; only the loaded one counts.
    QQuickItem *rows = qvariant_cast<QQuickItem *>(loader->property("item"))
                           ->findChild<QQuickItem *>(QStringLiteral("deviceEditorList"));
    QQuickItem *handle = row(rows, 0)->findChild<QQuickItem *>(QStringLiteral("sequenceHandle"));
    const QString firstName = manager->rxlist()->at(0)->name();
    // The row places its columns when it is first drawn, and a page just loaded lets the
    // list take the first press for a moment.
    QTRY_VERIFY(handle->parentItem()->x() > 0);
    QTest::qWait(300);
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
    QMetaObject::invokeMethod(item("nextButton")->parentItem(), "goNext");
    QQuickItem *placePage = item("createButton")->parentItem();
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

    QQuickItem *walls = qvariant_cast<QQuickItem *>(item("settingsPageLoader")->property("item"))
                            ->findChild<QQuickItem *>(QStringLiteral("wallList"));
    QTRY_VERIFY(row(walls, 3));
    click(row(walls, 3)->findChild<QQuickItem *>(QStringLiteral("deleteWallButton")));
    QTRY_VERIFY(layer("dialogLayer")->property("opened").toBool());
    click(item("dialogOkButton"));
    QTRY_COMPARE(item("rxListView")->property("count").toInt(), 7);
}

QTEST_MAIN(TstMainWindow)

#include "tst_main_window.moc"
