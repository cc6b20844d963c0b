#include "qimage_grabber.h"

#include "frame_decoder.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDebug>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <chrono>

QImageGrabber::QImageGrabber(QObject *parent)
    : QObject(parent)
    , frameBuffer(new QBuffer(this))
    , imageReader(new QImageReader())
    , image(new QImage(640, 480, QImage::Format_RGB32))
    , decoder(new FrameDecoder(MAX_IMAGE_PIXELS, this))
{
    frameBuffer->open(QIODevice::ReadWrite);
    imageReader->setAutoDetectImageFormat(true);
    imageReader->setDevice(frameBuffer);
    connect(&timeoutTimer, &QTimer::timeout, this, &QImageGrabber::newImageTimeOut);
    connect(decoder, &FrameDecoder::decoded, this, &QImageGrabber::handOut);
}

QImageGrabber::~QImageGrabber()
{
    delete imageReader;
    delete image;
}

bool QImageGrabber::isGrabbing() const
{
    return grabbingState == Grabbing;
}

QByteArray QImageGrabber::newestJpeg(quint64 *serial) const
{
    return decoder->newest(serial);
}

void QImageGrabber::setShownSize(const QSize &size)
{
    decoder->setShownSize(size);
}

void QImageGrabber::setFrameInterval(int ms)
{
    decoder->setFrameInterval(ms);
}

void QImageGrabber::setState(GrabbingState newState)
{
    if (newState == grabbingState)
        return;
    grabbingState = newState;
    emit stateChanged(grabbingState);
}

void QImageGrabber::calculateFPS(int intervalMs)
{
    const quint16 interval = quint16(intervalMs);
    // A frame that came with the one before it has no rate of its own, but it counts towards
    // the average: a sender that writes its frames in pairs still sends all of them.
    intervalSum -= intervalHistory[size_t(historyIndex)];
    intervalHistory[size_t(historyIndex)] = interval;
    intervalSum += interval;
    if (++historyIndex == FPS_HISTORY_SIZE) {
        historyIndex = 0;
        historyFull = true;
    }
    if (interval == 0)
        return;
    const double meanInterval
        = historyFull ? intervalSum / double(FPS_HISTORY_SIZE) : intervalSum / double(historyIndex);
    const float current = 1000.0f / float(interval);
    emit newFPSCalculated(double(current), 1000.0 / meanInterval);
}

qint64 QImageGrabber::monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool QImageGrabber::readImage()
{
    const QSize size = imageReader->size();
    if (size.isValid() && qint64(size.width()) * size.height() > MAX_IMAGE_PIXELS) {
        qWarning() << "Image of" << size << "pixels refused, more than" << MAX_IMAGE_PIXELS;
        return false;
    }
    return imageReader->read(image);
}

QNetworkAccessManager *QImageGrabber::networkManager()
{
    // Lives as long as the process and is never destroyed: Qt stops the manager's network
    // thread when the manager is destroyed, and a request aborted just before (a preview
    // closed as the program ends) can then be left half torn down in that thread.
    static QNetworkAccessManager *const shared = new QNetworkAccessManager;
    return shared;
}

void QImageGrabber::abandonReply(QPointer<QNetworkReply> &reply)
{
    if (!reply)
        return;
    QNetworkReply *old = reply;
    reply = nullptr;
    old->disconnect(this);
    // A reply that has failed is ending already; aborting it as well makes Qt report an
    // internal problem.
    if (!old->isFinished() && old->error() == QNetworkReply::NoError)
        old->abort();
    old->deleteLater();
}

void QImageGrabber::handOut(const QImage &frame)
{
    *image = frame;
    emit newImageGrabbed(image);
}
