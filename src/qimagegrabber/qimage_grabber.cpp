#include "qimage_grabber.h"

#include <QBuffer>
#include <QDebug>
#include <QImageReader>
#include <QNetworkReply>

QImageGrabber::QImageGrabber(QObject *parent)
    : QObject(parent),
      frameBuffer(new QBuffer(this)),
      imageReader(new QImageReader()),
      image(new QImage(640, 480, QImage::Format_RGB888))
{
    frameBuffer->open(QIODevice::ReadWrite);
    imageReader->setAutoDetectImageFormat(true);
    imageReader->setDevice(frameBuffer);
    connect(&timeoutTimer, &QTimer::timeout, this, &QImageGrabber::newImageTimeOut);
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
    if (interval == 0)
        return;
    intervalSum -= intervalHistory[size_t(historyIndex)];
    intervalHistory[size_t(historyIndex)] = interval;
    intervalSum += interval;
    if (++historyIndex == FPS_HISTORY_SIZE) {
        historyIndex = 0;
        historyFull = true;
    }
    const double meanInterval = historyFull ? intervalSum / double(FPS_HISTORY_SIZE) : intervalSum / double(historyIndex);
    const float current = 1000.0f / float(interval);
    emit newFPSCalculated(double(current), 1000.0 / meanInterval);
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

void QImageGrabber::abandonReply(QNetworkReply *&reply)
{
    if (!reply)
        return;
    QNetworkReply *old = reply;
    reply = nullptr;
    old->disconnect(this);
    old->abort();
    old->deleteLater();
}
