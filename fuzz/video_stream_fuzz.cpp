// libFuzzer entry for fuzz_video_stream (see fuzz_targets.h).
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzz_video_stream(data, size);
    return 0;
}
