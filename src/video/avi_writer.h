#pragma once

#include <QByteArray>
#include <QSize>
#include <QVector>

// Builds an MJPEG AVI file in memory: one video stream of JPEG frames, a movie list and
// an idx1 index, the layout the file grabber plays.
class AviWriter
{
public:
    AviWriter(const QSize &frameSize, int framesPerSecond);

    void addFrame(const QByteArray &jpeg);
    // Any other chunk of the movie list (audio, filler); it is indexed like a frame.
    void addChunk(const QByteArray &fourcc, const QByteArray &data);

    QByteArray toByteArray() const;

private:
    struct IndexEntry
    {
        QByteArray fourcc;
        quint32 offset;
        quint32 size;
    };

    QByteArray headerList() const;
    QByteArray indexChunk() const;

    QSize size;
    int fps;
    int frames = 0;
    quint32 largestChunk = 0;
    QByteArray movieData;
    QVector<IndexEntry> entries;
};
