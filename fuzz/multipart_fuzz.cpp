// libFuzzer entry for fuzz_multipart (see fuzz_targets.h).
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzz_multipart(data, size);
    return 0;
}
