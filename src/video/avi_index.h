#pragma once

#include <QByteArray>
#include <QSharedPointer>

// The structure of an MJPEG AVI file held in memory: how long a frame lasts, where the
// index is, and the way from an index entry to its JPEG bytes. Every position the file
// gives is checked against the data before it is used, so any bytes can be parsed safely.
class AviIndex
{
public:
    // Null when the data is not an MJPEG AVI whose header, movie list and index fit inside it.
    static QSharedPointer<AviIndex> parse(const QByteArray &data);

    int frameIntervalMs() const { return intervalMs; }
    int entryCount() const { return entries; }

    // False when the entry is out of range, its chunk is not a compressed video frame or
    // does not fit in the file. Otherwise jpeg shares the file data (valid while this index
    // lives); it may be empty, as writers store a dropped frame as an empty chunk that still
    // takes its time slot.
    bool videoFrame(int entry, QByteArray *jpeg) const;

private:
    explicit AviIndex(const QByteArray &data)
        : fileData(data)
    {
    }

    QByteArray fileData;
    // Chunk offsets in the index count from the "movi" list type.
    qint64 moviePos = 0;
    qint64 indexPos = 0;
    int intervalMs = 0;
    int entries = 0;
};
