// discovery_scale_bench fleet DECODERS ENCODERS ADDRESS...
//   stands in for a large installation: every address answers discovery for its share of
//   the devices and serves a decoder shell on port 24 that answers the two information
//   queries itself. Run it only inside the test LAN's namespaces: it answers broadcasts.
// discovery_scale_bench controller DEVICES
//   runs the device manager against that installation and prints the figures.
// bench/discovery_scale/run.sh builds the LAN and runs both.
// discovery_scale_bench flood REPLIES SECONDS
//   sends REPLIES discovery replies with fresh names over SECONDS to the device manager on
//   loopback and prints how long the event loop was blocked at most, how often the settings
//   file was written and how much memory grew. Run it under scripts/netless.
#include "../bench_support.h"
#include "discovery/broadcast_socket.h"
#include "discovery/device_discovery_response.h"
#include "discovery/discovery_record.h"
#include "manager/configuration_file.h"
#include "manager/device_manager.h"
#include "manager/device_registry.h"
#include "models/device_list_model.h"
#include "oem_setting.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QUdpSocket>

#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <thread>

namespace {

const QByteArray PROMPT = "/ # ";
constexpr int PASSES = 5;
constexpr int PASS_GAP_MS = 1000;

double cpuMs()
{
    return cpuSeconds() * 1000.0;
}

// Runs the event loop for a while without spinning, so that idle time costs no CPU.
void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A decoder shell that knows only the two start-up queries: no login, every line echoed,
// telnet negotiation ignored.
class FakeShell : public QObject
{
public:
    explicit FakeShell(QTcpSocket *socket)
        : QObject(socket)
        , socket(socket)
    {
        connect(socket, &QTcpSocket::readyRead, this, &FakeShell::onReadyRead);
        socket->write(PROMPT);
    }

private:
    void onReadyRead()
    {
        for (const char c : socket->readAll()) {
            if (skip > 0) {
                --skip;
            } else if (quint8(c) == 0xFF) {
                skip = 2;
            } else if (c == '\n') {
                answer(line.trimmed());
                line.clear();
            } else {
                line.append(c);
            }
        }
    }

    void answer(const QByteArray &command)
    {
        QByteArray output;
        if (command.endsWith("source_select"))
            output = "NULL\r\n";
        else if (command.endsWith("crop_param"))
            output = "0:0:0:0\r\n";
        socket->write(command + "\r\n" + output + PROMPT);
        // When a route reached the decoder, for the control API's benchmark.
        if (command.contains("--source-select="))
            out() << "command " << monotonicMicroseconds() << ' ' << command << Qt::endl;
    }

    QTcpSocket *socket;
    QByteArray line;
    int skip = 0;
};

int runFleet(int decoders, int encoders, const QStringList &addresses)
{
    // A socket bound to one address never sees a broadcast: one listener takes the
    // requests, and each device answers from the address it was given.
    QUdpSocket listener;
    if (!listener.bind(QHostAddress::AnyIPv4, DISCOVERY_REQUEST_PORT, QUdpSocket::ReuseAddressHint)) {
        out() << "cannot bind the discovery port" << Qt::endl;
        return 1;
    }
    QList<QUdpSocket *> senders;
    for (const QString &address : addresses) {
        senders << new QUdpSocket(qApp);
        if (!senders.last()->bind(QHostAddress(address), 0)) {
            out() << "cannot bind " << address << Qt::endl;
            return 1;
        }
    }
    QList<QByteArray> records;
    for (int n = 0; n < decoders + encoders; ++n) {
        const QString name = n < decoders ? QStringLiteral("IPD9BENCH-7C2E0D%1").arg(n, 6, 16, QLatin1Char('0'))
                                          : QStringLiteral("IPE9BENCH-7C2E0E%1").arg(n, 6, 16, QLatin1Char('0'));
        records << makeDiscoveryRecord(name.toUpper(), QString());
    }
    QObject::connect(&listener, &QUdpSocket::readyRead, [&] {
        while (listener.hasPendingDatagrams()) {
            const QNetworkDatagram request = listener.receiveDatagram();
            if (request.data() != DISCOVERY_REQUEST)
                continue;
            for (int n = 0; n < records.size(); ++n)
                senders.at(n % senders.size())
                    ->writeDatagram(records.at(n), request.senderAddress(), quint16(request.senderPort()));
        }
    });
    QTcpServer shells;
    if (!shells.listen(QHostAddress::AnyIPv4, 24)) {
        out() << "cannot listen on port 24" << Qt::endl;
        return 1;
    }
    QObject::connect(&shells, &QTcpServer::newConnection, [&shells] {
        while (QTcpSocket *socket = shells.nextPendingConnection())
            new FakeShell(socket);
    });
    out() << "ready fleet " << decoders << " decoders " << encoders << " encoders on " << addresses.size()
          << " addresses" << Qt::endl;
    return qApp->exec();
}

ino_t inodeOf(const QString &path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

// Whether every listed device has answered the latest request.
bool allAnswered(DeviceManager &manager)
{
    for (DeviceListModel *list : {manager.rxlist(), manager.txlist()}) {
        for (int row = 0; row < list->rowCount(); ++row) {
            if (list->at(row)->offlineCounter() != 0)
                return false;
        }
    }
    return true;
}

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

int runController(int devices)
{
    qInstallMessageHandler(dropDebugLines);
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    OemSetting oem;
    DeviceManager manager(&oem);
    const QString config = home.path() + QStringLiteral("/.zentrova/config.json");

    QElapsedTimer clock;
    clock.start();
    manager.startDiscovery(true);
    while (listed(manager) < devices && clock.elapsed() < 60000)
        spin(10);
    const qint64 firstListing = clock.elapsed();
    out() << "devices listed: " << listed(manager) << " of " << devices << " (" << manager.pendingRxList()->rowCount()
          << " decoders still pending) after " << firstListing << " ms" << Qt::endl;
    spin(2000);

    double before = cpuMs();
    spin(PASS_GAP_MS * PASSES);
    const double idlePerMs = (cpuMs() - before) / (PASS_GAP_MS * PASSES);
    // A pass is measured from the request to the handling of the last reply, less what
    // the same time costs when idle: the rest of the second only adds the noise of the
    // encoders' preview retries.
    int writes = 0;
    double passes = 0;
    qint64 answerMs = 0;
    for (int pass = 0; pass < PASSES; ++pass) {
        const ino_t file = inodeOf(config);
        QEventLoop answered;
        const QMetaObject::Connection check
            = QObject::connect(manager.deviceRegistry(), &DeviceRegistry::onlineStatesChanged, &answered, [&] {
                  if (allAnswered(manager))
                      answered.quit();
              });
        QTimer::singleShot(PASS_GAP_MS, &answered, &QEventLoop::quit);
        QElapsedTimer took;
        took.start();
        before = cpuMs();
        manager.sendDiscoveryMessage();
        answered.exec();
        passes += cpuMs() - before - idlePerMs * double(took.elapsed());
        answerMs += took.elapsed();
        QObject::disconnect(check);
        spin(int(PASS_GAP_MS - took.elapsed()));
        writes += inodeOf(config) != file ? 1 : 0;
    }
    out() << "CPU per discovery pass at steady state: " << passes / PASSES << " ms above idle (every reply handled "
          << answerMs / PASSES << " ms after the request; idle second: " << idlePerMs * 1000 << " ms)" << Qt::endl;
    out() << "settings file writes in " << PASSES << " passes where nothing changed: " << writes << Qt::endl;

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
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    OemSetting oem;
    DeviceManager manager(&oem);
    const QString config = home.path() + QStringLiteral("/.zentrova/config.json");
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
        return runFleet(args.at(2).toInt(), args.at(3).toInt(), args.mid(4));
    if (args.size() == 3 && args.at(1) == QLatin1String("controller"))
        return runController(args.at(2).toInt());
    if (args.size() == 4 && args.at(1) == QLatin1String("flood"))
        return runFlood(args.at(2).toInt(), args.at(3).toInt());
    out() << "usage: " << args.value(0)
          << " fleet DECODERS ENCODERS ADDRESS... | controller DEVICES | flood REPLIES SECONDS" << Qt::endl;
    return 2;
}
