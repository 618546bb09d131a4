// libFuzzer entry for fuzz_dicom_json (see fuzz_targets.h).
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzz_dicom_json(data, size);
    return 0;
}
