// What a decoder's shell prints back is read for its source and its wall place; neither
// reading may fail on any text, and a wall size read from it is always a usable one.
#include "models/rx_device.h"
#include "models/vw_info.h"

#include <QString>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString answer = QString::fromLocal8Bit(reinterpret_cast<const char *>(data), int(size));
    const QString output = RxDevice::extractResponse(answer);
    if (output.size() > answer.size())
        std::abort();
    const VwInfo place = VwInfo::parse(output);
    const bool unread = place == VwInfo();
    const bool usable = place.columns >= 1 && place.columns <= VwInfo::MAX_EXTENT && place.rows >= 1
        && place.rows <= VwInfo::MAX_EXTENT && place.column >= 0 && place.row >= 0;
    if (!unread && !usable)
        std::abort();
    return 0;
}
