// Any bytes as the banner "kt.iff": reading its size and decoding it must never crash
// or read outside the data, and a picture that decodes has the size its header gives.
#include "platform/ilbm.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QSize header = platform::ilbm_size(data, size);
    const QImage image = platform::decode_ilbm(data, size);
    if (!image.isNull() && image.size() != header)
        std::abort();
    return 0;
}
