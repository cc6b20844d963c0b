#include "avi_writer.h"

#include "avi_format.h"

#include <QtEndian>

namespace {

void appendU32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void appendU16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

// RIFF chunks are padded to an even length; the size field gives the unpadded length.
QByteArray chunk(const QByteArray &fourcc, const QByteArray &data)
{
    QByteArray out = fourcc;
    appendU32(out, quint32(data.size()));
    out += data;
    if (data.size() % 2)
        out.append('\0');
    return out;
}

QByteArray list(const QByteArray &listType, const QByteArray &content)
{
    return chunk(avi::LIST_ID, listType + content);
}

} // namespace

AviWriter::AviWriter(const QSize &frameSize, int framesPerSecond)
    : size(frameSize)
    , fps(framesPerSecond)
{
}

void AviWriter::addFrame(const QByteArray &jpeg)
{
    addChunk(avi::FIRST_VIDEO_CHUNK, jpeg);
    ++frames;
}

void AviWriter::addChunk(const QByteArray &fourcc, const QByteArray &data)
{
    // Offsets count from the "movi" list type, which precedes the first chunk.
    entries.append({fourcc, quint32(avi::FOURCC_SIZE + movieData.size()), quint32(data.size())});
    largestChunk = qMax(largestChunk, quint32(data.size()));
    movieData += chunk(fourcc, data);
}

QByteArray AviWriter::toByteArray() const
{
    const QByteArray body = avi::AVI_FORM + headerList() + list(avi::MOVIE_LIST, movieData) + indexChunk();
    return chunk(avi::RIFF_ID, body);
}

QByteArray AviWriter::headerList() const
{
    const quint32 microsecondsPerFrame = quint32(1000000 / fps);
    QByteArray mainHeader;
    appendU32(mainHeader, microsecondsPerFrame);
    appendU32(mainHeader, largestChunk * quint32(fps)); // max bytes per second
    appendU32(mainHeader, 0); // padding granularity
    appendU32(mainHeader, avi::AVIF_HASINDEX);
    appendU32(mainHeader, quint32(frames));
    appendU32(mainHeader, 0); // initial frames
    appendU32(mainHeader, 1); // streams
    appendU32(mainHeader, largestChunk);
    appendU32(mainHeader, quint32(size.width()));
    appendU32(mainHeader, quint32(size.height()));
    mainHeader.append(16, '\0'); // reserved

    QByteArray streamHeader = avi::VIDEO_STREAM + avi::MJPEG_HANDLER;
    appendU32(streamHeader, 0); // flags
    appendU16(streamHeader, 0); // priority
    appendU16(streamHeader, 0); // language
    appendU32(streamHeader, 0); // initial frames
    appendU32(streamHeader, 1); // scale: rate / scale is the frame rate
    appendU32(streamHeader, quint32(fps));
    appendU32(streamHeader, 0); // start
    appendU32(streamHeader, quint32(frames));
    appendU32(streamHeader, largestChunk);
    appendU32(streamHeader, 0xFFFFFFFF); // default quality
    appendU32(streamHeader, 0); // sample size varies
    appendU16(streamHeader, 0);
    appendU16(streamHeader, 0);
    appendU16(streamHeader, quint16(size.width()));
    appendU16(streamHeader, quint16(size.height()));

    QByteArray bitmapInfo;
    appendU32(bitmapInfo, avi::BITMAP_INFO_SIZE);
    appendU32(bitmapInfo, quint32(size.width()));
    appendU32(bitmapInfo, quint32(size.height()));
    appendU16(bitmapInfo, 1); // planes
    appendU16(bitmapInfo, 24); // bits per pixel once decoded
    bitmapInfo += avi::MJPEG_HANDLER;
    appendU32(bitmapInfo, quint32(size.width() * size.height() * 3));
    bitmapInfo.append(16, '\0'); // resolution and palette, unused

    Q_ASSERT(mainHeader.size() == avi::MAIN_HEADER_SIZE);
    Q_ASSERT(streamHeader.size() == avi::STREAM_HEADER_SIZE);
    Q_ASSERT(bitmapInfo.size() == avi::BITMAP_INFO_SIZE);
    const QByteArray streamList
        = list(avi::STREAM_LIST, chunk(avi::STREAM_HEADER_ID, streamHeader) + chunk(avi::STREAM_FORMAT_ID, bitmapInfo));
    return list(avi::HEADER_LIST, chunk(avi::MAIN_HEADER_ID, mainHeader) + streamList);
}

QByteArray AviWriter::indexChunk() const
{
    QByteArray index;
    for (const IndexEntry &entry : entries) {
        index += entry.fourcc;
        appendU32(index, avi::AVIIF_KEYFRAME);
        appendU32(index, entry.offset);
        appendU32(index, entry.size);
    }
    return chunk(avi::INDEX_ID, index);
}
