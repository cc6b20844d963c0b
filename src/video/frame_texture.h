#pragma once

#include <QImage>
#include <QSGTexture>
#include <qopengl.h>

// An OpenGL texture that takes each new frame into the storage it already has. A new texture for
// every frame costs an allocation per frame, which OpenGL drawn by the processor fills with zeros
// first: several times what drawing the frame costs.
class FrameTexture : public QSGTexture
{
    Q_OBJECT

public:
    ~FrameTexture() override;

    // Taken into the texture at the next bind, on the render thread.
    void setImage(const QImage &image);

    int textureId() const override { return int(id); }
    QSize textureSize() const override { return size; }
    bool hasAlphaChannel() const override { return false; }
    bool hasMipmaps() const override { return false; }
    void bind() override;

private:
    GLuint id = 0;
    QSize size;
    // The size of the storage made for the texture.
    QSize allocated;
    QImage pending;
};
