#include "image/native_frame.h"

#include <algorithm>
#include <bit>
#include <string>

#include "base/log.h"
#include "image/codec_check.h"

bool native_frame_fits(const char* codec, const frame_format& format, const uint8_t* slot, std::size_t slot_size)
{
    const char* why = nullptr;
    if (format.bits_allocated == 0 || format.bits_allocated % 8 != 0 || format.bits_allocated > 64) {
        why = "Bits Allocated is not a whole number of bytes";
    } else if (slot == nullptr || slot_size == 0 || slot_size != frame_slot_bytes(format)) {
        why = "Frame slot does not fit the image";
    }
    if (why != nullptr) {
        dicom_log(LogLevel::error, (std::string(codec) + " - " + why).c_str());
        return false;
    }
    return true;
}

void little_endian_samples_to_host(uint8_t* samples, std::size_t size, uint16_t bits_allocated)
{
    const std::size_t unit = bits_allocated / 8U;
    if constexpr (std::endian::native == std::endian::little) {
        (void)samples;
        (void)size;
        (void)unit;
    } else {
        for (std::size_t at = 0; unit > 1 && at + unit <= size; at += unit) {
            std::reverse(samples + at, samples + at + unit);
        }
    }
}
