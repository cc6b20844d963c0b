#include "avi_fixture.h"

#include "qimagegrabber/avi_format.h"
#include "qimagegrabber/avi_writer.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>

QByteArray AviFixture::jpeg(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpg");
    // Small tables keep a one-frame clip under the 1 KiB lower file size limit.
    writer.setOptimizedWrite(true);
    writer.write(image);
    return bytes;
}

QByteArray AviFixture::clip(int frames, int framesPerSecond)
{
    AviWriter writer(QSize(frameWidth(frames - 1), 16), framesPerSecond);
    for (int i = 0; i < frames; ++i)
        writer.addFrame(jpeg(QSize(frameWidth(i), 16)));
    return writer.toByteArray();
}

quint32 AviFixture::u32(const QByteArray &data, qint64 pos)
{
    return qFromLittleEndian<quint32>(data.constData() + pos);
}

void AviFixture::putU32(QByteArray &data, qint64 pos, quint32 value)
{
    qToLittleEndian(value, data.data() + pos);
}

qint64 AviFixture::indexEntryPos(const QByteArray &data, int entry)
{
    return data.indexOf(avi::INDEX_ID) + avi::CHUNK_HEADER_SIZE + qint64(entry) * avi::INDEX_ENTRY_SIZE;
}
