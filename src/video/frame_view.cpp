#include "video/frame_view.h"

#include "video/frame_surface.h"
#include "video/frame_texture.h"
#include "video/mini_video_source.h"

#include <QQuickWindow>
#include <QSGImageNode>

FrameView::FrameView(QQuickItem *parent)
    : QQuickItem(parent)
    , surface(new FrameSurface(this))
{
    setFlag(ItemHasContents);
    connect(surface, &FrameSurface::frameChanged, this, &FrameView::onFrameChanged);
}

FrameView::~FrameView()
{
    // Stopping the surface below must not ask a dying item to be drawn.
    disconnect(surface, nullptr, this, nullptr);
    releaseSource();
}

void FrameView::setSource(MiniVideoSource *newSource)
{
    if (videoSource == newSource)
        return;
    releaseSource();
    videoSource = newSource;
    if (videoSource)
        videoSource->setVideoSurface(surface);
    emit sourceChanged();
}

void FrameView::releaseSource()
{
    if (videoSource && videoSource->videoSurface() == surface)
        videoSource->setVideoSurface(nullptr);
    if (surface->isActive())
        surface->stop();
}

void FrameView::setFillMode(FillMode newMode)
{
    if (mode == newMode)
        return;
    mode = newMode;
    update();
    emit fillModeChanged();
}

void FrameView::onFrameChanged()
{
    frameChanged = true;
    update();
}

void FrameView::geometryChanged(const QRectF &newGeometry, const QRectF &oldGeometry)
{
    QQuickItem::geometryChanged(newGeometry, oldGeometry);
    update();
}

QRectF FrameView::frameRect(const QSize &frameSize) const
{
    const QRectF all = boundingRect();
    if (mode == Stretch)
        return all;
    const QSizeF fitted = QSizeF(frameSize).scaled(all.size(), Qt::KeepAspectRatio);
    return QRectF(QPointF(all.center().x() - fitted.width() / 2, all.center().y() - fitted.height() / 2), fitted);
}

QSGNode *FrameView::updatePaintNode(QSGNode *oldNode, UpdatePaintNodeData *)
{
    const QImage &image = surface->image();
    if (image.isNull() || width() <= 0 || height() <= 0) {
        delete oldNode;
        frameChanged = false;
        return nullptr;
    }
    auto node = static_cast<QSGImageNode *>(oldNode);
    if (!node) {
        node = window()->createImageNode();
        node->setOwnsTexture(true);
        frameChanged = true;
    }
    if (frameChanged) {
        if (window()->rendererInterface()->graphicsApi() == QSGRendererInterface::OpenGL) {
            auto texture = qobject_cast<FrameTexture *>(node->texture());
            if (!texture) {
                texture = new FrameTexture;
                node->setTexture(texture);
            }
            texture->setImage(image);
            // The same texture with new content: the renderer must still hear of it.
            node->markDirty(QSGNode::DirtyMaterial);
        } else {
            // The node owns its texture and deletes the one it replaces.
            node->setTexture(window()->createTextureFromImage(image));
        }
        node->setSourceRect(QRectF(QPointF(0, 0), image.size()));
        frameChanged = false;
    }
    node->setFiltering(smooth() ? QSGTexture::Linear : QSGTexture::Nearest);
    node->setRect(frameRect(image.size()));
    return node;
}
