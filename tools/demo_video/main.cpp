// Renders the demo video that demo mode plays: an MJPEG AVI beside the program.
#include "demo_frame_painter.h"
#include "video/avi_writer.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>
#include <QSaveFile>
#include <QtDebug>

namespace {

const QSize FRAME_SIZE(1280, 720);
constexpr int FRAMES_PER_SECOND = 25;
// Every 720p frame costs some 15 kB even with flat bars and optimised Huffman tables, so
// the loop is kept to ten seconds to ship a video of about 4 MB.
constexpr int SECONDS = 10;
constexpr int JPEG_QUALITY = 50;

bool encodeJpeg(const QImage &image, QByteArray *jpeg)
{
    QBuffer buffer(jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpg");
    writer.setQuality(JPEG_QUALITY);
    writer.setOptimizedWrite(true);
    if (writer.write(image))
        return true;
    qCritical().noquote() << "Could not encode a frame:" << writer.errorString();
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    // The tool never opens a window; drawing text still needs a GUI application. The
    // minimal platform with the system fonts gives it one on build machines without a
    // display, and unlike the offscreen platform it frees its screen at exit, so the
    // sanitizer build's leak check passes.
    qputenv("QT_QPA_PLATFORM", "minimal:enable_fonts");
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 2) {
        qCritical("usage: demo_video OUTPUT.avi");
        return 2;
    }

    const DemoFramePainter painter(FRAME_SIZE, FRAMES_PER_SECOND);
    AviWriter avi(FRAME_SIZE, FRAMES_PER_SECOND);
    for (int number = 0; number < SECONDS * FRAMES_PER_SECOND; ++number) {
        QByteArray jpeg;
        if (!encodeJpeg(painter.frame(number), &jpeg))
            return 1;
        avi.addFrame(jpeg);
    }

    QSaveFile output(arguments.at(1));
    if (!output.open(QIODevice::WriteOnly) || output.write(avi.toByteArray()) < 0 || !output.commit()) {
        qCritical().noquote() << "Could not write" << arguments.at(1) << ":" << output.errorString();
        return 1;
    }
    return 0;
}
