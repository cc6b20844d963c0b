#pragma once

#include <QByteArray>
#include <QSize>

// Small MJPEG AVI files for the tests. Frame i of a clip is (16 + 8 i) x 16 pixels, so the
// width of a decoded image tells which frame was shown.
class AviFixture
{
public:
    static QByteArray jpeg(const QSize &size);
    static int frameWidth(int frame) { return 16 + 8 * frame; }
    static int frameShown(int width) { return (width - 16) / 8; }
    static QByteArray clip(int frames, int framesPerSecond = 25);

    static quint32 u32(const QByteArray &data, qint64 pos);
    static void putU32(QByteArray &data, qint64 pos, quint32 value);
    // Where entry k of the idx1 index starts.
    static qint64 indexEntryPos(const QByteArray &data, int entry);
};
