#pragma once

#include "video/frame_pacer.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>

class QAbstractVideoSurface;
class QImage;
class QTimer;

// The source object of a declarative video view: the view hands over its surface, and
// decoded images are presented on it as video frames. A source can mirror another one, so
// that one picture shows in two views.
class MiniVideoSource : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QAbstractVideoSurface *videoSurface READ videoSurface WRITE setVideoSurface NOTIFY surfaceChanged)
    Q_PROPERTY(bool videoAvaiable READ videoAvaiable WRITE writeVideoAvaiable NOTIFY videoAvaiableChanged)
    Q_PROPERTY(QSize size READ size WRITE setSize NOTIFY sizeChanged)

public:
    // The surface is started this long after the last change of surface or size, so that a
    // window being resized does not restart it for every step.
    static constexpr int SURFACE_START_DELAY_MS = 500;

    explicit MiniVideoSource(QObject *parent = nullptr);
    ~MiniVideoSource() override;

    QAbstractVideoSurface *videoSurface() const;
    void setVideoSurface(QAbstractVideoSurface *surface);
    bool videoAvaiable() const { return available; }
    // Announces the flag every time, also when it does not change.
    void setVideoAvaiable(bool flag);
    QSize size() const { return viewSize; }
    void setSize(const QSize &newSize);

    // Mirrors other's frames and availability until unbindSource or the next bindSource;
    // a null other unbinds.
    void bindSource(MiniVideoSource *other);
    void unbindSource();
    // The source mirrored now; nullptr when none, or when it has been destroyed.
    MiniVideoSource *boundSource() const { return mirrored; }

    // The size this source's frames are drawn at: the larger of its own view's size, while a
    // view has handed over its surface (unbounded until the view tells its size), and the
    // shown sizes of the sources mirroring it. Empty when nobody shows the frames, so that
    // they need not be decoded.
    QSize shownSize() const { return shown; }

    // Frames are drawn in this source's own view no more often than once per interval (0: every
    // frame); mirrors still get every frame. A thumbnail of a few hundred pixels needs far
    // fewer frames than the large view, and each drawn frame costs the renderer.
    void setFrameInterval(int ms);
    // The shortest draw interval of the views that show this source's frames: its own while
    // its view has a surface, and those of the sources mirroring it. Frames coming faster are
    // not needed by anyone.
    int shownFrameInterval() const { return shownInterval; }

signals:
    void surfaceChanged(QAbstractVideoSurface *surface);
    void videoAvaiableChanged(bool state);
    void imageReceived(QImage *image);
    void sizeChanged(QSize size);
    void shownSizeChanged(QSize size);
    void shownFrameIntervalChanged(int ms);

public slots:
    void bindSurface();
    void onSurfaceChanged();
    void onImageReceived(QImage *image);
    void startSurface();

private:
    // The property write from the view: announced only on a change.
    void writeVideoAvaiable(bool flag);
    // Works out shownSize and shownFrameInterval afresh.
    void updateShown();
    void detachFromBoundSource();

    bool available = false;
    // The view owns the surface; a deleted one must not be presented to.
    QPointer<QAbstractVideoSurface> surface;
    QList<QMetaObject::Connection> mirrorConnections;
    QSize viewSize {0, 0};
    QTimer *surfaceStartTimer;
    QPointer<MiniVideoSource> mirrored;
    // The sources that mirror this one.
    QList<MiniVideoSource *> mirrors;
    QSize shown {0, 0};
    FramePacer drawPacer;
    int shownInterval = 0;
};
