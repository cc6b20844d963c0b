#include "models/tx_device.h"

#include "mini_video_source.h"
#include "qimagegrabber/qimage_grabber_mjpeg.h"

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
    qWarning().noquote() << QStringLiteral("Error while download image from device %1 (%2), retry after %3 seconds.")
                                .arg(meta()->address.toString(), name(), QString::number(RETRY_DELAY_MS / 1000));
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
    if (streamGrabber->isGrabbing())
        streamGrabber->stopGrabbing();
    logAddressChange(oldAddress, newAddress);
    updateVideoUrl();
}
