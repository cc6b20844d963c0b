#include "app/qr_image_provider.h"

#include <QDebug>
#include <QPainter>
#include <QUrl>

#include <qrencode.h>

#include <memory>

QrImageProvider::QrImageProvider()
    : QQuickImageProvider(QQuickImageProvider::Image)
{
}

QImage QrImageProvider::encode(const QByteArray &text, int modulePixels)
{
    // Error correction M: a screen's glare or a scratched phone lens costs up to 15 %.
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeData(text.size(), reinterpret_cast<const unsigned char *>(text.constData()), 0, QR_ECLEVEL_M),
        &QRcode_free);
    if (!code)
        return QImage();
    const int side = (code->width + 2 * QUIET_MODULES) * modulePixels;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            // The lowest bit of each byte is the module's colour; the others say what it is for.
            if (code->data[y * code->width + x] & 1)
                painter.fillRect((x + QUIET_MODULES) * modulePixels, (y + QUIET_MODULES) * modulePixels, modulePixels,
                    modulePixels, Qt::black);
        }
    }
    return image;
}

QImage QrImageProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    const QByteArray text = QUrl::fromPercentEncoding(id.toUtf8()).toUtf8();
    int modulePixels = DEFAULT_MODULE_PIXELS;
    if (requestedSize.width() > 0) {
        // The module count is known only from the code: the smallest one tells it.
        const QImage probe = encode(text, 1);
        if (!probe.isNull())
            modulePixels = qMax(1, requestedSize.width() / probe.width());
    }
    const QImage image = encode(text, modulePixels);
    if (image.isNull())
        qWarning() << "no QR code holds" << text.size() << "bytes";
    if (size)
        *size = image.size();
    return image;
}
