// The reader's element walk with loads and skips, as a whole file.
#include <cstdlib>

#include "fuzz_input.h"
#include "reader/dicom.h"
#include "reader/log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    log_level = -1;
    const char* path = write_fuzz_input(data, size);
    if (path == nullptr || dicom_open(path) != 0) {
        dicom_close();
        return 0;
    }
    // Alternate loads (with a rotating VR hint for UN elements) and skips.
    static constexpr int32_t hints[] = {VR_US, VR_UL, VR_CS, VR_FD, VR_OW, VR_AT, VR_DS, VR_OB};
    unsigned n = 0;
    while (ELEMENT* e = dicom_element()) {
        if (n % 3 == 2) {
            dicom_skip();
        } else if (dicom_load(hints[n % 8]) == 0 && e->value != nullptr) {
            dicom_clean();
            std::free(e->value);
            e->value = nullptr;
        }
        ++n;
    }
    dicom_close();
    return 0;
}
