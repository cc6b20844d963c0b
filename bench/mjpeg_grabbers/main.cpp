// Serves an MJPEG preview stream on loopback to N stream grabbers and prints what decoding
// it costs them, next to ffmpeg's single-thread decoder on the same frames.
//
//   mjpeg_grabbers_bench [--seconds S] [--streams 1,8,30] [--sizes 640x360,1280x720] [--fps 25]
//
// The frames are made by ffmpeg at run time in a temporary folder. The stream server and
// every measured set of grabbers run as child processes of this one, so that CPU time and
// resident memory belong to the grabbers alone. Run it inside scripts/netless.
#include "../bench_support.h"
#include "qimagegrabber/qimage_grabber_mjpeg.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <sys/resource.h>

namespace {

const QByteArray BOUNDARY = "zentrova";
constexpr int WARM_UP_MS = 1000;
// A slow client is not sent more than this much ahead, as an encoder would not either.
constexpr qint64 MAX_QUEUED_BYTES = 512 * 1024;

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    const QRegularExpressionMatch match
        = QRegularExpression(QStringLiteral("VmRSS:\\s+(\\d+) kB")).match(QString::fromLatin1(status.readAll()));
    return match.captured(1).toLongLong() * 1024;
}

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QList<QByteArray> loadFrames(const QString &dir)
{
    QList<QByteArray> frames;
    const QStringList names = QDir(dir).entryList({QStringLiteral("f*.jpg")}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        QFile file(dir + QLatin1Char('/') + name);
        file.open(QIODevice::ReadOnly);
        frames << file.readAll();
    }
    return frames;
}

// --serve DIR FPS: sends the frames in DIR round and round to every client, FPS frames a
// second each (0: as fast as the client takes them), as multipart parts the way ffmpeg does.
int serve(const QString &dir, double fps)
{
    const QList<QByteArray> frames = loadFrames(dir);
    QList<QByteArray> parts;
    for (const QByteArray &frame : frames)
        parts << "Content-type: image/jpeg\r\nContent-length: " + QByteArray::number(frame.size()) + "\r\n\r\n" + frame
                + "\r\n--" + BOUNDARY + "\r\n";
    QTcpServer server;
    if (parts.isEmpty() || !server.listen(QHostAddress::LocalHost, 0))
        return 1;
    QHash<QTcpSocket *, int> next;
    auto sendNext = [&](QTcpSocket *client) {
        if (client->bytesToWrite() > MAX_QUEUED_BYTES)
            return;
        int &index = next[client];
        client->write(parts.at(index));
        index = (index + 1) % parts.size();
    };
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *client = server.nextPendingConnection()) {
            QObject::connect(client, &QTcpSocket::readyRead, client, [client, &next, &sendNext, fps] {
                client->readAll();
                if (next.contains(client))
                    return;
                client->write("HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=" + BOUNDARY
                    + "\r\nConnection: close\r\n\r\n--" + BOUNDARY + "\r\n");
                next.insert(client, 0);
                if (fps <= 0)
                    sendNext(client);
            });
            if (fps <= 0)
                QObject::connect(client, &QTcpSocket::bytesWritten, client, [client, &sendNext] { sendNext(client); });
            QObject::connect(client, &QTcpSocket::disconnected, client, [client, &next] {
                next.remove(client);
                client->deleteLater();
            });
        }
    });
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        for (auto it = next.keyBegin(); it != next.keyEnd(); ++it)
            sendNext(*it);
    });
    if (fps > 0)
        tick.start(int(1000 / fps));
    out() << server.serverPort() << Qt::endl;
    return QCoreApplication::exec();
}

// --client URL N SECONDS: runs N grabbers on URL and prints one result line:
// decoded frames, cut frames, CPU seconds, measured seconds, resident bytes added.
int client(const QString &url, int count, double seconds)
{
    const qint64 residentBefore = residentBytes();
    quint64 decoded = 0;
    quint64 cut = 0;
    QList<QImageGrabberMjpeg *> grabbers;
    for (int i = 0; i < count; ++i) {
        auto *grabber = new QImageGrabberMjpeg(qApp);
        QObject::connect(grabber, &QImageGrabber::newImageGrabbed, [&decoded] { ++decoded; });
        QObject::connect(grabber, &QImageGrabber::newFPSCalculated, [&cut] { ++cut; });
        QObject::connect(grabber, &QImageGrabber::errorHappend,
            [grabber] { qCritical() << "grabber error:" << grabber->errorString(); });
        grabber->setUrl(QUrl(url));
        grabber->startGrabbing();
        grabbers << grabber;
    }
    runEventLoopFor(WARM_UP_MS);
    decoded = 0;
    cut = 0;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    runEventLoopFor(int(seconds * 1000));
    const double cpu = cpuSeconds() - cpuBefore;
    const double elapsed = clock.elapsed() / 1000.0;
    out() << decoded << ' ' << cut << ' ' << cpu << ' ' << elapsed << ' ' << residentBytes() - residentBefore
          << Qt::endl;
    return 0;
}

bool runFfmpeg(const QStringList &arguments, QString *log = nullptr)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), QStringList {"-hide_banner", "-nostdin", "-y"} + arguments);
    if (!ffmpeg.waitForFinished(300000) || ffmpeg.exitCode() != 0) {
        qCritical().noquote() << "ffmpeg failed:" << ffmpeg.readAllStandardError();
        return false;
    }
    if (log)
        *log = QString::fromLocal8Bit(ffmpeg.readAllStandardError());
    return true;
}

// ffmpeg's own CPU time for decoding the frames, with one thread, repeated `loops` times;
// with toRgb the pictures are also converted to 32-bit RGB, as the grabbers get them.
double ffmpegCpuPerFrameMs(const QString &dir, int frames, int loops, bool toRgb)
{
    QStringList arguments {"-benchmark", "-threads", "1", "-stream_loop", QString::number(loops - 1), "-f", "image2",
        "-c:v", "mjpeg", "-i", dir + "/f%04d.jpg", "-threads", "1"};
    if (toRgb)
        arguments << "-filter_threads"
                  << "1"
                  << "-pix_fmt"
                  << "bgra";
    arguments << "-f"
              << "null"
              << "-";
    QString log;
    if (!runFfmpeg(arguments, &log))
        return -1;
    const QRegularExpressionMatch match
        = QRegularExpression(QStringLiteral("bench: utime=([0-9.]+)s stime=([0-9.]+)s")).match(log);
    return (match.captured(1).toDouble() + match.captured(2).toDouble()) * 1000.0 / (frames * loops);
}

struct ClientResult
{
    double fps = 0;
    double perStreamFps = 0;
    double cpuMsPerFrame = 0;
    double cpuShare = 0;
    double residentMiBPerGrabber = 0;
    double decodedShare = 0;
};

bool runClient(const QString &url, int count, double seconds, ClientResult *result)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(
        QCoreApplication::applicationFilePath(), {"--client", url, QString::number(count), QString::number(seconds)});
    if (!process.waitForFinished(int(seconds * 1000) + 60000))
        return false;
    const QList<QByteArray> fields = process.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 5)
        return false;
    const double decoded = fields.at(0).toDouble();
    const double cut = fields.at(1).toDouble();
    const double cpu = fields.at(2).toDouble();
    const double elapsed = fields.at(3).toDouble();
    result->fps = decoded / elapsed;
    result->perStreamFps = result->fps / count;
    result->cpuMsPerFrame = decoded > 0 ? cpu * 1000.0 / decoded : 0;
    result->cpuShare = cpu / elapsed;
    result->residentMiBPerGrabber = fields.at(4).toDouble() / count / (1024.0 * 1024.0);
    result->decodedShare = cut > 0 ? decoded / cut : 0;
    return true;
}

int orchestrate(const QStringList &sizes, const QList<int> &streamCounts, double seconds, double fps)
{
    QTemporaryDir work;
    out() << "Stream grabbers on loopback; every figure is from one run of " << seconds << " s after 1 s of warm-up.\n"
          << "cpu%: CPU time of the grabber process per wall-clock second (100 = one core of "
          << QThread::idealThreadCount() << ").\n"
          << "decoded/cut: share of the images cut from the stream that were decoded (the rest were "
             "skipped for a newer one).\n\n";
    for (const QString &size : sizes) {
        const QString dir = work.path() + QLatin1Char('/') + size;
        QDir().mkpath(dir);
        constexpr int frameCount = 100;
        if (!runFfmpeg({"-f", "lavfi", "-i", "testsrc2=size=" + size + ":rate=25", "-frames:v",
                QString::number(frameCount), "-c:v", "mjpeg", "-q:v", "5", dir + "/f%04d.jpg"}))
            return 1;
        const QList<QByteArray> frames = loadFrames(dir);
        qint64 bytes = 0;
        for (const QByteArray &frame : frames)
            bytes += frame.size();
        const double ffmpegMs = ffmpegCpuPerFrameMs(dir, frames.size(), 10, false);
        const double ffmpegRgbMs = ffmpegCpuPerFrameMs(dir, frames.size(), 10, true);
        out() << "== " << size << ": " << frames.size() << " ffmpeg frames (testsrc2, -q:v 5), "
              << bytes / frames.size() / 1024 << " KiB each on average\n"
              << QStringLiteral(
                     "ffmpeg -threads 1 decoding: %1 ms CPU per frame; with conversion to 32-bit RGB: %2 ms\n")
                     .arg(ffmpegMs, 0, 'f', 3)
                     .arg(ffmpegRgbMs, 0, 'f', 3);

        for (double rate : {fps, 0.0}) {
            QProcess server;
            server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            server.start(QCoreApplication::applicationFilePath(), {"--serve", dir, QString::number(rate)});
            if (!server.waitForReadyRead(10000))
                return 1;
            const QString url
                = QStringLiteral("http://127.0.0.1:%1/stream").arg(QString::fromLatin1(server.readLine().trimmed()));
            out() << (rate > 0 ? QStringLiteral("server paced at %1 frames/s per stream:\n").arg(rate)
                               : QStringLiteral("server unpaced (as fast as each grabber takes them):\n"))
                  << "  streams  decoded/s  per stream  decoded/cut  cpu%   CPU ms/frame  x ffmpeg  x ffmpeg+RGB  "
                     "RSS MiB/grabber\n";
            for (int count : streamCounts) {
                ClientResult result;
                if (!runClient(url, count, seconds, &result)) {
                    out() << "  " << count << ": client failed\n";
                    continue;
                }
                out() << QStringLiteral("  %1 %2 %3 %4 %5 %6 %7 %8 %9\n")
                             .arg(count, 7)
                             .arg(result.fps, 10, 'f', 1)
                             .arg(result.perStreamFps, 11, 'f', 1)
                             .arg(result.decodedShare * 100, 10, 'f', 0)
                             .arg(result.cpuShare * 100, 6, 'f', 0)
                             .arg(result.cpuMsPerFrame, 13, 'f', 3)
                             .arg(result.cpuMsPerFrame / ffmpegMs, 9, 'f', 2)
                             .arg(result.cpuMsPerFrame / ffmpegRgbMs, 13, 'f', 2)
                             .arg(result.residentMiBPerGrabber, 16, 'f', 2);
                out().flush();
            }
            server.kill();
            server.waitForFinished();
        }
        out() << Qt::endl;
    }
    return 0;
}

QList<int> parseCounts(const QString &text)
{
    QList<int> counts;
    for (const QString &part : text.split(QLatin1Char(',')))
        counts << part.toInt();
    return counts;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.value(1) == QLatin1String("--serve"))
        return serve(arguments.value(2), arguments.value(3).toDouble());
    if (arguments.value(1) == QLatin1String("--client"))
        return client(arguments.value(2), arguments.value(3).toInt(), arguments.value(4).toDouble());

    double seconds = 3;
    double fps = 25;
    QList<int> streams {1, 8, 30};
    QStringList sizes {QStringLiteral("640x360"), QStringLiteral("1280x720")};
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        const QString &option = arguments.at(i);
        const QString &value = arguments.at(i + 1);
        if (option == QLatin1String("--seconds"))
            seconds = value.toDouble();
        else if (option == QLatin1String("--streams"))
            streams = parseCounts(value);
        else if (option == QLatin1String("--sizes"))
            sizes = value.split(QLatin1Char(','));
        else if (option == QLatin1String("--fps"))
            fps = value.toDouble();
    }
    return orchestrate(sizes, streams, seconds, fps);
}
