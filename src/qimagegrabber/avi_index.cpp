#include "avi_index.h"

#include "avi_format.h"

#include <QtEndian>
#include <cstring>

namespace {

bool fits(const QByteArray &data, qint64 pos, qint64 length)
{
    return pos >= 0 && length >= 0 && pos + length <= data.size();
}

bool hasTag(const QByteArray &data, qint64 pos, const QByteArray &tag)
{
    return fits(data, pos, tag.size()) && std::memcmp(data.constData() + pos, tag.constData(), size_t(tag.size())) == 0;
}

// Callers check that the four bytes are inside the data.
quint32 readU32(const QByteArray &data, qint64 pos)
{
    return qFromLittleEndian<quint32>(data.constData() + pos);
}

// The first "LIST" whose list type is "movi", or -1.
qint64 findMovieList(const QByteArray &data)
{
    int hit = data.indexOf(avi::LIST_ID);
    while (hit >= 0) {
        if (hasTag(data, qint64(hit) + avi::CHUNK_HEADER_SIZE, avi::MOVIE_LIST))
            return hit;
        hit = data.indexOf(avi::LIST_ID, hit + avi::FOURCC_SIZE);
    }
    return -1;
}

} // namespace

QSharedPointer<AviIndex> AviIndex::parse(const QByteArray &data)
{
    if (!hasTag(data, 0, avi::RIFF_ID) || !fits(data, avi::RIFF_SIZE_POS, 4)
        || readU32(data, avi::RIFF_SIZE_POS) != quint64(data.size()) - avi::CHUNK_HEADER_SIZE)
        return {};

    if (!hasTag(data, avi::MAIN_HEADER_POS, avi::MAIN_HEADER_ID) || !fits(data, avi::MICROSECONDS_PER_FRAME_POS, 4))
        return {};
    const qint64 mainHeaderSize = readU32(data, avi::MAIN_HEADER_SIZE_POS);
    if (!fits(data, avi::MICROSECONDS_PER_FRAME_POS, mainHeaderSize))
        return {};

    const qint64 streamHeaderPos = avi::MAIN_HEADER_POS + mainHeaderSize + avi::STREAM_HEADER_AFTER_MAIN_HEADER;
    if (!hasTag(data, streamHeaderPos, avi::STREAM_HEADER_ID)
        || !hasTag(data, streamHeaderPos + avi::STREAM_TYPE_OFFSET, avi::VIDEO_STREAM)
        || !hasTag(data, streamHeaderPos + avi::STREAM_HANDLER_OFFSET, avi::MJPEG_HANDLER))
        return {};

    const qint64 movieListPos = findMovieList(data);
    if (movieListPos < 0)
        return {};

    const qint64 indexPos = data.indexOf(avi::INDEX_ID);
    if (indexPos < 0 || !fits(data, indexPos, avi::CHUNK_HEADER_SIZE))
        return {};
    const qint64 entryCount = readU32(data, indexPos + avi::FOURCC_SIZE) / avi::INDEX_ENTRY_SIZE;
    if (!fits(data, indexPos + avi::CHUNK_HEADER_SIZE, entryCount * avi::INDEX_ENTRY_SIZE))
        return {};

    QSharedPointer<AviIndex> index(new AviIndex(data));
    const int interval = int(readU32(data, avi::MICROSECONDS_PER_FRAME_POS) / 1000);
    index->intervalMs = interval > 0 ? interval : avi::DEFAULT_FRAME_INTERVAL_MS;
    index->moviePos = movieListPos + avi::CHUNK_HEADER_SIZE;
    index->indexPos = indexPos;
    index->entries = int(entryCount);
    return index;
}

bool AviIndex::videoFrame(int entry, QByteArray *jpeg) const
{
    if (entry < 0 || entry >= entries)
        return false;
    const qint64 entryPos = indexPos + avi::CHUNK_HEADER_SIZE + qint64(entry) * avi::INDEX_ENTRY_SIZE;
    const qint64 chunkPos = moviePos + readU32(fileData, entryPos + avi::INDEX_ENTRY_OFFSET_POS);
    if (!fits(fileData, chunkPos, avi::CHUNK_HEADER_SIZE)
        || !hasTag(fileData, chunkPos + avi::CHUNK_KIND_OFFSET, avi::COMPRESSED_VIDEO_SUFFIX))
        return false;
    const qint64 dataPos = chunkPos + avi::CHUNK_HEADER_SIZE;
    const qint64 size = readU32(fileData, chunkPos + avi::FOURCC_SIZE);
    if (!fits(fileData, dataPos, size))
        return false;
    *jpeg = QByteArray::fromRawData(fileData.constData() + dataPos, int(size));
    return true;
}
