#pragma once

#include <QAbstractVideoSurface>

// A view that shows nothing: it makes a video source decode. It counts the frames it is given
// and keeps the last.
class NullSurface : public QAbstractVideoSurface
{
public:
    QList<QVideoFrame::PixelFormat> supportedPixelFormats(QAbstractVideoBuffer::HandleType) const override
    {
        return {QVideoFrame::Format_RGB32};
    }
    bool present(const QVideoFrame &frame) override
    {
        last = frame;
        ++presented;
        return true;
    }
    int presented = 0;
    QVideoFrame last;
};
