#include "video/frame_surface.h"

QList<QVideoFrame::PixelFormat> FrameSurface::supportedPixelFormats(QAbstractVideoBuffer::HandleType type) const
{
    if (type != QAbstractVideoBuffer::NoHandle)
        return {};
    return {QVideoFrame::Format_RGB32, QVideoFrame::Format_ARGB32, QVideoFrame::Format_ARGB32_Premultiplied};
}

bool FrameSurface::present(const QVideoFrame &frame)
{
    if (!isActive()) {
        setError(StoppedError);
        return false;
    }
    if (!frame.isValid()) {
        last = QImage();
        emit frameChanged();
        return true;
    }
    QVideoFrame mapped(frame);
    const QImage::Format format = QVideoFrame::imageFormatFromPixelFormat(mapped.pixelFormat());
    if (format == QImage::Format_Invalid || !mapped.map(QAbstractVideoBuffer::ReadOnly)) {
        setError(IncorrectFormatError);
        return false;
    }
    // The frame's memory is the source's; the scene graph may read the image after it has gone.
    last = QImage(mapped.bits(), mapped.width(), mapped.height(), mapped.bytesPerLine(), format).copy();
    mapped.unmap();
    emit frameChanged();
    return true;
}

void FrameSurface::stop()
{
    last = QImage();
    QAbstractVideoSurface::stop();
    emit frameChanged();
}
