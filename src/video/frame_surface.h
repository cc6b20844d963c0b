#pragma once

#include <QAbstractVideoSurface>
#include <QImage>

// The surface a frame view hands to its source: it keeps the last frame presented as an
// image, and an empty image once the source clears the picture or stops the surface.
class FrameSurface : public QAbstractVideoSurface
{
    Q_OBJECT

public:
    using QAbstractVideoSurface::QAbstractVideoSurface;

    QList<QVideoFrame::PixelFormat> supportedPixelFormats(QAbstractVideoBuffer::HandleType type) const override;
    bool present(const QVideoFrame &frame) override;
    void stop() override;

    const QImage &image() const { return last; }

signals:
    void frameChanged();

private:
    QImage last;
};
