#pragma once

#include <QQuickImageProvider>

// QR codes for the window: "image://qr/<percent-encoded text>" draws the text's code black on
// white with the quiet zone of four modules that scanners need, at whole pixels per module
// (a module split across pixels blurs, and phones then misread it).
class QrImageProvider : public QQuickImageProvider
{
public:
    // Pixels per module when the image asks for no size.
    static constexpr int DEFAULT_MODULE_PIXELS = 8;
    static constexpr int QUIET_MODULES = 4;

    QrImageProvider();

    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;

    // The code for text, modules of modulePixels; null when the text does not fit a QR code.
    static QImage encode(const QByteArray &text, int modulePixels);
};
