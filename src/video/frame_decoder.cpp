#include "frame_decoder.h"

#include "decode_pool.h"
#include "jpeg_decoder.h"

#include <mutex>

// What a job and its decoder share: the job may finish after the decoder is gone, so it
// reaches the decoder only through here, under the lock.
struct FrameDecoder::Channel
{
    std::mutex mutex;
    FrameDecoder *owner = nullptr;
    QImage result;
};

FrameDecoder::FrameDecoder(qint64 maxPixels, QObject *parent)
    : QObject(parent)
    , maxPixels(maxPixels)
    , channel(std::make_shared<Channel>())
    , shown(JpegDecoder::FULL_SIZE)
{
    channel->owner = this;
}

FrameDecoder::~FrameDecoder()
{
    std::lock_guard<std::mutex> lock(channel->mutex);
    channel->owner = nullptr;
}

void FrameDecoder::setShownSize(const QSize &size)
{
    shown = size;
    if (shown.isEmpty())
        dropWaiting();
}

void FrameDecoder::submit(const QByteArray &jpeg)
{
    newestFrame = jpeg;
    ++newestSerial;
    if (shown.isEmpty() || !pacer.admit())
        return;
    waiting = jpeg;
    frameWaiting = true;
    if (!inFlight)
        startNext();
}

QByteArray FrameDecoder::newest(quint64 *serial) const
{
    *serial = newestSerial;
    return newestFrame;
}

void FrameDecoder::cancel()
{
    // An ended stream has no current picture.
    newestFrame = QByteArray();
    dropWaiting();
    ++generation;
}

void FrameDecoder::dropWaiting()
{
    waiting = QByteArray();
    frameWaiting = false;
}

void FrameDecoder::startNext()
{
    inFlight = true;
    inFlightGeneration = generation;
    const QByteArray jpeg = waiting;
    dropWaiting();
    // Moved, not shared, so that the job holds the only reference when nobody else does.
    DecodePool::shared().run(
        [channel = channel, jpeg, size = shown, maxPixels = maxPixels, spare = std::move(previous)]() mutable {
            QImage image = JpegDecoder::decode(jpeg, size, maxPixels, std::move(spare));
            std::lock_guard<std::mutex> lock(channel->mutex);
            channel->result = std::move(image);
            // Called by name, so that nothing made on this thread travels with the call: the
            // result goes through the channel, under its lock.
            if (channel->owner)
                QMetaObject::invokeMethod(channel->owner, "onFinished", Qt::QueuedConnection);
        });
}

void FrameDecoder::onFinished()
{
    QImage image;
    {
        std::lock_guard<std::mutex> lock(channel->mutex);
        image.swap(channel->result);
    }
    inFlight = false;
    const bool stillWanted = inFlightGeneration == generation;
    if (frameWaiting)
        startNext();
    if (!stillWanted || image.isNull())
        return;
    previous = std::move(current);
    current = image;
    emit decoded(image);
}
