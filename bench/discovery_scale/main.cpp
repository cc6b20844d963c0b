// discovery_scale_bench fleet DECODERS ENCODERS ADDRESS...
//   stands in for a large installation (fleet.h). Run it only inside the test LAN's
//   namespaces: it answers broadcasts.
// discovery_scale_bench controller DEVICES [RECEIVE_BUFFER_KIB]
//   runs the device manager against that installation and prints the figures; the
//   program's receive buffer request capped at RECEIVE_BUFFER_KIB stands in for a system
//   that grants no more (a stock Debian: 208).
// bench/discovery_scale/run.sh builds the LAN and runs both.
// discovery_scale_bench flood REPLIES SECONDS
//   sends REPLIES discovery replies with fresh names over SECONDS to the device manager on
//   loopback and prints how long the event loop was blocked at most, how often the settings
//   file was written and how much memory grew. Run it under scripts/netless.
#include "../bench_support.h"
#include "../fleet.h"
#include "base/oem_setting.h"
#include "discovery/broadcast_socket.h"
#include "discovery/device_discovery_response.h"
#include "discovery/discovery_record.h"
#include "manager/configuration_file.h"
#include "manager/device_manager.h"
#include "manager/device_registry.h"
#include "models/device_list_model.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QUdpSocket>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <numeric>
#include <sstream>
#include <thread>
#include <vector>

namespace {

constexpr int PASSES = 10;
constexpr int PASS_GAP_MS = 1000;

double cpuMs()
{
    return cpuSeconds() * 1000.0;
}

// The median leads: the 250 encoders of the fleet serve no preview, and their retries, every
// five seconds, land in some passes and not in others.
QString describe(std::vector<double> perPass)
{
    std::sort(perPass.begin(), perPass.end());
    const double mean = std::accumulate(perPass.begin(), perPass.end(), 0.0) / double(perPass.size());
    return QStringLiteral("median %1 ms (mean %2 ms, worst %3 ms)")
        .arg(perPass[perPass.size() / 2], 0, 'f', 2)
        .arg(mean, 0, 'f', 2)
        .arg(perPass.back(), 0, 'f', 2);
}

ino_t inodeOf(const QString &path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

// Whether every listed device has answered the latest request. A device that answered
// stays answered until the next request, so each check resumes where the last stopped:
// the pass is charged for the controller's work, not for the bench scanning its lists.
class AnswerCheck
{
public:
    explicit AnswerCheck(DeviceManager &manager)
        : lists {manager.rxlist(), manager.txlist()}
    {
    }

    bool allAnswered()
    {
        for (; list < lists.size(); ++list, row = 0) {
            for (; row < lists[list]->rowCount(); ++row) {
                if (lists[list]->at(row)->offlineCounter() != 0)
                    return false;
            }
        }
        return true;
    }

private:
    std::vector<DeviceListModel *> lists;
    size_t list = 0;
    int row = 0;
};

int listed(DeviceManager &manager)
{
    return manager.rxlist()->deviceCount() + manager.txlist()->rowCount();
}

// The figures are the controller's own work; writing its debug lines to the terminal
// would swamp them.
void dropDebugLines(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        QTextStream(stderr) << message << Qt::endl;
}

// The device manager as the program makes it, with a home of its own for its settings file.
struct BenchController
{
    QString configPath() const { return home.path() + QStringLiteral("/.zentrova/config.json"); }

    QTemporaryDir home;
    // Set before the manager reads its settings.
    bool homeSet = qputenv("HOME", QFile::encodeName(home.path()));
    OemSetting oem;
    DeviceManager manager {&oem};
};

// UDP datagrams the kernel dropped in this namespace because a receive buffer was full:
// replies that came faster than the controller read them.
long receiveBufferDrops()
{
    std::ifstream snmp("/proc/net/snmp");
    std::string names;
    std::string values;
    while (std::getline(snmp, names) && std::getline(snmp, values)) {
        if (names.rfind("Udp:", 0) != 0)
            continue;
        std::istringstream nameWords(names);
        std::istringstream valueWords(values);
        std::string name;
        std::string value;
        while (nameWords >> name && valueWords >> value) {
            if (name == "RcvbufErrors")
                return std::stol(value);
        }
    }
    return -1;
}

// The way replies reached the manager before they were read on a thread of their own: a
// socket of the window's thread, read by the registry at every signal. It asks as the
// program's own sockets do, from the same address and with the same receive buffer.
class WindowThreadPath
{
public:
    WindowThreadPath(DeviceManager &manager, const InterfaceSocket &like, int receiveBufferBytes)
        : manager(manager)
        , broadcast(like.broadcast)
    {
        socket.bind(like.ip, 0);
        socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, receiveBufferBytes);
        QObject::connect(&socket, &QUdpSocket::readyRead, &socket, [this] { this->manager.receiveDiscoveryResponse(&socket); });
    }

    // What the registry does at a pass, with the request sent from this socket.
    void sendDiscoveryMessage()
    {
        for (DeviceListModel *list : {manager.rxlist(), manager.pendingRxList(), manager.txlist()})
            list->increaseOfflineCounters();
        socket.writeDatagram(DISCOVERY_REQUEST, broadcast, DISCOVERY_REQUEST_PORT);
    }

private:
    DeviceManager &manager;
    QHostAddress broadcast;
    QUdpSocket socket;
};

// Figures of the passes taken one way.
struct PassFigures
{
    std::vector<double> process;
    std::vector<double> windowThread;
    qint64 answerMs = 0;
    long dropped = 0;
    int writes = 0;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// receiveBufferKiB: the most the program asks the system for, 0 for no limit.
int runController(int devices, int receiveBufferKiB)
{
    qInstallMessageHandler(dropDebugLines);
    BenchController controller;
    DeviceManager &manager = controller.manager;
    const QString config = controller.configPath();
    BroadcastSocket *sockets = manager.deviceRegistry()->socket();
    const int receiveBufferBytes
        = receiveBufferKiB > 0 ? receiveBufferKiB * 1024 : BroadcastSocket::RECEIVE_BUFFER_BYTES;
    sockets->setReceiveBufferLimit(receiveBufferBytes);
    out() << "receive buffer asked for: " << receiveBufferBytes / 1024 << " KiB" << Qt::endl;

    // One request only: nothing listed here can have come from a later pass. A busy machine
    // makes the devices slowly, so the wait is long; what was heard is told apart from it.
    QSet<QString> heard;
    const QMetaObject::Connection hearing = QObject::connect(sockets, &BroadcastSocket::repliesRead,
        [&heard](const DiscoveryReplies &replies) {
            for (const DiscoveryReply &reply : replies)
                heard.insert(reply.name);
        });
    const long dropsBefore = receiveBufferDrops();
    QElapsedTimer clock;
    clock.start();
    manager.startDiscovery(true);
    while (listed(manager) < devices && clock.elapsed() < 60000)
        spin(10);
    out() << "first pass: " << heard.size() << " of " << devices << " answers read, " << listed(manager)
          << " devices listed after " << clock.elapsed() << " ms (" << manager.pendingRxList()->rowCount()
          << " decoders still pending); replies dropped for a full receive buffer: "
          << receiveBufferDrops() - dropsBefore << Qt::endl;
    QObject::disconnect(hearing);
    if (sockets->interfaceSockets().isEmpty())
        return 1;
    out() << "sockets sharing the discovery address: " << 1 + sockets->interfaceSockets().first().sharers.size()
          << Qt::endl;
    WindowThreadPath windowThreadPath(manager, sockets->interfaceSockets().first(), receiveBufferBytes);
    spin(2000);

    double before = cpuMs();
    double threadBefore = threadCpuSeconds() * 1000.0;
    spin(PASS_GAP_MS * PASSES);
    const double idlePerMs = (cpuMs() - before) / (PASS_GAP_MS * PASSES);
    const double threadIdlePerMs = (threadCpuSeconds() * 1000.0 - threadBefore) / (PASS_GAP_MS * PASSES);
    // A pass is measured from the request to the handling of the last reply, less what
    // the same time costs when idle: the rest of the second only adds the noise of the
    // encoders' preview retries. The two ways take turns, so that both meet the same load.
    PassFigures ways[2];
    for (int pass = 0; pass < 2 * PASSES; ++pass) {
        PassFigures &figures = ways[pass % 2];
        const ino_t file = inodeOf(config);
        const long drops = receiveBufferDrops();
        QEventLoop answered;
        AnswerCheck answers {manager};
        const QMetaObject::Connection check
            = QObject::connect(manager.deviceRegistry(), &DeviceRegistry::onlineStatesChanged, &answered, [&] {
                  if (answers.allAnswered())
                      answered.quit();
              });
        QTimer::singleShot(PASS_GAP_MS, &answered, &QEventLoop::quit);
        QElapsedTimer took;
        took.start();
        before = cpuMs();
        threadBefore = threadCpuSeconds() * 1000.0;
        if (pass % 2 == 0)
            manager.sendDiscoveryMessage();
        else
            windowThreadPath.sendDiscoveryMessage();
        answered.exec();
        figures.process.push_back(cpuMs() - before - idlePerMs * double(took.elapsed()));
        figures.windowThread.push_back(
            threadCpuSeconds() * 1000.0 - threadBefore - threadIdlePerMs * double(took.elapsed()));
        figures.answerMs += took.elapsed();
        QObject::disconnect(check);
        // A pass that ran out of time has no gap left.
        spin(int(qMax<qint64>(0, PASS_GAP_MS - took.elapsed())));
        figures.writes += inodeOf(config) != file ? 1 : 0;
        figures.dropped += receiveBufferDrops() - drops;
    }
    const char *names[2] = {"read on the discovery thread", "read directly on the window's thread"};
    for (int way = 0; way < 2; ++way) {
        const PassFigures &figures = ways[way];
        out() << "passes " << names[way] << ":" << Qt::endl;
        out() << "  CPU per discovery pass at steady state: " << describe(figures.process)
              << " above idle (every reply handled " << figures.answerMs / PASSES
              << " ms after the request; idle second: " << idlePerMs * 1000 << " ms)" << Qt::endl;
        out() << "  of it on the controller's event-loop thread: " << describe(figures.windowThread)
              << " (idle second: " << threadIdlePerMs * 1000 << " ms)" << Qt::endl;
        out() << "  settings file writes in " << PASSES << " passes where nothing changed: " << figures.writes
              << "; replies dropped for a full receive buffer: " << figures.dropped << Qt::endl;
    }
    out() << "event-loop thread per pass, discovery thread against the window's thread: "
          << QString::number(median(ways[0].windowThread) / median(ways[1].windowThread), 'f', 2) << " of the median"
          << Qt::endl;

    ConfigurationFile *file = manager.configurationFile();
    before = cpuMs();
    file->saveNow();
    const double unchanged = cpuMs() - before;
    manager.rxlist()->setData(manager.rxlist()->index(0), QStringLiteral("Renamed"), DeviceListModel::AliasRole);
    before = cpuMs();
    file->saveNow();
    out() << "CPU per settings save: " << (cpuMs() - before) << " ms with a change, " << unchanged
          << " ms without (nothing written)" << Qt::endl;
    return listed(manager) == devices ? 0 : 1;
}

// Resident memory of this process in KiB, from the kernel's status lines.
long residentKiB(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        long value = 0;
        if (key == field && status >> value)
            return value;
        status.ignore(1 << 16, '\n');
    }
    return -1;
}

int runFlood(int replies, int seconds)
{
    qInstallMessageHandler(dropDebugLines);
    BenchController controller;
    DeviceManager &manager = controller.manager;
    const QString config = controller.configPath();
    QUdpSocket receiver;
    receiver.bind(QHostAddress::LocalHost, 0);
    receiver.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 8 * 1024 * 1024);
    QObject::connect(&receiver, &QUdpSocket::readyRead, &manager, [&] { manager.receiveDiscoveryResponse(&receiver); });
    const quint16 port = receiver.localPort();
    const long residentBefore = residentKiB("VmRSS:");

    // The event loop's heartbeat: the longest gap between two ticks is the longest block.
    constexpr int TICK_MS = 5;
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    int writes = 0;
    ino_t file = inodeOf(config);
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longestGap = qMax(longestGap, sinceTick.restart());
        const ino_t now = inodeOf(config);
        writes += now != file ? 1 : 0;
        file = now;
    });
    sinceTick.start();
    heartbeat.start(TICK_MS);

    std::atomic<bool> sent {false};
    std::thread sender([&] {
        QUdpSocket socket;
        const qint64 spacingUs = qint64(seconds) * 1000000 / replies;
        QElapsedTimer clock;
        clock.start();
        for (int n = 0; n < replies; ++n) {
            const QString name = (n % 2 ? QStringLiteral("IPD9FLOOD-7C2E0D%1") : QStringLiteral("IPE9FLOOD-7C2E0E%1"))
                                     .arg(n, 6, 16, QLatin1Char('0'))
                                     .toUpper();
            socket.writeDatagram(makeDiscoveryRecord(name, QString()), QHostAddress::LocalHost, port);
            while (clock.nsecsElapsed() / 1000 < spacingUs * (n + 1))
                std::this_thread::yield();
        }
        sent = true;
    });
    QElapsedTimer clock;
    clock.start();
    while (!sent || receiver.hasPendingDatagrams())
        spin(50);
    const qint64 drained = clock.elapsed();
    spin(2000);
    sender.join();
    out() << replies << " replies with fresh names in " << seconds << " s: read " << drained << " ms after the first; "
          << manager.txlist()->rowCount() << " encoders and "
          << manager.pendingRxList()->rowCount() + manager.rxlist()->rowCount() << " decoders made" << Qt::endl;
    out() << "longest event loop block: " << (longestGap - TICK_MS) << " ms; settings file writes: " << writes
          << "; resident memory grew by " << (residentKiB("VmRSS:") - residentBefore) / 1024 << " MiB (peak "
          << residentKiB("VmHWM:") / 1024 << " MiB)" << Qt::endl;
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() >= 5 && args.at(1) == QLatin1String("fleet"))
        return runFleet({args.at(2).toInt(), args.at(3).toInt(), 0, 0, 0, args.mid(4)});
    if ((args.size() == 3 || args.size() == 4) && args.at(1) == QLatin1String("controller"))
        return runController(args.at(2).toInt(), args.value(3).toInt());
    if (args.size() == 4 && args.at(1) == QLatin1String("flood"))
        return runFlood(args.at(2).toInt(), args.at(3).toInt());
    out() << "usage: " << args.value(0)
          << " fleet DECODERS ENCODERS ADDRESS... | controller DEVICES [RECEIVE_BUFFER_KIB] | flood REPLIES SECONDS" << Qt::endl;
    return 2;
}
