// libFuzzer entry for fuzz_frame_syntax_codec (see fuzz_targets.h).
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzz_frame_syntax_codec(data, size);
    return 0;
}
