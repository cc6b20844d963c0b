// scene_recall_bench fleet DECODERS ENCODERS COLUMNS ROWS COMMAND_MS ADDRESS...
//   stands in for the installation (fleet.h): DECODERS decoders, of which the first
//   COLUMNS x ROWS form a wall, and ENCODERS encoders; each decoder's shell takes
//   COMMAND_MS over a command. Run it only inside the test LAN's namespaces: it answers
//   broadcasts.
// scene_recall_bench controller DECODERS ENCODERS COLUMNS ROWS FLEET_LOG [RECALLS]
//   runs the controller with its window (offscreen) against that installation, recalls a
//   scene covering every decoder and the wall RECALLS times (default 3, two scenes in
//   turn) and prints, for each recall, when the last command reached its decoder (from
//   the fleet's notes in FLEET_LOG), when the last read-back confirmed, and the longest
//   time the event loop was blocked meanwhile.
// bench/scene_recall/run.sh builds the LAN and runs both.
#include "../bench_support.h"
#include "../fleet.h"
#include "app/composition.h"
#include "app/interface_setup.h"
#include "base/logging.h"
#include "base/oem_setting.h"
#include "manager/device_manager.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/vw_device.h"
#include "scenes/scene_recall.h"
#include "scenes/scene_service.h"
#include "scenes/scene_store.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QOpenGLContext>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>

namespace {

// What a device that takes one command at a time needs between two commands.
constexpr int PEER_COMMAND_GAP_MS = 500;
constexpr int TICK_MS = 5;
constexpr int SETTLE_MS = 1500;

qint64 threadCpuMicroseconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// The processor time the log handler takes on the window's thread, where a recall's
// commands and answers are logged line by line.
class LogHandlerClock
{
public:
    static void install()
    {
        logged = qInstallMessageHandler(handle);
        windowThread = QThread::currentThread();
    }
    static qint64 spentMicroseconds() { return spent; }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (QThread::currentThread() != windowThread) {
            logged(type, context, message);
            return;
        }
        const qint64 before = threadCpuMicroseconds();
        logged(type, context, message);
        spent += threadCpuMicroseconds() - before;
    }

    static inline QtMessageHandler logged = nullptr;
    static inline QThread *windowThread = nullptr;
    static inline qint64 spent = 0;
};

// The event loop's heartbeat: the longest gap between two ticks bounds the time the window
// could not have answered a touch. On a busy machine part of a gap is other processes'
// turn, so the most CPU time the thread spent between two ticks is kept too.
class Heartbeat
{
public:
    Heartbeat()
    {
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = monotonicMicroseconds();
            const qint64 cpu = threadCpuMicroseconds();
            longest = qMax(longest, now - lastTick);
            longestCpu = qMax(longestCpu, cpu - lastCpu);
            lastTick = now;
            lastCpu = cpu;
        });
        timer.start(TICK_MS);
        restart();
    }
    void restart()
    {
        longest = longestCpu = 0;
        lastTick = monotonicMicroseconds();
        lastCpu = threadCpuMicroseconds();
    }
    qint64 longestGap() const { return longest; }
    qint64 longestCpuBlock() const { return longestCpu; }

private:
    QTimer timer;
    qint64 lastTick = 0;
    qint64 lastCpu = 0;
    qint64 longest = 0;
    qint64 longestCpu = 0;
};

// Waits with the event loop running; false when `done` did not come true in time.
template <typename Done> bool waitFor(Done done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        spin(20);
    }
    return true;
}

struct Installation
{
    QVector<RxDevicePtr> decoders; // every decoder, wall members included
    QStringList targets; // plain decoders and walls, as a scene names them
    QStringList encoders;
    int wallMembers = 0;
};

Installation listed(DeviceManager &manager)
{
    Installation found;
    for (int row = 0; row < manager.rxlist()->rowCount(); ++row) {
        const DeviceBasePtr entry = manager.rxlist()->at(row);
        found.targets << entry->name();
        if (const auto decoder = entry.objectCast<RxDevice>())
            found.decoders << decoder;
        if (const auto *wall = qobject_cast<const VWDevice *>(entry.data())) {
            for (const RxDevicePtr &member : wall->members()) {
                if (member) {
                    found.decoders << member;
                    ++found.wallMembers;
                }
            }
        }
    }
    for (int row = 0; row < manager.txlist()->rowCount(); ++row)
        found.encoders << manager.txlist()->at(row)->name();
    return found;
}

bool linksIdle(const Installation &installation)
{
    return std::all_of(installation.decoders.cbegin(), installation.decoders.cend(), [](const RxDevicePtr &decoder) {
        return decoder->state() == RxDevice::Ready && decoder->pendingCommandCount() == 0;
    });
}

// The fleet's notes of one kind ("command", "datagram") taken at or after `since`, as
// microseconds after it.
QVector<qint64> notesSince(const QString &fleetLog, const QByteArray &kind, qint64 since)
{
    QVector<qint64> found;
    QFile file(fleetLog);
    if (!file.open(QIODevice::ReadOnly))
        return found;
    while (!file.atEnd()) {
        const QList<QByteArray> words = file.readLine().split(' ');
        if (words.size() >= 2 && words.at(0) == kind && words.at(1).toLongLong() >= since)
            found << words.at(1).toLongLong() - since;
    }
    std::sort(found.begin(), found.end());
    return found;
}

QString milliseconds(qint64 microseconds)
{
    return QString::number(double(microseconds) / 1000.0, 'f', 1) + QStringLiteral(" ms");
}

// The window as start-up builds it; it starts the search for devices by itself.
struct Window
{
    explicit Window(OemSetting *oem)
        : composition(oem, CommandLine())
    {
        // Without OpenGL the scene graph would abort; the program draws in software then too.
        QOpenGLContext probe;
        if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND") && !probe.create())
            QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
        QQmlContext *context = engine.rootContext();
        composition.publish(context);
        context->setContextProperty(QStringLiteral("oem"), oem);
        engine.load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
    }

    Composition composition;
    QQmlApplicationEngine engine;
};

int runController(int decoders, int encoders, int columns, int rows, const QString &fleetLog, int recalls)
{
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    // The program's own log, debug lines included, is part of what a recall costs.
    logging::install();
    LogHandlerClock::install();
    registerInterfaceTypes();
    OemSetting oem;
    Window window(&oem);
    DeviceManager &manager = *window.composition.manager();
    if (window.engine.rootObjects().isEmpty()) {
        out() << "the window did not load" << Qt::endl;
        return 1;
    }

    const int wallSize = columns * rows;
    Installation installation;
    const bool complete = waitFor(
        [&] {
            installation = listed(manager);
            return installation.decoders.size() == decoders && installation.wallMembers == wallSize
                && installation.encoders.size() == encoders && manager.pendingRxList()->rowCount() == 0;
        },
        120000);
    if (!complete || !waitFor([&] { return linksIdle(installation); }, 60000)) {
        out() << "installation not ready: " << installation.decoders.size() << " of " << decoders << " decoders ("
              << installation.wallMembers << " of " << wallSize << " in the wall), " << installation.encoders.size()
              << " of " << encoders << " encoders" << Qt::endl;
        return 1;
    }
    out() << "scene: " << installation.targets.size() << " targets (" << decoders - wallSize << " decoders and a "
          << columns << " x " << rows << " wall), " << decoders << " decoder commands and the wall's datagram"
          << Qt::endl;

    SceneService *scenes = window.composition.scenes();
    Heartbeat heartbeat;
    qint64 finishedAt = 0;
    qint64 handedOutAt = 0;
    QObject::connect(scenes, &SceneService::recallFinished, [&finishedAt] { finishedAt = monotonicMicroseconds(); });
    // The first progress comes once every route has been handed out.
    QObject::connect(scenes, &SceneService::recallProgress, [&handedOutAt] {
        if (!handedOutAt)
            handedOutAt = monotonicMicroseconds();
    });
    bool allConfirmed = true;
    for (int recall = 0; recall < recalls; ++recall) {
        // Each recall changes every screen: the sources move on by one encoder.
        Scene scene;
        scene.name = QStringLiteral("Bench %1").arg(recall % 2);
        for (int n = 0; n < installation.targets.size(); ++n)
            scene.sources.insert(installation.targets.at(n), installation.encoders.at((n + recall) % encoders));
        scenes->store()->save(scene);

        finishedAt = handedOutAt = 0;
        heartbeat.restart();
        const qint64 start = monotonicMicroseconds();
        const qint64 cpuAtStart = threadCpuMicroseconds();
        const qint64 loggingAtStart = LogHandlerClock::spentMicroseconds();
        scenes->recallScene(scene.name);
        waitFor([&] { return finishedAt != 0; }, 60000);
        spin(SETTLE_MS);
        const qint64 windowCpu = threadCpuMicroseconds() - cpuAtStart;
        const qint64 loggingCpu = LogHandlerClock::spentMicroseconds() - loggingAtStart;

        const QVector<qint64> commands = notesSince(fleetLog, "command", start);
        const QVector<qint64> datagrams = notesSince(fleetLog, "datagram", start);
        const int confirmed = scenes->recaller()->confirmedCount();
        allConfirmed = allConfirmed && confirmed == decoders && commands.size() == decoders;
        out() << "recall " << recall + 1 << ": every route handed out after " << milliseconds(handedOutAt - start)
              << "; commands at the decoders: " << commands.size() << " of " << decoders << ", the last "
              << milliseconds(commands.value(commands.size() - 1))
              << " after the tap; the wall's datagram: " << datagrams.size() << " (ports 5010 and 5011) after "
              << milliseconds(datagrams.value(datagrams.size() - 1)) << Qt::endl;
        out() << "          read-back confirmed: " << confirmed << " of " << decoders << ", the last "
              << (finishedAt ? milliseconds(finishedAt - start) : QStringLiteral("never")) << " after the tap"
              << "; the window's event loop: longest gap between two " << TICK_MS << " ms heartbeats "
              << milliseconds(heartbeat.longestGap()) << ", at most " << milliseconds(heartbeat.longestCpuBlock())
              << " of its CPU time between two" << Qt::endl;
        out() << "          the window's thread: " << milliseconds(windowCpu) << " of CPU time from the tap to "
              << SETTLE_MS << " ms after the last confirmation, " << milliseconds(loggingCpu) << " of it ("
              << QString::number(100.0 * double(loggingCpu) / double(qMax<qint64>(1, windowCpu)), 'f', 1)
              << " %) in the log handler" << Qt::endl;
        waitFor([&] { return linksIdle(installation); }, 30000);
    }
    out() << "one command after another, " << PEER_COMMAND_GAP_MS << " ms apart: " << decoders << " commands take "
          << decoders * PEER_COMMAND_GAP_MS / 1000.0 << " s; the wall alone " << wallSize << " commands, "
          << wallSize * PEER_COMMAND_GAP_MS / 1000.0 << " s" << Qt::endl;
    return allConfirmed ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setAttribute(Qt::AA_DisableHighDpiScaling, true);
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() >= 8 && args.at(1) == QLatin1String("fleet"))
        return runFleet({args.at(2).toInt(), args.at(3).toInt(), args.at(4).toInt(), args.at(5).toInt(),
            args.at(6).toInt(), args.mid(7)});
    if ((args.size() == 7 || args.size() == 8) && args.at(1) == QLatin1String("controller"))
        return runController(args.at(2).toInt(), args.at(3).toInt(), args.at(4).toInt(), args.at(5).toInt(), args.at(6),
            args.value(7, QStringLiteral("3")).toInt());
    out() << "usage: " << args.value(0)
          << " fleet DECODERS ENCODERS COLUMNS ROWS COMMAND_MS ADDRESS..."
             " | controller DECODERS ENCODERS COLUMNS ROWS FLEET_LOG [RECALLS]"
          << Qt::endl;
    return 2;
}
