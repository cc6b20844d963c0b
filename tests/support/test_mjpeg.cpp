#include "test_mjpeg.h"

#include <QBuffer>
#include <QImage>
#include <QtEndian>

namespace TestMjpeg {

QByteArray plain(const QColor &colour, const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

QByteArray claimingSize(int width, int height)
{
    QByteArray bytes = plain(Qt::gray);
    // The baseline frame header: marker, length, precision, then height and width.
    const int sof = bytes.indexOf("\xff\xc0");
    Q_ASSERT(sof > 0);
    qToBigEndian<quint16>(quint16(height), bytes.data() + sof + 5);
    qToBigEndian<quint16>(quint16(width), bytes.data() + sof + 7);
    return bytes;
}

bool looksLike(const QImage &image, const QColor &colour)
{
    const QColor seen = image.pixelColor(image.width() / 2, image.height() / 2);
    return qAbs(seen.red() - colour.red()) < 16 && qAbs(seen.green() - colour.green()) < 16
        && qAbs(seen.blue() - colour.blue()) < 16;
}

QByteArray blockHeader(qint64 size, int length)
{
    QByteArray header = "mjpeg" + QByteArray::number(size).rightJustified(8, '0');
    header += QByteArray(length - header.size() - 1, ' ') + '\n';
    return header;
}

QByteArray multipartPart(const QByteArray &image, const QByteArray &boundary)
{
    return "Content-type: image/jpeg\r\nContent-length: " + QByteArray::number(image.size()) + "\r\n\r\n" + image
        + "\r\n--" + boundary + "\r\n";
}

} // namespace TestMjpeg
