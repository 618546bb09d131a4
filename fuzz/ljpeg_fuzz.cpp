// One lossless JPEG fragment decoded at the depth and into the slot size
// that the first three input bytes choose.
#include <vector>

#include "fuzz_input.h"
#include "jpeg/ljpeg.h"
#include "reader/log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    log_level = -1;
    if (size < 3) {
        return 0;
    }
    static constexpr int32_t depths[] = {8, 16, 24, 32};
    const int32_t depth = depths[data[0] % 4];
    const std::size_t slot_size = static_cast<std::size_t>(data[1]) * 256 + data[2];
    std::FILE* stream = fuzz_stream(data + 3, size - 3);
    if (stream == nullptr) {
        return 0;
    }
    std::vector<uint8_t> slot(slot_size);
    LosslessJpegDecode(stream, slot.data(), depth, static_cast<int32_t>(size - 3), slot.size());
    std::fclose(stream);
    return 0;
}
