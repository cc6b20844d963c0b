#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>

// JPEG images and preview-stream framing for the grabber tests; the images are made with
// the toolkit's own writer, so every test owns its fixtures.
namespace TestMjpeg {

// A plain image of one colour.
QByteArray plain(const QColor &colour, const QSize &size = QSize(16, 16));
// A valid small JPEG whose frame header claims width x height pixels.
QByteArray claimingSize(int width, int height);
// The colour in the middle of a decoded image, with the tolerance JPEG needs.
bool looksLike(const QImage &image, const QColor &colour);

// A block-framing header for an image of size bytes: "mjpeg", the size in eight digits,
// padding and a line feed, length bytes in all (50 for the first header, 51 later).
QByteArray blockHeader(qint64 size, int length);
// One multipart part as ffmpeg's mpjpeg muxer writes it: part headers, the image, and the
// line break and boundary that follow it.
QByteArray multipartPart(const QByteArray &image, const QByteArray &boundary = "ffmpeg");

} // namespace TestMjpeg
