// Serves MJPEG preview streams on loopback to N stream grabbers and prints what decoding
// costs them, next to ffmpeg's single-thread decoder on the same frames.
//
//   mjpeg_grabbers_bench [--seconds S] [--streams 1,8,30] [--sizes 640x360,1280x720] [--fps 25]
//
// For every frame size it prints:
//  - decode only: CPU per frame of each decoding path and scale, each run for at least
//    2 s, next to ffmpeg -threads 1 decoding an AVI of the same frames for at least 2 s;
//  - end to end: N grabbers on N paced streams (HTTP, cutting, decoding, handing over), at
//    full size and at thumbnail size (a quarter), and with a consumer that keeps the
//    previous frame as a video surface does: CPU per decoded frame, frames/s per stream,
//    the share of cut frames decoded, the GUI thread's busy share and the resident memory
//    per grabber; next to ffmpeg decoding as many streams at the same pace, since a decoder
//    that sleeps between frames pays more per frame than one in a tight loop.
//
// The frames are made by ffmpeg at run time in a temporary folder. The stream server and
// every measured set of grabbers run as child processes of this one, so that CPU time and
// resident memory belong to the grabbers alone. Run it inside scripts/netless.
#include "../bench_support.h"
#include "video/jpeg_decoder.h"
#include "video/qimage_grabber_mjpeg.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <ctime>
#include <functional>
#include <memory>
#include <sys/resource.h>

namespace {

const QByteArray BOUNDARY = "zentrova";
constexpr int WARM_UP_MS = 1000;
constexpr double DECODE_SECONDS = 2.0;
constexpr int FRAME_COUNT = 100;
// A slow client is not sent more than this much ahead, as an encoder would not either.
constexpr qint64 MAX_QUEUED_BYTES = 512 * 1024;
constexpr qint64 PIXEL_CAP = QImageGrabber::MAX_IMAGE_PIXELS;

double clockSeconds(clockid_t clock)
{
    timespec now {};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

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

QSize parseSize(const QString &text)
{
    const QStringList sides = text.split(QLatin1Char('x'));
    return QSize(sides.value(0).toInt(), sides.value(1).toInt());
}

// --serve DIR FPS PORTS: sends the frames in DIR round and round to every client, FPS frames
// a second each, as multipart parts the way ffmpeg does, on PORTS listening ports (the
// grabbers share one network manager, which opens at most six connections to one port).
int serve(const QString &dir, double fps, int portCount)
{
    const QList<QByteArray> frames = loadFrames(dir);
    QList<QByteArray> parts;
    for (const QByteArray &frame : frames)
        parts << "Content-type: image/jpeg\r\nContent-length: " + QByteArray::number(frame.size()) + "\r\n\r\n" + frame
                + "\r\n--" + BOUNDARY + "\r\n";
    if (parts.isEmpty())
        return 1;
    QHash<QTcpSocket *, int> next;
    auto sendNext = [&](QTcpSocket *client) {
        if (client->bytesToWrite() > MAX_QUEUED_BYTES)
            return;
        int &index = next[client];
        client->write(parts.at(index));
        index = (index + 1) % parts.size();
    };
    std::vector<std::unique_ptr<QTcpServer>> servers;
    QStringList ports;
    for (int i = 0; i < portCount; ++i) {
        auto server = std::make_unique<QTcpServer>();
        if (!server->listen(QHostAddress::LocalHost, 0))
            return 1;
        QTcpServer *listening = server.get();
        QObject::connect(listening, &QTcpServer::newConnection, [listening, &next] {
            while (QTcpSocket *client = listening->nextPendingConnection()) {
                QObject::connect(client, &QTcpSocket::readyRead, client, [client, &next] {
                    client->readAll();
                    if (next.contains(client))
                        return;
                    client->write("HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=" + BOUNDARY
                        + "\r\nConnection: close\r\n\r\n--" + BOUNDARY + "\r\n");
                    next.insert(client, 0);
                });
                QObject::connect(client, &QTcpSocket::disconnected, client, [client, &next] {
                    next.remove(client);
                    client->deleteLater();
                });
            }
        });
        ports << QString::number(server->serverPort());
        servers.push_back(std::move(server));
    }
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        for (auto it = next.keyBegin(); it != next.keyEnd(); ++it)
            sendNext(*it);
    });
    tick.start(int(1000 / fps));
    out() << ports.join(QLatin1Char(' ')) << Qt::endl;
    return QCoreApplication::exec();
}

// --client PORTS SECONDS SHOWN KEEP: one grabber per port, frames shown at SHOWN ("full" or
// WxH); with KEEP 1 the consumer holds each frame until the next one comes, as a video
// surface does. Prints one result line: decoded frames, cut frames, process CPU seconds,
// GUI thread CPU seconds, measured seconds, resident bytes added.
int client(const QStringList &ports, double seconds, const QString &shown, bool keep)
{
    const qint64 residentBefore = residentBytes();
    quint64 decoded = 0;
    quint64 cut = 0;
    const QSize shownSize = shown == QLatin1String("full") ? JpegDecoder::FULL_SIZE : parseSize(shown);
    std::vector<QImage> kept(size_t(ports.size()));
    for (int i = 0; i < ports.size(); ++i) {
        auto *grabber = new QImageGrabberMjpeg(qApp);
        QImage *held = &kept[size_t(i)];
        QObject::connect(grabber, &QImageGrabber::newImageGrabbed, [&decoded, held, keep](QImage *image) {
            ++decoded;
            if (keep)
                *held = *image;
        });
        QObject::connect(grabber, &QImageGrabber::newFPSCalculated, [&cut] { ++cut; });
        QObject::connect(grabber, &QImageGrabber::errorHappend,
            [grabber] { qCritical() << "grabber error:" << grabber->errorString(); });
        grabber->setShownSize(shownSize);
        grabber->setUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/stream").arg(ports.at(i))));
        grabber->startGrabbing();
    }
    runEventLoopFor(WARM_UP_MS);
    decoded = 0;
    cut = 0;
    const double cpuBefore = cpuSeconds();
    const double guiBefore = clockSeconds(CLOCK_THREAD_CPUTIME_ID);
    QElapsedTimer clock;
    clock.start();
    runEventLoopFor(int(seconds * 1000));
    const double cpu = cpuSeconds() - cpuBefore;
    const double gui = clockSeconds(CLOCK_THREAD_CPUTIME_ID) - guiBefore;
    const double elapsed = clock.elapsed() / 1000.0;
    out() << decoded << ' ' << cut << ' ' << cpu << ' ' << gui << ' ' << elapsed << ' '
          << residentBytes() - residentBefore << Qt::endl;
    return 0;
}

bool runFfmpeg(const QStringList &arguments, QString *log = nullptr)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), QStringList {"-hide_banner", "-nostdin", "-y"} + arguments);
    if (!ffmpeg.waitForFinished(600000) || ffmpeg.exitCode() != 0) {
        qCritical().noquote() << "ffmpeg failed:" << ffmpeg.readAllStandardError();
        return false;
    }
    if (log)
        *log = QString::fromLocal8Bit(ffmpeg.readAllStandardError());
    return true;
}

// ffmpeg's own CPU time per frame for decoding the AVI with one thread, looped until the
// run has taken at least DECODE_SECONDS of CPU.
double ffmpegCpuPerFrameMs(const QString &avi, int frames)
{
    for (int loops = 5;; loops *= 2) {
        QString log;
        if (!runFfmpeg({"-benchmark", "-threads", "1", "-stream_loop", QString::number(loops - 1), "-i", avi,
                           "-threads", "1", "-f", "null", "-"},
                &log))
            return -1;
        const QRegularExpressionMatch match
            = QRegularExpression(QStringLiteral("bench: utime=([0-9.]+)s stime=([0-9.]+)s")).match(log);
        const double cpu = match.captured(1).toDouble() + match.captured(2).toDouble();
        if (cpu >= DECODE_SECONDS)
            return cpu * 1000.0 / (frames * loops);
    }
}

// ffmpeg's CPU time per frame when it decodes as the grabbers do: `streams` processes at
// once, each paced at the stream rate for `seconds` (-re), one thread each. A decoder that
// sleeps between frames finds its caches cold and costs more per frame than in a tight
// loop, on this machine about a third more, so this is the fair peer for the end-to-end
// figures. Only ffmpeg's decode calls are counted (-benchmark_all times each), not its start.
double pacedFfmpegCpuPerFrameMs(const QString &avi, int streams, double seconds, double fps)
{
    std::vector<std::unique_ptr<QProcess>> decoders;
    for (int i = 0; i < streams; ++i) {
        auto ffmpeg = std::make_unique<QProcess>();
        ffmpeg->start(QStringLiteral("ffmpeg"),
            {"-hide_banner", "-nostdin", "-benchmark_all", "-re", "-threads", "1", "-stream_loop", "-1", "-r",
                QString::number(fps), "-i", avi, "-t", QString::number(seconds), "-threads", "1", "-f", "null", "-"});
        decoders.push_back(std::move(ffmpeg));
    }
    const QRegularExpression decodeCall(
        QStringLiteral("bench:\\s+(\\d+) user\\s+(\\d+) sys\\s+\\d+ real decode_video"));
    const QRegularExpression frameCount(QStringLiteral("frame=\\s*(\\d+)"));
    double microseconds = 0;
    qint64 frames = 0;
    for (const auto &ffmpeg : decoders) {
        if (!ffmpeg->waitForFinished(int(seconds * 1000) + 60000) || ffmpeg->exitCode() != 0)
            return -1;
        const QString log = QString::fromLocal8Bit(ffmpeg->readAllStandardError());
        for (auto it = decodeCall.globalMatch(log); it.hasNext();) {
            const QRegularExpressionMatch call = it.next();
            microseconds += call.captured(1).toDouble() + call.captured(2).toDouble();
        }
        QString lastCount;
        for (auto it = frameCount.globalMatch(log); it.hasNext();)
            lastCount = it.next().captured(1);
        frames += lastCount.toLongLong();
    }
    return frames > 0 ? microseconds / 1000.0 / double(frames) : -1;
}

// The CPU time per frame of decode, run round the frames for at least DECODE_SECONDS.
double decodeCpuPerFrameMs(const QList<QByteArray> &frames, const std::function<QImage(const QByteArray &)> &decode)
{
    const double start = clockSeconds(CLOCK_THREAD_CPUTIME_ID);
    qint64 decoded = 0;
    while (clockSeconds(CLOCK_THREAD_CPUTIME_ID) - start < DECODE_SECONDS) {
        for (const QByteArray &frame : frames) {
            if (decode(frame).isNull())
                return -1;
            ++decoded;
        }
    }
    return (clockSeconds(CLOCK_THREAD_CPUTIME_ID) - start) * 1000.0 / double(decoded);
}

// The toolkit's reader, as the grabbers decoded before: header parsed by the reader, RGB888
// rows converted to 32-bit RGB.
QImage readWithQt(const QByteArray &jpeg)
{
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "JPG");
    return reader.read();
}

void printDecodeOnly(const QList<QByteArray> &frames, double ffmpegMs)
{
    int differing = 0;
    for (const QByteArray &frame : frames) {
        if (JpegDecoder::decode(frame, JpegDecoder::FULL_SIZE, PIXEL_CAP)
            != readWithQt(frame).convertToFormat(QImage::Format_RGB32))
            ++differing;
    }
    out() << QStringLiteral("decode only (one thread, >= %1 s each):  ffmpeg -threads 1 on the AVI: %2 ms/frame\n")
                 .arg(DECODE_SECONDS)
                 .arg(ffmpegMs, 0, 'f', 3)
          << QStringLiteral(
                 "  libjpeg-turbo RGB32 at full size is pixel-identical to QImageReader on %1 of %2 frames\n")
                 .arg(frames.size() - differing)
                 .arg(frames.size())
          << "  path                               ms/frame  x ffmpeg\n";
    const auto row = [ffmpegMs](const QString &path, double ms) {
        out() << QStringLiteral("  %1 %2 %3\n").arg(path, -32).arg(ms, 10, 'f', 3).arg(ms / ffmpegMs, 9, 'f', 2);
        out().flush();
    };
    row(QStringLiteral("QImageReader (before)"), decodeCpuPerFrameMs(frames, readWithQt));
    const QSize full = readWithQt(frames.first()).size();
    for (int denominator : {1, 2, 4, 8}) {
        const QSize shown = full / denominator;
        row(QStringLiteral("libjpeg-turbo RGB32 at 1/%1").arg(denominator),
            decodeCpuPerFrameMs(
                frames, [shown](const QByteArray &jpeg) { return JpegDecoder::decode(jpeg, shown, PIXEL_CAP); }));
    }
}

struct ClientResult
{
    double perStreamFps = 0;
    double cpuMsPerFrame = 0;
    double cpuShare = 0;
    double guiShare = 0;
    double residentMiBPerGrabber = 0;
    double decodedShare = 0;
};

bool runClient(const QStringList &ports, double seconds, const QString &shown, bool keep, ClientResult *result)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QCoreApplication::applicationFilePath(),
        {"--client", ports.join(QLatin1Char(',')), QString::number(seconds), shown, keep ? "1" : "0"});
    if (!process.waitForFinished(int(seconds * 1000) + 60000))
        return false;
    const QList<QByteArray> fields = process.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 6)
        return false;
    const double decoded = fields.at(0).toDouble();
    const double cut = fields.at(1).toDouble();
    const double cpu = fields.at(2).toDouble();
    const double elapsed = fields.at(4).toDouble();
    result->perStreamFps = decoded / elapsed / ports.size();
    result->cpuMsPerFrame = decoded > 0 ? cpu * 1000.0 / decoded : 0;
    result->cpuShare = cpu / elapsed;
    result->guiShare = fields.at(3).toDouble() / elapsed;
    result->residentMiBPerGrabber = fields.at(5).toDouble() / ports.size() / (1024.0 * 1024.0);
    result->decodedShare = cut > 0 ? decoded / cut : 0;
    return true;
}

void printEndToEnd(const QStringList &ports, const QList<int> &streamCounts, double seconds, double fps,
    const QSize &full, const QString &avi, double ffmpegMs)
{
    out() << "end to end (grabber process, all its threads):\n"
          << "  streams  shown     keeps  per stream/s  decoded/cut  cpu%  GUI busy%  CPU ms/frame  x ffmpeg  "
             "x paced  RSS MiB/grabber\n";
    const QSize thumbnail = full / 4;
    const QList<QPair<QString, bool>> variants {{QStringLiteral("full"), false},
        {QStringLiteral("%1x%2").arg(thumbnail.width()).arg(thumbnail.height()), false},
        {QStringLiteral("full"), true}};
    for (int count : streamCounts) {
        const double pacedMs = pacedFfmpegCpuPerFrameMs(avi, count, seconds, fps);
        out() << QStringLiteral("  paced ffmpeg, %1 at once: %2 ms/frame (x %3 its tight loop)\n")
                     .arg(count)
                     .arg(pacedMs, 0, 'f', 3)
                     .arg(pacedMs / ffmpegMs, 0, 'f', 2);
        for (const auto &variant : variants) {
            ClientResult result;
            if (!runClient(ports.mid(0, count), seconds, variant.first, variant.second, &result)) {
                out() << "  " << count << ": client failed\n";
                continue;
            }
            const bool fullSize = variant.first == QLatin1String("full");
            out() << QStringLiteral("  %1  %2 %3 %4 %5 %6 %7 %8 %9 %10 %11\n")
                         .arg(count, 7)
                         .arg(variant.first, -9)
                         .arg(variant.second ? "yes" : "no", 5)
                         .arg(result.perStreamFps, 13, 'f', 1)
                         .arg(result.decodedShare * 100, 11, 'f', 0)
                         .arg(result.cpuShare * 100, 5, 'f', 0)
                         .arg(result.guiShare * 100, 10, 'f', 1)
                         .arg(result.cpuMsPerFrame, 13, 'f', 3)
                         .arg(result.cpuMsPerFrame / ffmpegMs, 9, 'f', 2)
                         .arg(fullSize ? QString::number(result.cpuMsPerFrame / pacedMs, 'f', 2) : QString(), 8)
                         .arg(result.residentMiBPerGrabber, 16, 'f', 2);
            out().flush();
        }
    }
}

int orchestrate(const QStringList &sizes, const QList<int> &streamCounts, double seconds, double fps)
{
    QTemporaryDir work;
    out() << "Stream grabbers on loopback, " << QThread::idealThreadCount() << " cores; every end-to-end figure is "
          << "from one run of " << seconds << " s after 1 s of warm-up, streams paced at " << fps << " frames/s.\n"
          << "cpu%: CPU time of the grabber process per wall-clock second (100 = one core). GUI busy%: the same for "
             "its GUI thread alone.\n"
          << "decoded/cut: share of the images cut from the streams that were decoded (the rest were replaced by a "
             "newer one).\n"
          << "x ffmpeg: CPU per decoded frame against ffmpeg -threads 1 decoding the same frames at full size.\n"
          << "x paced: the same against ffmpeg decoding as many streams at the same pace (full size rows).\n\n";
    int maxStreams = 0;
    for (int count : streamCounts)
        maxStreams = qMax(maxStreams, count);
    for (const QString &size : sizes) {
        const QString dir = work.path() + QLatin1Char('/') + size;
        QDir().mkpath(dir);
        if (!runFfmpeg({"-f", "lavfi", "-i", "testsrc2=size=" + size + ":rate=25", "-frames:v",
                QString::number(FRAME_COUNT), "-c:v", "mjpeg", "-q:v", "5", dir + "/f%04d.jpg"})
            || !runFfmpeg({"-framerate", "25", "-i", dir + "/f%04d.jpg", "-c:v", "copy", dir + "/frames.avi"}))
            return 1;
        const QList<QByteArray> frames = loadFrames(dir);
        qint64 bytes = 0;
        for (const QByteArray &frame : frames)
            bytes += frame.size();
        const double ffmpegMs = ffmpegCpuPerFrameMs(dir + "/frames.avi", frames.size());
        out() << "== " << size << ": " << frames.size() << " ffmpeg frames (testsrc2, -q:v 5), "
              << bytes / frames.size() / 1024 << " KiB each on average\n";
        printDecodeOnly(frames, ffmpegMs);

        QProcess server;
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(QCoreApplication::applicationFilePath(),
            {"--serve", dir, QString::number(fps), QString::number(maxStreams)});
        if (!server.waitForReadyRead(10000))
            return 1;
        const QStringList ports = QString::fromLatin1(server.readLine().trimmed()).split(QLatin1Char(' '));
        printEndToEnd(ports, streamCounts, seconds, fps, parseSize(size), dir + "/frames.avi", ffmpegMs);
        server.kill();
        server.waitForFinished();
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
        return serve(arguments.value(2), arguments.value(3).toDouble(), arguments.value(4).toInt());
    if (arguments.value(1) == QLatin1String("--client"))
        return client(arguments.value(2).split(QLatin1Char(',')), arguments.value(3).toDouble(), arguments.value(4),
            arguments.value(5) == QLatin1String("1"));

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
