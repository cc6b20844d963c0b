// Feeds arbitrary preview-stream bytes, in arbitrary chunks, to the frame cutter and checks
// that the images it cuts do not depend on how the bytes were split on the way.
#include "video/mjpeg_frame_cutter.h"
#include "video/qimage_grabber.h"

#include <QBuffer>
#include <QList>
#include <cstdint>
#include <cstdlib>

namespace {

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
}

struct Run
{
    QList<QByteArray> images;
    bool overflowed = false;
};

// Delivers body in chunks whose sizes come from seed (0: all at once) and cuts what it can
// after every arrival, as the grabber does.
Run cut(const QByteArray &body, qint64 cap, quint32 seed)
{
    MjpegFrameCutter cutter(cap, cap / 4);
    QByteArray arrived;
    QBuffer input(&arrived);
    input.open(QIODevice::ReadOnly);
    Run run;
    for (int at = 0; at < body.size();) {
        int length = body.size() - at;
        if (seed != 0) {
            seed ^= seed << 13;
            seed ^= seed >> 17;
            seed ^= seed << 5;
            length = qMin(length, 1 + int(seed % 97));
        }
        arrived.append(body.constData() + at, length);
        at += length;
        while (cutter.cutImage(&input)) {
            QByteArray image;
            cutter.takeNewestImage(image);
            if (image.size() > cap)
                abort();
            run.images << image;
        }
    }
    if (cutter.frameCount() != quint64(run.images.size()) || input.pos() > arrived.size())
        abort();
    run.overflowed = cutter.overflowed();
    return run;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = (qInstallMessageHandler(dropMessage), true);
    Q_UNUSED(quiet);
    if (size < 2)
        return 0;
    // The first byte picks a small cap, so that the overflow paths are reached too; the
    // second seeds the chunk sizes.
    const qint64 cap = (data[0] & 1) ? 200 : QImageGrabber::MAX_IMAGE_BYTES;
    const quint32 seed = data[1] | 1u;
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char *>(data + 2), int(size - 2));

    const Run whole = cut(body, cap, 0);
    const Run chunked = cut(body, cap, seed);
    // An unfinished header line can pass the cap earlier when it arrives in pieces; short of
    // that the split must not matter.
    if (chunked.overflowed) {
        if (chunked.images != whole.images.mid(0, chunked.images.size()))
            abort();
    } else if (whole.overflowed || chunked.images != whole.images) {
        abort();
    }
    return 0;
}
