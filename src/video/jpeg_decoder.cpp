#include "jpeg_decoder.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <limits>

namespace {

const int SCALE_DENOMINATORS[] = {8, 4, 2, 1};
// Rows handed to the library per call; fewer calls, and the library fills them in one go.
constexpr int ROWS_PER_CALL = 16;
// QImage's 32-bit RGB is 0xffRRGGBB in native byte order; the library's alpha variants set
// the fourth byte to 0xff, as that format requires.
constexpr J_COLOR_SPACE RGB32_SPACE = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB;

// The library reports a fatal error by calling error_exit, which must not return: it jumps
// back to the setjmp of the step that was running. Each step is a function of its own whose
// locals need no destructor, so the jump skips nothing that would have to be undone.
struct ErrorJump
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void jumpBack(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorJump *>(cinfo->err)->jump, 1);
}

// Damaged frames are common on a network stream; the library must not write to stderr.
void dropMessage(j_common_ptr)
{
}

int scaledSide(int side, int denominator)
{
    // The library rounds a scaled side up.
    return (side + denominator - 1) / denominator;
}

bool readHeader(jpeg_decompress_struct *cinfo, ErrorJump *error, const QByteArray &jpeg)
{
    if (setjmp(error->jump))
        return false;
    jpeg_mem_src(
        cinfo, reinterpret_cast<const unsigned char *>(jpeg.constData()), static_cast<unsigned long>(jpeg.size()));
    return jpeg_read_header(cinfo, TRUE) == JPEG_HEADER_OK;
}

bool prepareOutput(jpeg_decompress_struct *cinfo, ErrorJump *error, int denominator)
{
    if (setjmp(error->jump))
        return false;
    cinfo->out_color_space = RGB32_SPACE;
    cinfo->scale_num = 1;
    cinfo->scale_denom = static_cast<unsigned int>(denominator);
    jpeg_calc_output_dimensions(cinfo);
    return true;
}

bool readPixels(jpeg_decompress_struct *cinfo, ErrorJump *error, uchar *bits, qsizetype bytesPerLine)
{
    if (setjmp(error->jump))
        return false;
    jpeg_start_decompress(cinfo);
    JSAMPROW rows[ROWS_PER_CALL];
    while (cinfo->output_scanline < cinfo->output_height) {
        const JDIMENSION first = cinfo->output_scanline;
        const JDIMENSION count = qMin<JDIMENSION>(ROWS_PER_CALL, cinfo->output_height - first);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = bits + qsizetype(first + i) * bytesPerLine;
        jpeg_read_scanlines(cinfo, rows, count);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

} // namespace

const QSize JpegDecoder::FULL_SIZE(std::numeric_limits<int>::max(), std::numeric_limits<int>::max());

namespace {

enum class Damage { Tolerated, Refused };

QImage decodeJpeg(const QByteArray &jpeg, const QSize &shownSize, qint64 maxPixels, QImage spare, Damage damage)
{
    jpeg_decompress_struct cinfo;
    ErrorJump error;
    cinfo.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpBack;
    error.manager.output_message = dropMessage;
    jpeg_create_decompress(&cinfo);

    QImage image;
    if (readHeader(&cinfo, &error, jpeg) && qint64(cinfo.image_width) * qint64(cinfo.image_height) <= maxPixels) {
        const QSize full(int(cinfo.image_width), int(cinfo.image_height));
        if (prepareOutput(&cinfo, &error, JpegDecoder::scaleDenominator(full, shownSize))
            && cinfo.output_components == 4) {
            const QSize size(int(cinfo.output_width), int(cinfo.output_height));
            const bool reusable = spare.size() == size && spare.format() == QImage::Format_RGB32 && spare.isDetached();
            image = reusable ? std::move(spare) : QImage(size, QImage::Format_RGB32);
            if (image.isNull() || !readPixels(&cinfo, &error, image.bits(), image.bytesPerLine()))
                image = QImage();
        }
    }
    // The library warns about data it had to make up: an early end, a corrupt segment.
    if (damage == Damage::Refused && error.manager.num_warnings > 0)
        image = QImage();
    jpeg_destroy_decompress(&cinfo);
    return image;
}

} // namespace

QImage JpegDecoder::decode(const QByteArray &jpeg, const QSize &shownSize, qint64 maxPixels, QImage spare)
{
    return decodeJpeg(jpeg, shownSize, maxPixels, std::move(spare), Damage::Tolerated);
}

QImage JpegDecoder::decodeWhole(const QByteArray &jpeg, qint64 maxPixels)
{
    return decodeJpeg(jpeg, FULL_SIZE, maxPixels, QImage(), Damage::Refused);
}

int JpegDecoder::scaleDenominator(const QSize &imageSize, const QSize &shownSize)
{
    for (int denominator : SCALE_DENOMINATORS) {
        if (scaledSide(imageSize.width(), denominator) >= shownSize.width()
            && scaledSide(imageSize.height(), denominator) >= shownSize.height())
            return denominator;
    }
    return 1;
}
