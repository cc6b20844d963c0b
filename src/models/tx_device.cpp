#include "models/tx_device.h"

#include "video/mini_video_source.h"
#include "video/qimage_grabber_mjpeg.h"

#include <QAbstractVideoSurface>
#include <QDebug>
#include <QImage>
#include <QTimer>
#include <QUrl>

namespace {

const QString STREAM_URL_PATTERN = QStringLiteral("http://%1/stream");

} // namespace

TxDevice::TxDevice(const DeviceDiscoveryResponsePtr &record, QObject *parent)
    : DeviceBase(record, parent)
    , streamGrabber(new QImageGrabberMjpeg(this))
    , source(new MiniVideoSource(this))
    , retryTimer(new QTimer(this))
{
    retryTimer->setObjectName(QStringLiteral("retryTimer"));
    retryTimer->setSingleShot(true);
    retryTimer->setInterval(RETRY_DELAY_MS);
    connect(retryTimer, &QTimer::timeout, this, &TxDevice::startFetchVideoStream);
    connect(streamGrabber, &QImageGrabber::newImageGrabbed, source, &MiniVideoSource::onImageReceived);
    connect(streamGrabber, &QImageGrabber::errorHappend, this, &TxDevice::onVideoDownloadError);
    connect(streamGrabber, &QImageGrabber::downloadStopped, this, &TxDevice::onVideoDownloadError);
    connect(streamGrabber, &QImageGrabber::stateChanged, this, &TxDevice::onGrabberStateChanged);
    connect(source, &MiniVideoSource::surfaceChanged, this, &TxDevice::bindSurface);
    connect(this, &DeviceBase::onlineStatusChanged, this, &TxDevice::onOnlineStatusChanged);
    connect(source, &MiniVideoSource::shownSizeChanged, streamGrabber, &QImageGrabber::setShownSize);
    connect(source, &MiniVideoSource::shownFrameIntervalChanged, streamGrabber, &QImageGrabber::setFrameInterval);
    streamGrabber->setShownSize(source->shownSize());
    updateVideoUrl();
}

QString TxDevice::category() const
{
    return QStringLiteral("tx");
}

void TxDevice::updateVideoUrl()
{
    streamGrabber->setUrl(QUrl(STREAM_URL_PATTERN.arg(meta()->address.toString()), QUrl::TolerantMode));
}

void TxDevice::bindSurface(QAbstractVideoSurface *)
{
    if (!demoMode)
        startFetchVideoStream();
}

void TxDevice::startFetchVideoStream()
{
    if (streamGrabber->isGrabbing())
        return;
    const QString address = meta()->address.toString();
    if (streamGrabber->startGrabbing()) {
        qDebug().noquote() << "grabber for " << address << "started.";
    } else {
        source->setVideoAvaiable(false);
        qDebug().noquote() << "grabber for " << address << "not started.";
    }
}

void TxDevice::onGrabberStateChanged()
{
    switch (streamGrabber->state()) {
    case QImageGrabber::Grabbing:
        source->setVideoAvaiable(true);
        if (outage) {
            outage = false;
            qWarning().noquote()
                << QStringLiteral("Preview of device %1 (%2) is back.").arg(meta()->address.toString(), name());
        }
        break;
    case QImageGrabber::Connecting:
        break;
    default:
        source->setVideoAvaiable(false);
        break;
    }
}

void TxDevice::onVideoDownloadError()
{
    source->setVideoAvaiable(false);
    // An empty frame clears the picture the views still hold.
    QImage placeholder;
    source->onImageReceived(&placeholder);
    // Stopping the stream of an offline encoder ends its download too; that must not
    // bring the stream back. Coming online again restarts it.
    if (!online())
        return;
    // An encoder that stays away would otherwise fill the log with one warning per retry.
    const QString text = QStringLiteral("Error while download image from device %1 (%2), retry after %3 seconds.")
                             .arg(meta()->address.toString(), name(), QString::number(RETRY_DELAY_MS / 1000));
    if (outage) {
        qDebug().noquote() << text;
    } else {
        outage = true;
        qWarning().noquote() << text;
    }
    retryTimer->start();
}

void TxDevice::onOnlineStatusChanged()
{
    if (online()) {
        if (!streamGrabber->isGrabbing())
            streamGrabber->startGrabbing();
    } else {
        retryTimer->stop();
        streamGrabber->stopGrabbing();
    }
}

void TxDevice::addressUpdated(const QHostAddress &oldAddress, const QHostAddress &newAddress)
{
    // A stopped stream reports no error, so no retry would ever bring it back: it is
    // started again at once, at the new address.
    const bool wasGrabbing = streamGrabber->isGrabbing();
    if (wasGrabbing)
        streamGrabber->stopGrabbing();
    logAddressChange(oldAddress, newAddress);
    updateVideoUrl();
    if (wasGrabbing)
        startFetchVideoStream();
}
