#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// Decodes one JPEG image straight into a fresh 32-bit RGB image, at the smallest of the
// decoder's exact scales (1/1, 1/2, 1/4, 1/8) that still covers the size it is shown at.
// A fresh image per frame is cheap, and a view that still holds the previous frame keeps
// it without forcing a copy. Safe to call from any thread.
class JpegDecoder
{
public:
    // Shown at this size, the image is decoded at full size.
    static const QSize FULL_SIZE;

    // A null image when the bytes are no JPEG, its colours cannot be given as RGB, or its
    // header announces more than maxPixels, which is checked before any pixel memory is taken.
    // A spare image of the right size that nobody else holds is decoded into, instead of a
    // new one: fresh memory for every frame costs the system a page fault per page.
    static QImage decode(const QByteArray &jpeg, const QSize &shownSize, qint64 maxPixels, QImage spare = QImage());
    // At full size, and null as well when the data are damaged or cut short, which decode()
    // fills in: for a single picture, where a broken one must not pass for a frame.
    static QImage decodeWhole(const QByteArray &jpeg, qint64 maxPixels);

    // The scale denominator (1, 2, 4 or 8) for an image of imageSize shown at shownSize: the
    // largest whose decoded size is at least shownSize in both directions, 1 when none is.
    static int scaleDenominator(const QSize &imageSize, const QSize &shownSize);
};
