#include "video/mini_video_source.h"

#include <QAbstractVideoSurface>
#include <QDebug>
#include <QImage>
#include <QTimer>
#include <QVideoFrame>
#include <QVideoSurfaceFormat>
#include <limits>

namespace {

// A view that has handed over its surface but not yet its size may draw at any size.
const QSize SIZE_NOT_KNOWN(std::numeric_limits<int>::max(), std::numeric_limits<int>::max());

} // namespace

MiniVideoSource::MiniVideoSource(QObject *parent)
    : QObject(parent)
    , surfaceStartTimer(new QTimer(this))
{
    surfaceStartTimer->setObjectName(QStringLiteral("surfaceStartTimer"));
    surfaceStartTimer->setSingleShot(true);
    surfaceStartTimer->setInterval(SURFACE_START_DELAY_MS);
    connect(this, &MiniVideoSource::surfaceChanged, this, &MiniVideoSource::bindSurface);
    connect(this, &MiniVideoSource::surfaceChanged, this, &MiniVideoSource::onSurfaceChanged);
    connect(this, &MiniVideoSource::sizeChanged, this, &MiniVideoSource::bindSurface);
    connect(surfaceStartTimer, &QTimer::timeout, this, &MiniVideoSource::startSurface);
    connect(this, &MiniVideoSource::surfaceChanged, this, &MiniVideoSource::updateShown);
    connect(this, &MiniVideoSource::sizeChanged, this, &MiniVideoSource::updateShown);
}

MiniVideoSource::~MiniVideoSource()
{
    detachFromBoundSource();
}

QAbstractVideoSurface *MiniVideoSource::videoSurface() const
{
    return surface;
}

void MiniVideoSource::setVideoSurface(QAbstractVideoSurface *newSurface)
{
    if (surface == newSurface)
        return;
    surface = newSurface;
    emit surfaceChanged(newSurface);
}

void MiniVideoSource::setVideoAvaiable(bool flag)
{
    available = flag;
    emit videoAvaiableChanged(flag);
}

void MiniVideoSource::writeVideoAvaiable(bool flag)
{
    if (available != flag)
        setVideoAvaiable(flag);
}

void MiniVideoSource::setSize(const QSize &newSize)
{
    if (viewSize == newSize)
        return;
    viewSize = newSize;
    emit sizeChanged(newSize);
}

void MiniVideoSource::bindSource(MiniVideoSource *other)
{
    if (other == mirrored)
        return;
    unbindSource();
    // Binding no source is an unbind: there is nothing to mirror, and nothing to read from.
    if (!other)
        return;
    mirrored = other;
    mirrorConnections << connect(other, &MiniVideoSource::imageReceived, this, &MiniVideoSource::onImageReceived)
                      << connect(
                             other, &MiniVideoSource::videoAvaiableChanged, this, &MiniVideoSource::setVideoAvaiable)
                      << connect(this, &MiniVideoSource::shownSizeChanged, other, &MiniVideoSource::updateShown)
                      << connect(
                             this, &MiniVideoSource::shownFrameIntervalChanged, other, &MiniVideoSource::updateShown);
    other->mirrors << this;
    other->updateShown();
    setVideoAvaiable(other->videoAvaiable());
}

void MiniVideoSource::unbindSource()
{
    for (const QMetaObject::Connection &connection : qAsConst(mirrorConnections))
        disconnect(connection);
    mirrorConnections.clear();
    setVideoAvaiable(false);
    detachFromBoundSource();
    mirrored = nullptr;
}

void MiniVideoSource::detachFromBoundSource()
{
    if (!mirrored)
        return;
    mirrored->mirrors.removeAll(this);
    mirrored->updateShown();
}

void MiniVideoSource::setFrameInterval(int ms)
{
    drawPacer.setInterval(ms);
    updateShown();
}

void MiniVideoSource::updateShown()
{
    QSize size(0, 0);
    int interval = std::numeric_limits<int>::max();
    if (surface) {
        size = viewSize.isEmpty() ? SIZE_NOT_KNOWN : viewSize;
        interval = drawPacer.interval();
    }
    for (const MiniVideoSource *mirror : qAsConst(mirrors)) {
        if (mirror->shownSize().isEmpty())
            continue;
        size = size.expandedTo(mirror->shownSize());
        interval = qMin(interval, mirror->shownFrameInterval());
    }
    if (size.isEmpty())
        interval = 0;
    // Both are stored before either is announced: a mirrored source reads both.
    const bool intervalChanged = interval != shownInterval;
    const bool sizeChanged = size != shown;
    shownInterval = interval;
    shown = size;
    if (intervalChanged)
        emit shownFrameIntervalChanged(shownInterval);
    if (sizeChanged)
        emit shownSizeChanged(shown);
}

void MiniVideoSource::bindSurface()
{
    if (!surface || viewSize.width() == 0 || viewSize.height() == 0)
        return;
    if (surface->isActive())
        surface->stop();
    surfaceStartTimer->start();
}

void MiniVideoSource::onSurfaceChanged()
{
    qDebug() << "surface changed";
}

void MiniVideoSource::onImageReceived(QImage *image)
{
    // The placeholder that clears the picture always goes through.
    const bool frame = image && !image->isNull();
    if (surface && surface->isActive() && (!frame || drawPacer.admit()))
        surface->present(frame ? QVideoFrame(*image) : QVideoFrame());
    emit imageReceived(image);
}

void MiniVideoSource::startSurface()
{
    if (!surface)
        return;
    const QVideoSurfaceFormat format(viewSize, QVideoFrame::Format_RGB32, QAbstractVideoBuffer::NoHandle);
    if (surface->start(format))
        qDebug() << "surface start";
    else
        qDebug() << "surface start failed with error: " << surface->error();
}
