#include "manager/demo_installation.h"

#include "discovery/discovery_record.h"
#include "manager/device_registry.h"
#include "manager/video_walls.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/tx_device.h"
#include "models/vw_device.h"
#include "video/mini_video_source.h"
#include "video/qimage_grabber_file.h"

#include <QCoreApplication>
#include <limits>

namespace {

const QString DEMO_ENCODER_NAME = QStringLiteral("IPE9DEMO-7C2E0D%1");
const QString DEMO_DECODER_NAME = QStringLiteral("IPD9DEMO-7C2E0D%1");
const QString DEMO_ID = QStringLiteral("7C2E0D%1");
const QString FIRST_ENCODER = QStringLiteral("IPE9DEMO-7C2E0DFF0001");

} // namespace

DemoInstallation::DemoInstallation(const DeviceLists &lists, VideoWalls *walls, QObject *parent)
    : QObject(parent)
    , lists(lists)
    , walls(walls)
    , videoGrabber(new QImageGrabberFile(this))
{
}

DeviceBasePtr DemoInstallation::makeDemoDevice(
    Kind kind, const QString &suffix, const QString &displayName, const QString &source)
{
    const QString name = (kind == Kind::Encoder ? DEMO_ENCODER_NAME : DEMO_DECODER_NAME).arg(suffix);
    const DeviceDiscoveryResponsePtr record
        = DeviceDiscoveryResponse::parse(makeDiscoveryRecord(name, displayName), QHostAddress(), -1);
    if (!record)
        return nullptr;
    record->id = DEMO_ID.arg(suffix);
    const DeviceBasePtr device = DeviceRegistry::createDevice(record);
    if (const auto decoder = device.objectCast<RxDevice>()) {
        decoder->setDemoVwInfo(VwInfo::parse(QStringLiteral("0:0:0:0")));
        decoder->setCurrentSource(source);
    }
    return device;
}

void DemoInstallation::addEncoder(int number)
{
    const QString suffix = QStringLiteral("FF00%1").arg(number, 2, 16, QLatin1Char('0')).toUpper();
    const auto encoder = makeDemoDevice(Kind::Encoder, suffix, QStringLiteral("TX - %1").arg(number), QString())
                             .objectCast<TxDevice>();
    if (!encoder)
        return;
    encoder->setDemo(true);
    connect(videoGrabber, &QImageGrabber::newImageGrabbed, encoder->videoSource(), &MiniVideoSource::onImageReceived);
    connect(encoder->videoSource(), &MiniVideoSource::shownSizeChanged, this, &DemoInstallation::updateShownSize);
    connect(
        encoder->videoSource(), &MiniVideoSource::shownFrameIntervalChanged, this, &DemoInstallation::updateShownSize);
    fedSources << encoder->videoSource();
    if (videoGrabber->isGrabbing())
        encoder->videoSource()->setVideoAvaiable(true);
    lists.tx->addDevice(encoder, -1);
}

void DemoInstallation::addWall(const QString &displayName, int width, int height, const QString &source)
{
    if (const VWDevicePtr wall = walls->createWall(displayName, width, height, source))
        lists.rx->addDevice(wall, -1);
}

void DemoInstallation::fill(const QString &videoPath)
{
    lists.rx->clear();
    videoGrabber->setSource(videoPath);
    videoGrabber->startGrabbing();
    for (int i = 1; i <= ENCODER_COUNT; ++i)
        addEncoder(i);
    addWall(QStringLiteral("2 x 2 - 1"), 2, 2, FIRST_ENCODER);
    for (int i = 1; i <= 4; ++i) {
        const DeviceBasePtr decoder = makeDemoDevice(Kind::Decoder, QStringLiteral("FE000%1").arg(i),
            QStringLiteral("RX - %1").arg(i), i == 3 ? FIRST_ENCODER : QString());
        if (decoder)
            lists.rx->addDevice(decoder, -1);
    }
    addWall(QCoreApplication::translate("DeviceManager", "VideoWall 2"), 4, 3, QString());
    addWall(QStringLiteral("6 x 3 - 1"), 6, 3, QString());
    updateShownSize();
}

void DemoInstallation::updateShownSize()
{
    QSize largest(0, 0);
    int shortest = std::numeric_limits<int>::max();
    for (const QPointer<MiniVideoSource> &source : qAsConst(fedSources)) {
        if (!source || source->shownSize().isEmpty())
            continue;
        largest = largest.expandedTo(source->shownSize());
        shortest = qMin(shortest, source->shownFrameInterval());
    }
    videoGrabber->setShownSize(largest);
    videoGrabber->setFrameInterval(largest.isEmpty() ? 0 : shortest);
}
