#include "common.h"
#include "manager/device_manager.h"
#include "mini_video_source.h"
#include "models/device_list_model.h"
#include "models/rx_device_base.h"
#include "oem_setting.h"
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
    const bool fromQml = QString::fromUtf8(context.file ? context.file : "").startsWith(QLatin1String("qrc:/qml"))
        || text.contains(QLatin1String("qrc:/qml"));
    if (type != QtDebugMsg && type != QtInfoMsg && fromQml)
        qmlProblems << text;
    previousHandler(type, context, text);
}

int countRows(QAbstractItemModel *model, const QString &category)
{
    int count = 0;
    for (int row = 0; row < model->rowCount(); ++row)
        count += model->index(row, 0).data(DeviceListModel::CategoryRole).toString() == category ? 1 : 0;
    return count;
}

} // namespace

// Drives the window as start-up builds it with --demo. With ZENTROVA_UI_SHOTS set to a
// folder, it also saves a picture of every screen it passes through, for people to look at.
class TstMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void listsShowTheDemoInstallation();
    void thumbnailsShowMovingVideo();
    void displayButtonsAskAndAnswer();
    void draggingAThumbnailRoutesIt();
    void settingsPagesOpen();
    void wizardCreatesAWall();

private:
    QQuickItem *item(const char *objectName) const;
    QVariant call(const char *function, const QVariant &argument = QVariant());
    void showOptions();
    void click(QQuickItem *target);
    void drag(QQuickItem *from, QQuickItem *to);
    QString sourceOf(int rxRow) const;
    void shoot(const QString &name);

    TestHome home;
    QTranslator translator;
    std::unique_ptr<OemSetting> oem;
    std::unique_ptr<DeviceManager> manager;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow *window = nullptr;
    QString shotFolder;
};

void TstMainWindow::initTestCase()
{
    previousHandler = qInstallMessageHandler(collectQmlProblems);
    shotFolder = qEnvironmentVariable("ZENTROVA_UI_SHOTS");
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    loadLanguage(qApp, &translator);
    registerInterfaceTypes();

    oem = std::make_unique<OemSetting>();
    manager = std::make_unique<DeviceManager>(oem.get());
    manager->enterDemoMode();
    engine = std::make_unique<QQmlApplicationEngine>();
    engine->rootContext()->setContextProperty(QStringLiteral("manager"), manager.get());
    engine->rootContext()->setContextProperty(QStringLiteral("oem"), oem.get());
    engine->load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
    QCOMPARE(engine->rootObjects().size(), 1);
    window = qobject_cast<QQuickWindow *>(engine->rootObjects().first());
    QVERIFY(window);
    QCOMPARE(window->objectName(), QStringLiteral("mainWindow"));
    shoot(QStringLiteral("start-screen"));

    // Started in demo mode, the start screen leads straight to the main screen.
    QTRY_VERIFY_WITH_TIMEOUT(item("mainFrame")->isVisible(), 10000);
    QTRY_VERIFY(!window->findChild<QObject *>(QStringLiteral("retryButton"))->property("visible").toBool());
}

void TstMainWindow::cleanupTestCase()
{
    engine.reset();
    manager.reset();
    oem.reset();
    qInstallMessageHandler(previousHandler);
    QVERIFY2(qmlProblems.isEmpty(), qPrintable(qmlProblems.join(QLatin1Char('\n'))));
}

QQuickItem *TstMainWindow::item(const char *objectName) const
{
    auto *found = window->findChild<QQuickItem *>(QString::fromLatin1(objectName));
    if (!found)
        qFatal("no item named %s", objectName);
    return found;
}

QVariant TstMainWindow::call(const char *function, const QVariant &argument)
{
    QVariant result;
    if (argument.isValid())
        QMetaObject::invokeMethod(window, function, Q_RETURN_ARG(QVariant, result), Q_ARG(QVariant, argument));
    else
        QMetaObject::invokeMethod(window, function, Q_RETURN_ARG(QVariant, result));
    return result;
}

void TstMainWindow::shoot(const QString &name)
{
    if (shotFolder.isEmpty())
        return;
    QTest::qWait(700);
    window->grabWindow().save(shotFolder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

void TstMainWindow::listsShowTheDemoInstallation()
{
    QQuickItem *txList = item("txListView");
    QQuickItem *rxList = item("rxListView");
    QTRY_COMPARE(txList->property("count").toInt(), 30);
    QCOMPARE(rxList->property("count").toInt(), 7);
    auto *rxModel = qvariant_cast<QAbstractItemModel *>(rxList->property("model"));
    QVERIFY(rxModel);
    QCOMPARE(countRows(rxModel, QStringLiteral("vw")), 3);
    QCOMPARE(countRows(rxModel, QStringLiteral("rx")), 4);
    // The first wall is selected and shows its source.
    QCOMPARE(rxList->property("currentIndex").toInt(), 0);
    QTRY_COMPARE(manager->currentVwSize(), QSize(2, 2));
    QTRY_VERIFY(manager->rxsource()->videoAvaiable());
    shoot(QStringLiteral("main-screen"));

    // Paging the strip: a page to the right shows the way back, and back it is at the start.
    QVERIFY(!item("txScrollLeft")->isVisible());
    click(item("txScrollRight"));
    QTRY_VERIFY(txList->property("contentX").toReal() > txList->width() / 2);
    QTRY_VERIFY(item("txScrollLeft")->isVisible());
    for (int page = 0; page < 10 && item("txScrollLeft")->isVisible(); ++page)
        click(item("txScrollLeft"));
    QCOMPARE(txList->property("contentX").toReal(), 0.0);
}

void TstMainWindow::thumbnailsShowMovingVideo()
{
    QQuickItem *txList = item("txListView");
    const QRect strip = txList->mapRectToScene(QRectF(0, 0, txList->width(), txList->height())).toRect();
    QTest::qWait(1500);
    const QImage before = window->grabWindow().copy(strip);
    QTest::qWait(1000);
    const QImage after = window->grabWindow().copy(strip);
    QVERIFY(!before.isNull());
    QVERIFY2(before != after, "the thumbnails did not change within a second");
    // A placeholder would be nearly one colour; the demo picture has many.
    QSet<QRgb> colours;
    for (int x = 0; x < after.width(); x += 7)
        colours.insert(after.pixel(x, after.height() / 3));
    QVERIFY2(colours.size() > 5, "the thumbnails show no picture");
}

void TstMainWindow::click(QQuickItem *target)
{
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier,
        target->mapToScene(QPointF(target->width() / 2, target->height() / 2)).toPoint());
}

void TstMainWindow::displayButtonsAskAndAnswer()
{
    QQuickItem *button = item("displayOnButton");
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier,
        button->mapToScene(QPointF(button->width() / 2, button->height() / 2)).toPoint());
    QObject *layer = window->findChild<QObject *>(QStringLiteral("dialogLayer"));
    QTRY_VERIFY(layer->property("opened").toBool());
    QCOMPARE(layer->property("question").toString(), QStringLiteral("Are you sure want to turn on all monitors?"));
    shoot(QStringLiteral("question"));
    QQuickItem *ok = item("dialogOkButton");
    QTest::mouseClick(
        window, Qt::LeftButton, Qt::NoModifier, ok->mapToScene(QPointF(ok->width() / 2, ok->height() / 2)).toPoint());
    QTRY_VERIFY(!layer->property("visible").toBool());
    QObject *toast = window->findChild<QObject *>(QStringLiteral("toastLayer"));
    QTRY_VERIFY(toast->property("visible").toBool());
    QCOMPARE(toast->property("text").toString(), QStringLiteral("All monitors are opened"));
    shoot(QStringLiteral("toast"));

    // What the manager reports going wrong reaches the user the same way.
    emit manager->errorOccured(QStringLiteral("The settings could not be saved to /x."));
    QTRY_COMPARE(toast->property("text").toString(), QStringLiteral("The settings could not be saved to /x."));
    QVERIFY(toast->property("visible").toBool());
}

void TstMainWindow::drag(QQuickItem *from, QQuickItem *to)
{
    const QPoint start = from->mapToScene(QPointF(from->width() / 2, from->height() / 2)).toPoint();
    const QPoint end = to->mapToScene(QPointF(to->width() / 2, to->height() / 2)).toPoint();
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, start);
    for (int step = 1; step <= 20; ++step) {
        QTest::mouseMove(window, start + (end - start) * step / 20, 10);
    }
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, end, 10);
}

QString TstMainWindow::sourceOf(int rxRow) const
{
    auto device = qSharedPointerDynamicCast<RxDeviceBase>(manager->rxlist()->at(rxRow));
    return device ? device->currentSource() : QStringLiteral("(no decoder)");
}

void TstMainWindow::draggingAThumbnailRoutesIt()
{
    QQuickItem *rxList = item("rxListView");
    QQuickItem *txList = item("txListView");
    rxList->setProperty("currentIndex", 1);
    QQuickItem *secondCell = nullptr;
    QMetaObject::invokeMethod(txList, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, secondCell), Q_ARG(int, 1));
    QVERIFY(secondCell);
    QQuickItem *thumbnail = secondCell->findChild<QQuickItem *>(QStringLiteral("txContent"));
    QQuickItem *cellHome = thumbnail->parentItem();

    drag(thumbnail, item("rxVideo"));
    QTRY_COMPARE(sourceOf(1), QStringLiteral("IPE9DEMO-7C2E0DFF0002"));
    QCOMPARE(sourceOf(2), QString());
    QTRY_COMPARE(thumbnail->parentItem(), cellHome);

    drag(thumbnail, item("allScreensZone"));
    for (int row = 1; row <= 4; ++row)
        QTRY_COMPARE(sourceOf(row), QStringLiteral("IPE9DEMO-7C2E0DFF0002"));
    QTRY_COMPARE(thumbnail->parentItem(), cellHome);
    rxList->setProperty("currentIndex", 0);
}

void TstMainWindow::showOptions()
{
    call("showOptions");
    // The pop-up takes no input while it fades in.
    QTRY_VERIFY(window->findChild<QObject *>(QStringLiteral("popupStack"))->property("opened").toBool());
}

void TstMainWindow::settingsPagesOpen()
{
    showOptions();
    QQuickItem *navigation = item("settingsNavigation");
    QQuickItem *loader = item("settingsPageLoader");
    const QStringList pages {
        QStringLiteral("names"), QStringLiteral("walls"), QStringLiteral("advanced"), QStringLiteral("system")};
    for (int page = 0; page < pages.size(); ++page) {
        navigation->setProperty("currentIndex", page);
        QTRY_COMPARE(loader->property("status").toInt(), 1);
        QVERIFY(qvariant_cast<QQuickItem *>(loader->property("item")));
        shoot(QStringLiteral("settings-") + pages.at(page) + (page == 2 ? QStringLiteral("-locked") : QString()));
    }
    // Re-ordering: the first row dragged down by its handle over two rows ends third.
    navigation->setProperty("currentIndex", 0);
    QTRY_COMPARE(loader->property("status").toInt(), 1);
    // Pages left behind may not be gone yet; only the loaded one counts.
    auto *rows = qvariant_cast<QQuickItem *>(loader->property("item"))
                     ->findChild<QQuickItem *>(QStringLiteral("deviceEditorList"));
    QVERIFY(rows);
    QQuickItem *firstRow = nullptr;
    QMetaObject::invokeMethod(rows, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, firstRow), Q_ARG(int, 0));
    QVERIFY(firstRow);
    const QString firstName = manager->rxlist()->at(0)->name();
    QQuickItem *handle = firstRow->findChild<QQuickItem *>(QStringLiteral("sequenceHandle"));
    // The row places its columns when it is first drawn.
    QTRY_VERIFY(handle->parentItem()->x() > 0);
    const QPoint start = handle->mapToScene(QPointF(handle->width() / 2, handle->height() / 2)).toPoint();
    // A page that has just been loaded lets the list take the first press for a moment.
    QTest::qWait(300);
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, start);
    // At a hand's pace, so that the rows slide aside before the next one is crossed.
    for (int step = 1; step <= 30; ++step)
        QTest::mouseMove(window, start + QPoint(0, step * 5), 40);
    QVERIFY(manager->inOptions());
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, start + QPoint(0, 150), 300);
    QTRY_COMPARE(manager->rxlist()->at(2)->name(), firstName);
    QVERIFY(!manager->inOptions());

    navigation->setProperty("currentIndex", 2);
    QTRY_VERIFY(item("loginPanel")->isVisible());
    QVERIFY(manager->login(QStringLiteral("tulpe")));
    QTRY_VERIFY(item("sections")->isVisible());
    QVERIFY(!item("loginPanel")->isVisible());
    QObject *advanced = qvariant_cast<QObject *>(loader->property("item"));
    advanced->setProperty("openSection", 0);
    shoot(QStringLiteral("settings-advanced-unlocked"));
    advanced->setProperty("openSection", 1);
    shoot(QStringLiteral("settings-advanced-power"));
    call("hideOptions");
}

void TstMainWindow::wizardCreatesAWall()
{
    // Named on the wall page, as a user starts it.
    showOptions();
    item("settingsNavigation")->setProperty("currentIndex", 1);
    QTRY_VERIFY(window->findChild<QQuickItem *>(QStringLiteral("createWallRow")));
    click(item("createWallRow"));
    QTRY_VERIFY(window->findChild<QObject *>(QStringLiteral("dialogLayer"))->property("opened").toBool());
    for (const char key : QByteArrayLiteral(" Lobby "))
        QTest::keyClick(window, key);
    click(item("dialogOkButton"));
    QQuickItem *next = item("nextButton");
    QTRY_VERIFY(next->isVisible());
    shoot(QStringLiteral("wizard-size"));
    QMetaObject::invokeMethod(next->parentItem(), "goNext");
    QQuickItem *create = item("createButton");
    QTRY_VERIFY(create->isVisible());
    QQuickItem *placePage = create->parentItem();
    // The demo decoders are numbered 1 to 4.
    for (int cell = 0; cell < 4; ++cell)
        QMetaObject::invokeMethod(placePage, "acceptRxInCell", Q_ARG(QVariant, cell), Q_ARG(QVariant, 4 - cell));
    shoot(QStringLiteral("wizard-place"));
    QMetaObject::invokeMethod(placePage, "saveVideoWall");
    QTRY_VERIFY(!create->isVisible());
    QCOMPARE(manager->deviceAliasExists(QStringLiteral("Lobby")), true);
    QCOMPARE(countRows(manager->rxlist(), QStringLiteral("vw")), 4);
    QCOMPARE(countRows(manager->rxlist(), QStringLiteral("rx")), 0);
    // The new wall is selected.
    QTRY_COMPARE(manager->currentVwSize(), QSize(2, 2));
    QCOMPARE(item("rxListView")->property("currentIndex").toInt(), 3);

    // Deleted again on the wall page: its decoders return to the list.
    auto *page = qvariant_cast<QQuickItem *>(item("settingsPageLoader")->property("item"));
    QQuickItem *walls = page->findChild<QQuickItem *>(QStringLiteral("wallList"));
    QTRY_COMPARE(walls->property("count").toInt(), 4);
    QQuickItem *lobbyRow = nullptr;
    QTRY_VERIFY(QMetaObject::invokeMethod(walls, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, lobbyRow), Q_ARG(int, 3))
        && lobbyRow);
    click(lobbyRow->findChild<QQuickItem *>(QStringLiteral("deleteWallButton")));
    QObject *layer = window->findChild<QObject *>(QStringLiteral("dialogLayer"));
    QTRY_VERIFY(layer->property("opened").toBool());
    QCOMPARE(
        layer->property("question").toString(), QStringLiteral("Are you sure to delete the video wall \"Lobby\" ?"));
    click(item("dialogOkButton"));
    QTRY_COMPARE(countRows(manager->rxlist(), QStringLiteral("rx")), 4);
    QCOMPARE(countRows(manager->rxlist(), QStringLiteral("vw")), 3);
    call("hideOptions");
}

QTEST_MAIN(TstMainWindow)

#include "tst_main_window.moc"
