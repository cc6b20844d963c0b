// zentrova-devsim: stands in for one encoder or decoder. It answers discovery and, as an
// encoder, serves the MJPEG preview and listens for the wall routing command; a decoder's
// shell is decoder-shell/ beside it. Faults are switched on and off through files.
// Run it only on loopback or inside the test LAN's namespaces: it answers broadcasts.
#include "command_listener.h"
#include "discovery_responder.h"
#include "fault_switches.h"
#include "frame_source.h"
#include "mjpeg_server.h"
#include "reply_record.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QTextStream>

#include <memory>
#include <vector>

namespace {

// What the devices use; written out here rather than taken from the controller's code.
constexpr quint16 DISCOVERY_PORT = 3335;
constexpr quint16 PREVIEW_PORT = 80;
const char COMMAND_PORTS[] = "5010,5011";
constexpr int DEFAULT_FPS = 5;

int fail(const QString &message)
{
    QTextStream(stderr) << "zentrova-devsim: " << message << Qt::endl;
    return 1;
}

bool toPort(const QString &text, quint16 *port)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    *port = quint16(value);
    return ok && value <= 65535;
}

} // namespace

int main(int argc, char *argv[])
{
    // Frames are drawn off screen; no display is needed or wanted.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zentrova-devsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated encoder or decoder for tests."));
    parser.addHelpOption();
    const QCommandLineOption nameOption(QStringLiteral("name"),
        QStringLiteral("Network name sent in the reply (IPE…-hex, IPD…-hex, or anything a test needs)."),
        QStringLiteral("name"));
    const QCommandLineOption aliasOption(
        QStringLiteral("alias"), QStringLiteral("Display name offered in the reply."), QStringLiteral("text"));
    const QCommandLineOption kindOption(QStringLiteral("kind"),
        QStringLiteral("encoder or decoder (default: encoder for a name that begins IPE)."), QStringLiteral("kind"));
    const QCommandLineOption addressOption(QStringLiteral("address"),
        QStringLiteral("Address to listen on (default: every IPv4 address)."), QStringLiteral("ip"));
    const QCommandLineOption discoveryPortOption(QStringLiteral("discovery-port"),
        QStringLiteral("UDP port for discovery requests."), QStringLiteral("port"), QString::number(DISCOVERY_PORT));
    const QCommandLineOption replySizeOption(QStringLiteral("reply-size"),
        QStringLiteral("Bytes of the reply datagram: fewer cut the record short, more pad it."),
        QStringLiteral("bytes"), QStringLiteral("292"));
    const QCommandLineOption httpPortOption(QStringLiteral("http-port"), QStringLiteral("TCP port of the preview."),
        QStringLiteral("port"), QString::number(PREVIEW_PORT));
    const QCommandLineOption commandPortsOption(QStringLiteral("command-ports"),
        QStringLiteral("UDP ports an encoder takes commands on, separated by commas; empty for none."),
        QStringLiteral("ports"), QString::fromLatin1(COMMAND_PORTS));
    const QCommandLineOption framesOption(QStringLiteral("frames"),
        QStringLiteral("Folder of JPEG files to stream (default: drawn frames)."), QStringLiteral("folder"));
    const QCommandLineOption fpsOption(QStringLiteral("fps"), QStringLiteral("Preview frames per second."),
        QStringLiteral("n"), QString::number(DEFAULT_FPS));
    const QCommandLineOption faultsOption(QStringLiteral("faults"),
        QStringLiteral("Folder whose files switch faults on while they exist: silent (no discovery answers), "
                       "stall (the preview stops), cut (preview connections are closed), oversize (frames "
                       "announce a size too large to accept)."),
        QStringLiteral("folder"));
    parser.addOptions({nameOption, aliasOption, kindOption, addressOption, discoveryPortOption, replySizeOption,
        httpPortOption, commandPortsOption, framesOption, fpsOption, faultsOption});
    parser.process(app);

    // An empty name is a fault a test may want, but it has to be asked for.
    if (!parser.isSet(nameOption))
        return fail(QStringLiteral("--name is required"));
    const QString name = parser.value(nameOption);
    QString kind = parser.value(kindOption);
    if (kind.isEmpty())
        kind = name.startsWith(QLatin1String("IPE"), Qt::CaseInsensitive) ? QStringLiteral("encoder")
                                                                          : QStringLiteral("decoder");
    if (kind != QLatin1String("encoder") && kind != QLatin1String("decoder"))
        return fail(QStringLiteral("--kind must be encoder or decoder"));
    const bool encoder = kind == QLatin1String("encoder");

    QHostAddress address(QHostAddress::AnyIPv4);
    if (parser.isSet(addressOption) && !address.setAddress(parser.value(addressOption)))
        return fail(QStringLiteral("bad --address"));
    quint16 discoveryPort = 0;
    quint16 httpPort = 0;
    if (!toPort(parser.value(discoveryPortOption), &discoveryPort) || !toPort(parser.value(httpPortOption), &httpPort))
        return fail(QStringLiteral("bad port"));
    bool sizeOk = false;
    const int replySize = parser.value(replySizeOption).toInt(&sizeOk);
    if (!sizeOk || replySize < 0 || replySize > 65000)
        return fail(QStringLiteral("bad --reply-size"));

    const FaultSwitches faults(parser.value(faultsOption));
    DiscoveryResponder responder(
        replyRecord(encoder, name.toUtf8(), parser.value(aliasOption).toUtf8(), replySize), &faults);
    if (!responder.listen(address, discoveryPort))
        return fail(QStringLiteral("discovery port: %1").arg(responder.errorString()));

    FrameSource frames(parser.value(aliasOption).isEmpty() ? name : parser.value(aliasOption));
    if (parser.isSet(framesOption) && !frames.loadFolder(parser.value(framesOption)))
        return fail(QStringLiteral("no JPEG files in %1").arg(parser.value(framesOption)));
    MjpegServer preview(&frames, parser.value(fpsOption).toInt(), &faults);
    std::vector<std::unique_ptr<CommandListener>> commandListeners;
    if (encoder) {
        if (!preview.listen(address, httpPort))
            return fail(QStringLiteral("preview port: %1").arg(preview.errorString()));
        for (const QString &text : parser.value(commandPortsOption).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            quint16 port = 0;
            if (!toPort(text, &port))
                return fail(QStringLiteral("bad --command-ports"));
            commandListeners.push_back(std::make_unique<CommandListener>());
            if (!commandListeners.back()->listen(address, port))
                return fail(
                    QStringLiteral("command port %1: %2").arg(port).arg(commandListeners.back()->errorString()));
        }
    }

    // Scripts wait for this line before they send anything.
    QTextStream(stdout) << "ready " << kind << ' ' << name << Qt::endl;
    return app.exec();
}
