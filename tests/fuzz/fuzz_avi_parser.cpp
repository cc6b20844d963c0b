// Any bytes may arrive as a demo video: parsing them and walking every index entry must
// stay inside the data.
#include "video/avi_index.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

namespace {
// Keeps the reads of every frame byte from being optimised away.
volatile unsigned checksum = 0;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const auto index = AviIndex::parse(bytes);
    if (!index)
        return 0;
    for (int entry = 0; entry < index->entryCount(); ++entry) {
        QByteArray jpeg;
        if (!index->videoFrame(entry, &jpeg))
            continue;
        // Touch every byte the entry hands out, so that a slice past the end is caught.
        for (char byte : jpeg)
            checksum += static_cast<unsigned char>(byte);
    }
    return 0;
}
