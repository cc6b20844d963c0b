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

// Where the movie list and the index sit among the top-level chunks of the RIFF form.
struct TopLevelChunks
{
    qint64 movieList = -1;
    qint64 index = -1;
};

// Walks the top-level chunks by their sizes (each padded to an even length), so that the
// tags a frame's bytes may hold are never taken for structure. False when a chunk runs
// past the end of the data.
bool walkTopLevel(const QByteArray &data, TopLevelChunks *found)
{
    qint64 pos = avi::RIFF_HEADER_SIZE;
    while (fits(data, pos, avi::CHUNK_HEADER_SIZE)) {
        const qint64 size = readU32(data, pos + avi::FOURCC_SIZE);
        if (!fits(data, pos + avi::CHUNK_HEADER_SIZE, size))
            return false;
        if (found->movieList < 0 && hasTag(data, pos, avi::LIST_ID)
            && hasTag(data, pos + avi::CHUNK_HEADER_SIZE, avi::MOVIE_LIST))
            found->movieList = pos;
        else if (found->index < 0 && hasTag(data, pos, avi::INDEX_ID))
            found->index = pos;
        pos += avi::CHUNK_HEADER_SIZE + size + (size & 1);
    }
    return true;
}

} // namespace

QSharedPointer<AviIndex> AviIndex::parse(const QByteArray &data)
{
    if (!hasTag(data, 0, avi::RIFF_ID) || !hasTag(data, avi::RIFF_FORM_POS, avi::AVI_FORM)
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

    TopLevelChunks chunks;
    if (!walkTopLevel(data, &chunks) || chunks.movieList < 0 || chunks.index < 0)
        return {};
    const qint64 movieListPos = chunks.movieList;
    const qint64 indexPos = chunks.index;
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
