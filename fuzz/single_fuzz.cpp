// Image extraction on a whole file, with every decoder behind it.
#include "fuzz_input.h"
#include "image/single.h"
#include "reader/dicom.h"
#include "reader/log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    log_level = -1;
    const char* path = write_fuzz_input(data, size);
    if (path != nullptr && dicom_open(path) == 0) {
        dicom_single();
        dicom_single_free();
    }
    dicom_close();
    return 0;
}
