#pragma once

#include <QByteArray>
#include <QtGlobal>

// The pieces of the RIFF/AVI layout that the file grabber reads and the demo video
// maker writes, kept together so that reader and writer cannot drift apart.
namespace avi {

inline const QByteArray RIFF_ID = QByteArrayLiteral("RIFF");
inline const QByteArray AVI_FORM = QByteArrayLiteral("AVI ");
inline const QByteArray LIST_ID = QByteArrayLiteral("LIST");
inline const QByteArray HEADER_LIST = QByteArrayLiteral("hdrl");
inline const QByteArray MAIN_HEADER_ID = QByteArrayLiteral("avih");
inline const QByteArray STREAM_LIST = QByteArrayLiteral("strl");
inline const QByteArray STREAM_HEADER_ID = QByteArrayLiteral("strh");
inline const QByteArray STREAM_FORMAT_ID = QByteArrayLiteral("strf");
inline const QByteArray VIDEO_STREAM = QByteArrayLiteral("vids");
inline const QByteArray MJPEG_HANDLER = QByteArrayLiteral("MJPG");
inline const QByteArray MOVIE_LIST = QByteArrayLiteral("movi");
inline const QByteArray INDEX_ID = QByteArrayLiteral("idx1");
// A compressed video chunk is "NNdc", NN being the stream number.
inline const QByteArray COMPRESSED_VIDEO_SUFFIX = QByteArrayLiteral("dc");
inline const QByteArray FIRST_VIDEO_CHUNK = QByteArrayLiteral("00dc");

constexpr int FOURCC_SIZE = 4;
constexpr int CHUNK_HEADER_SIZE = 8; // id and 32-bit size
constexpr int INDEX_ENTRY_SIZE = 16; // id, flags, offset from "movi", size
constexpr int MAIN_HEADER_SIZE = 56;
constexpr int STREAM_HEADER_SIZE = 56;
constexpr int BITMAP_INFO_SIZE = 40;

// Where the fixed part of the header sits: "RIFF" size "AVI " "LIST" size "hdrl" "avih".
constexpr qint64 RIFF_SIZE_POS = 4;
constexpr qint64 RIFF_FORM_POS = 8;
// The top-level chunks follow "RIFF" size "AVI ".
constexpr qint64 RIFF_HEADER_SIZE = 12;
constexpr qint64 MAIN_HEADER_POS = 24;
constexpr qint64 MAIN_HEADER_SIZE_POS = 28;
constexpr qint64 MICROSECONDS_PER_FRAME_POS = 32;
// The first "strh" follows avih after "LIST" size "strl" and its own id and size.
constexpr qint64 STREAM_HEADER_AFTER_MAIN_HEADER = 20;
constexpr qint64 STREAM_TYPE_OFFSET = 8;
constexpr qint64 STREAM_HANDLER_OFFSET = 12;
constexpr qint64 INDEX_ENTRY_OFFSET_POS = 8;
constexpr qint64 CHUNK_KIND_OFFSET = 2; // where "dc" sits in "00dc"

constexpr quint32 AVIF_HASINDEX = 0x10;
constexpr quint32 AVIIF_KEYFRAME = 0x10;

// Files outside these sizes are refused before they are read into memory.
constexpr qint64 MIN_FILE_BYTES = 1024;
constexpr qint64 MAX_FILE_BYTES = 157286400;
// Used when the file gives less than a millisecond per frame.
constexpr int DEFAULT_FRAME_INTERVAL_MS = 50;

} // namespace avi
