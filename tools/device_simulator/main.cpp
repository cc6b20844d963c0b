// zentrova-devsim: stands in for one encoder or decoder. It answers discovery and, as an
// encoder, serves the MJPEG preview; a decoder's shell is decoder-shell/ beside it.
// Run it only on loopback or inside the test LAN's namespaces: it answers broadcasts.
#include "discovery/device_discovery_response.h"
#include "discovery/discovery_record.h"
#include "discovery_responder.h"
#include "frame_source.h"
#include "mjpeg_server.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QTextStream>

namespace {

constexpr quint16 PREVIEW_PORT = 80;
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
    const QCommandLineOption nameOption(
        QStringLiteral("name"), QStringLiteral("Network name (IPE…-hex or IPD…-hex)."), QStringLiteral("name"));
    const QCommandLineOption aliasOption(
        QStringLiteral("alias"), QStringLiteral("Display name offered in the reply."), QStringLiteral("text"));
    const QCommandLineOption kindOption(QStringLiteral("kind"),
        QStringLiteral("encoder or decoder (default: from the name's prefix)."), QStringLiteral("kind"));
    const QCommandLineOption addressOption(QStringLiteral("address"),
        QStringLiteral("Address to listen on (default: every IPv4 address)."), QStringLiteral("ip"));
    const QCommandLineOption discoveryPortOption(QStringLiteral("discovery-port"),
        QStringLiteral("UDP port for discovery requests."), QStringLiteral("port"),
        QString::number(DISCOVERY_REQUEST_PORT));
    const QCommandLineOption httpPortOption(QStringLiteral("http-port"), QStringLiteral("TCP port of the preview."),
        QStringLiteral("port"), QString::number(PREVIEW_PORT));
    const QCommandLineOption framesOption(QStringLiteral("frames"),
        QStringLiteral("Folder of JPEG files to stream (default: drawn frames)."), QStringLiteral("folder"));
    const QCommandLineOption fpsOption(QStringLiteral("fps"), QStringLiteral("Preview frames per second."),
        QStringLiteral("n"), QString::number(DEFAULT_FPS));
    parser.addOptions({nameOption, aliasOption, kindOption, addressOption, discoveryPortOption, httpPortOption,
        framesOption, fpsOption});
    parser.process(app);

    const QString name = parser.value(nameOption);
    if (name.isEmpty())
        return fail(QStringLiteral("--name is required"));
    const QByteArray record = makeDiscoveryRecord(name, parser.value(aliasOption));
    const DeviceDiscoveryResponsePtr parsed = DeviceDiscoveryResponse::parse(record, QHostAddress(), 0);
    if (!parsed)
        return fail(QStringLiteral("'%1' is not a name the controller accepts").arg(name));

    QString kind = parser.value(kindOption);
    if (kind.isEmpty())
        kind = parsed->deviceKind() == ResponseKind::Decoder ? QStringLiteral("decoder") : QStringLiteral("encoder");
    if (kind != QLatin1String("encoder") && kind != QLatin1String("decoder"))
        return fail(QStringLiteral("--kind must be encoder or decoder"));

    QHostAddress address(QHostAddress::AnyIPv4);
    if (parser.isSet(addressOption) && !address.setAddress(parser.value(addressOption)))
        return fail(QStringLiteral("bad --address"));
    quint16 discoveryPort = 0;
    quint16 httpPort = 0;
    if (!toPort(parser.value(discoveryPortOption), &discoveryPort) || !toPort(parser.value(httpPortOption), &httpPort))
        return fail(QStringLiteral("bad port"));

    DiscoveryResponder responder(record);
    if (!responder.listen(address, discoveryPort))
        return fail(QStringLiteral("discovery port: %1").arg(responder.errorString()));

    FrameSource frames(parsed->alias().isEmpty() ? name : parsed->alias());
    if (parser.isSet(framesOption) && !frames.loadFolder(parser.value(framesOption)))
        return fail(QStringLiteral("no JPEG files in %1").arg(parser.value(framesOption)));
    MjpegServer preview(&frames, parser.value(fpsOption).toInt());
    if (kind == QLatin1String("encoder") && !preview.listen(address, httpPort))
        return fail(QStringLiteral("preview port: %1").arg(preview.errorString()));

    // Scripts wait for this line before they send anything.
    QTextStream(stdout) << "ready " << kind << ' ' << name << Qt::endl;
    return app.exec();
}
