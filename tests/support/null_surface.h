#pragma once

#include <QAbstractVideoSurface>

// A view that takes every frame and shows none: it makes a video source decode.
class NullSurface : public QAbstractVideoSurface
{
public:
    QList<QVideoFrame::PixelFormat> supportedPixelFormats(QAbstractVideoBuffer::HandleType) const override
    {
        return {QVideoFrame::Format_RGB32};
    }
    bool present(const QVideoFrame &) override { return true; }
};
