#include "image/codec_check.h"

#include <string>

#include "base/log.h"

namespace {

void log_refusal(const char* codec, const char* why)
{
    dicom_log(LogLevel::error, (std::string(codec) + " - " + why).c_str());
}

} // namespace

std::size_t frame_slot_bytes(const frame_format& format)
{
    const std::size_t sample_bytes = (std::size_t{format.bits_allocated} + 7) / 8;
    return std::size_t{format.rows} * format.columns * format.samples_per_pixel * sample_bytes;
}

bool codestream_matches_format(const char* codec, const codestream_header& header, const frame_format& format,
                               const uint8_t* slot, std::size_t slot_size)
{
    if (header.rows != format.rows || header.columns != format.columns) {
        log_refusal(codec, "Frame size differs from Rows and Columns");
        return false;
    }
    if (header.components != format.samples_per_pixel) {
        log_refusal(codec, "Component count differs from Samples per Pixel");
        return false;
    }
    if (format.bits_allocated % 8 != 0 || header.precision == 0 || header.precision > format.bits_allocated) {
        log_refusal(codec, "Sample precision does not fit Bits Allocated");
        return false;
    }
    if (slot == nullptr || slot_size != frame_slot_bytes(format) || slot_size == 0) {
        log_refusal(codec, "Frame slot does not fit the image");
        return false;
    }
    return true;
}
