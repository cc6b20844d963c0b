#pragma once

#include <QByteArray>
#include <QtGlobal>

class QIODevice;

// Cuts the JPEG images out of an encoder's preview body while its bytes arrive. The body
// comes in one of two framings, told apart by its first line:
//  - block framing: every image follows a header block that starts with "mjpeg" and carries
//    the image size in eight decimal characters; the first header is a line of at most
//    50 bytes, every later one is exactly 51 bytes;
//  - multipart framing: every image is a part whose header lines carry a Content-Length and
//    end with an empty line; boundary lines and all other header lines are skipped.
// The cutter reads straight from the device it is given (the network reply, or any buffer),
// so the framing can be driven without a network.
class MjpegFrameCutter
{
public:
    enum Framing { Unknown = 0, Block = 1, Multipart = 2 };

    // First header of a block-framed body: read as a line of at most this many bytes.
    static constexpr int FIRST_HEADER_MAX = 50;
    static constexpr int BLOCK_HEADER_SIZE = 51;
    static constexpr int BLOCK_SIZE_OFFSET = 5;
    static constexpr int BLOCK_SIZE_DIGITS = 8;

    // The bounds for one image and for one unfinished header line; a stream that goes past
    // either is overflowed and cut no further.
    MjpegFrameCutter(qint64 maxImageBytes, qint64 maxHeaderLineBytes);

    // Forgets the framing and any partly collected image, for a new download.
    void restart();

    // Cuts at most one image from what input has available; true when one was completed,
    // and it is then the newest image.
    bool cutImage(QIODevice *input);

    // Hands the newest complete image over by swapping it with into, so that buffers are
    // reused rather than copied.
    void takeNewestImage(QByteArray &into) { into.swap(newest); }

    bool overflowed() const { return overflow; }
    quint64 frameCount() const { return frames; }
    Framing framing() const { return framingKind; }

private:
    // The header readers consume header bytes and start an image when a header is
    // complete; they return false when they need more bytes first.
    bool readHeader(QIODevice *input);
    bool readFirstHeader(QIODevice *input);
    bool readBlockHeader(QIODevice *input);
    bool readPartHeader(QIODevice *input);
    void readPartLine(const QByteArray &line);
    void startBlockImage(const QByteArray &header);
    void reportSkippedHeaders();
    void startImage(qint64 size);
    bool collect(QIODevice *input);

    const qint64 maxImageBytes;
    const qint64 maxHeaderLineBytes;
    Framing framingKind = Unknown;
    bool readingImage = false;
    // A part's empty line ends its headers only after at least one header line: the line
    // break that multipart puts between an image and the next boundary is not a part.
    bool partHasHeaderLines = false;
    bool overflow = false;
    bool headerLogged = false;
    // Block headers skipped in a row for not starting with the magic.
    qint64 skippedHeaders = 0;
    qint64 imageSize = 0;
    qint64 collected = 0;
    quint64 frames = 0;
    QByteArray collecting;
    QByteArray newest;
};
