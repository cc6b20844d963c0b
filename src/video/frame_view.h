#pragma once

#include "video/mini_video_source.h"

#include <QPointer>
#include <QQuickItem>

class FrameSurface;

// Shows the frames of a video source in the window. Unlike the multimedia module's video
// view it draws through the scene graph's own image nodes, so it is drawn by every scene
// graph backend, the software one included, and a frame that did not change leaves the item
// untouched: the software backend then repaints nothing of it.
class FrameView : public QQuickItem
{
    Q_OBJECT
    Q_PROPERTY(MiniVideoSource *source READ source WRITE setSource NOTIFY sourceChanged)
    Q_PROPERTY(FillMode fillMode READ fillMode WRITE setFillMode NOTIFY fillModeChanged)

public:
    enum FillMode { Stretch, PreserveAspectFit };
    Q_ENUM(FillMode)

    explicit FrameView(QQuickItem *parent = nullptr);
    ~FrameView() override;

    MiniVideoSource *source() const { return videoSource; }
    void setSource(MiniVideoSource *newSource);
    FillMode fillMode() const { return mode; }
    void setFillMode(FillMode newMode);

signals:
    void sourceChanged();
    void fillModeChanged();

protected:
    QSGNode *updatePaintNode(QSGNode *oldNode, UpdatePaintNodeData *data) override;
    void geometryChanged(const QRectF &newGeometry, const QRectF &oldGeometry) override;

private:
    void onFrameChanged();
    // Hands the surface back, if the source still has this view's.
    void releaseSource();
    QRectF frameRect(const QSize &frameSize) const;

    FrameSurface *surface;
    QPointer<MiniVideoSource> videoSource;
    FillMode mode = Stretch;
    // Set when the surface holds a frame the scene graph has not taken yet.
    bool frameChanged = false;
};
