#include "video/frame_texture.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>

FrameTexture::~FrameTexture()
{
    // The scene graph deletes its textures with its context current; without one, the
    // texture has gone with its context.
    if (id && QOpenGLContext::currentContext())
        QOpenGLContext::currentContext()->functions()->glDeleteTextures(1, &id);
}

void FrameTexture::setImage(const QImage &image)
{
    // Bytes in RGBA order are understood by every OpenGL, OpenGL ES included.
    pending = image.convertToFormat(QImage::Format_RGBX8888);
    size = image.size();
}

void FrameTexture::bind()
{
    QOpenGLFunctions *gl = QOpenGLContext::currentContext()->functions();
    const bool created = id == 0;
    if (created)
        gl->glGenTextures(1, &id);
    gl->glBindTexture(GL_TEXTURE_2D, id);
    updateBindOptions(created);
    if (pending.isNull())
        return;
    // Rows of four-byte pixels are always aligned to four.
    gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (pending.size() == allocated) {
        gl->glTexSubImage2D(
            GL_TEXTURE_2D, 0, 0, 0, pending.width(), pending.height(), GL_RGBA, GL_UNSIGNED_BYTE, pending.constBits());
    } else {
        gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, pending.width(), pending.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
            pending.constBits());
        allocated = pending.size();
    }
    pending = QImage();
}
