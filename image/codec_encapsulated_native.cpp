// Encapsulated uncompressed frames: each fragment holds one frame's native
// bytes, little endian, perhaps followed by a padding byte.
#include <cstring>
#include <string>

#include "base/log.h"
#include "image/codec_families.h"
#include "image/native_frame.h"

namespace {

constexpr const char* codec_name = "Encapsulated uncompressed";

int copy_native_frame(const uint8_t* data, std::size_t size, const frame_format& format, uint8_t* slot,
                      std::size_t slot_size, frame_layout& /*layout*/)
{
    if (!native_frame_fits(codec_name, format, slot, slot_size)) {
        return -1;
    }
    if (data == nullptr || size < slot_size) {
        dicom_log(LogLevel::error,
                  (std::string(codec_name) + " - The frame holds fewer bytes than the image").c_str());
        std::memset(slot, 0, slot_size);
        return -1;
    }
    std::memcpy(slot, data, slot_size);
    little_endian_samples_to_host(slot, slot_size, format.bits_allocated);
    return 0;
}

} // namespace

// The frame announces no size of its own; one byte of it gives one byte of
// image.
const frame_codec encapsulated_native_codec = {codec_name, 1, nullptr, copy_native_frame, nullptr, nullptr};
