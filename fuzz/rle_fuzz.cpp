// One RLE frame decoded from the reader's stream into a slot whose size the
// first two input bytes choose.
#include <vector>

#include "fuzz_input.h"
#include "image/rle.h"
#include "reader/dicom.h"
#include "reader/log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    log_level = -1;
    if (size < 2) {
        return 0;
    }
    const std::size_t slot_size = static_cast<std::size_t>(data[0]) * 64 + data[1];
    std::FILE* stream = fuzz_stream(data + 2, size - 2);
    if (stream == nullptr) {
        return 0;
    }
    dicom_state.reader_stream = stream;
    dicom_state.syntax = SYNTAX_LITTLE | SYNTAX_EXPLICIT;
    dicom_state.host_order = SYNTAX_LITTLE;
    dicom_state.file_size = static_cast<int64_t>(size - 2);
    std::vector<uint8_t> slot(slot_size);
    mdc_dicom_decomp_rle(stream, slot.data(), static_cast<uint32_t>(size - 2), slot.size());
    dicom_close();
    return 0;
}
