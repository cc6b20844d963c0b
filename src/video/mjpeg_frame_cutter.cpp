#include "mjpeg_frame_cutter.h"

#include <QDebug>
#include <QIODevice>

namespace {

const char BLOCK_MAGIC[] = "mjpeg";
const char LENGTH_NAME[] = "content-length:";
constexpr int LENGTH_NAME_SIZE = sizeof(LENGTH_NAME) - 1;
const char END_OF_HEADERS[] = "\r\n";

// Network bytes as log text: printable ASCII as it is, anything else as \xNN, so that a
// stream cannot put control characters or false lines into the log.
QString escaped(const QByteArray &bytes)
{
    QString text;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && byte != '\\')
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return text;
}

void logNotANumber(const QByteArray &text)
{
    qWarning().noquote() << QStringLiteral("Could not convert %1 to number").arg(escaped(text));
}

} // namespace

MjpegFrameCutter::MjpegFrameCutter(qint64 maxImageBytes, qint64 maxHeaderLineBytes)
    : maxImageBytes(maxImageBytes)
    , maxHeaderLineBytes(maxHeaderLineBytes)
{
}

void MjpegFrameCutter::restart()
{
    reportSkippedHeaders();
    headerLogged = false;
    framingKind = Unknown;
    readingImage = false;
    partHasHeaderLines = false;
    overflow = false;
    imageSize = 0;
    collected = 0;
}

bool MjpegFrameCutter::cutImage(QIODevice *input)
{
    // Header bytes are consumed for as long as they are there, also past a broken header:
    // stopping at one would leave the rest waiting for the next arrival and let a
    // misaligned stream pile up unread.
    while (!readingImage) {
        if (overflow || !readHeader(input))
            return false;
    }
    return collect(input);
}

bool MjpegFrameCutter::readHeader(QIODevice *input)
{
    switch (framingKind) {
    case Unknown:
        return readFirstHeader(input);
    case Block:
        return readBlockHeader(input);
    case Multipart:
        return readPartHeader(input);
    }
    return false;
}

bool MjpegFrameCutter::readFirstHeader(QIODevice *input)
{
    if (input->bytesAvailable() < FIRST_HEADER_MAX)
        return false;
    const QByteArray line = input->readLine(FIRST_HEADER_MAX + 1);
    if (line.startsWith(BLOCK_MAGIC)) {
        framingKind = Block;
        startBlockImage(line);
    } else {
        // Any other first line is a multipart line: usually the boundary, but a body may
        // just as well begin with the part headers themselves.
        framingKind = Multipart;
        readPartLine(line);
    }
    return true;
}

bool MjpegFrameCutter::readBlockHeader(QIODevice *input)
{
    if (input->bytesAvailable() < BLOCK_HEADER_SIZE)
        return false;
    const QByteArray header = input->read(BLOCK_HEADER_SIZE);
    if (header.startsWith(BLOCK_MAGIC)) {
        reportSkippedHeaders();
        startBlockImage(header);
    } else if (skippedHeaders++ == 0) {
        // Once out of step, every following 51 bytes are no header either: the first is
        // told, the rest counted until the stream is in step again.
        qWarning().noquote() << "invalid border" << escaped(header);
    }
    return true;
}

void MjpegFrameCutter::reportSkippedHeaders()
{
    if (skippedHeaders > 1)
        qWarning().noquote() << QStringLiteral("%1 more invalid borders skipped").arg(skippedHeaders - 1);
    skippedHeaders = 0;
}

bool MjpegFrameCutter::readPartHeader(QIODevice *input)
{
    if (input->canReadLine()) {
        readPartLine(input->readLine());
        return true;
    }
    // Whatever is left is one unfinished header line: it must not grow without end.
    if (input->bytesAvailable() > maxHeaderLineBytes)
        overflow = true;
    return false;
}

void MjpegFrameCutter::readPartLine(const QByteArray &line)
{
    if (line == END_OF_HEADERS) {
        if (partHasHeaderLines)
            startImage(imageSize);
        return;
    }
    partHasHeaderLines = true;
    if (line.size() < LENGTH_NAME_SIZE || qstrnicmp(line.constData(), LENGTH_NAME, LENGTH_NAME_SIZE) != 0)
        return;
    const QByteArray text = line.mid(LENGTH_NAME_SIZE).trimmed();
    bool ok = false;
    imageSize = text.toLongLong(&ok);
    if (!ok || imageSize < 0) {
        imageSize = 0;
        logNotANumber(text);
    }
}

void MjpegFrameCutter::startBlockImage(const QByteArray &header)
{
    const QByteArray text = header.mid(BLOCK_SIZE_OFFSET, BLOCK_SIZE_DIGITS);
    bool ok = false;
    const qint64 size = text.trimmed().toLongLong(&ok);
    if (!ok || size < 0) {
        logNotANumber(text);
        return;
    }
    // Every image has a header; only the first of a download is worth a line.
    if (!headerLogged)
        qWarning().noquote() << size << "CI" << escaped(header);
    headerLogged = true;
    startImage(size);
}

void MjpegFrameCutter::startImage(qint64 size)
{
    if (size > maxImageBytes) {
        overflow = true;
        return;
    }
    imageSize = size;
    collected = 0;
    readingImage = true;
    partHasHeaderLines = false;
}

bool MjpegFrameCutter::collect(QIODevice *input)
{
    const qint64 wanted = qMin(imageSize - collected, input->bytesAvailable());
    if (wanted > 0) {
        // The buffer grows only as bytes arrive, so an announced size costs nothing by itself.
        if (collecting.size() < collected + wanted)
            collecting.resize(int(collected + wanted));
        const qint64 got = input->read(collecting.data() + collected, wanted);
        if (got > 0)
            collected += got;
    }
    if (collected < imageSize)
        return false;
    collecting.resize(int(collected));
    newest.swap(collecting);
    ++frames;
    readingImage = false;
    return true;
}
