// JPEG-LS lossless and near-lossless frames held in memory, through CharLS.
// Colour comes out in the data set's planar configuration, whichever way the
// stream interleaves it (plane by plane, or line or sample interleaved).
#include <charls/charls.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/log.h"
#include "image/codec_check.h"
#include "image/codec_families.h"
#include "image/jpeg_frame_header.h"

namespace {

void log_failure(const char* what) { dicom_log(LogLevel::error, (std::string("JPEG-LS - ") + what).c_str()); }

// Widens one-byte samples to the slot's two-byte host numbers.
void widen(const std::vector<uint8_t>& narrow, uint8_t* slot)
{
    for (std::size_t k = 0; k < narrow.size(); ++k) {
        const uint16_t sample = narrow[k];
        std::memcpy(slot + 2 * k, &sample, 2);
    }
}

// Rearranges `components` planes of `pixels` samples of `width` bytes into
// pixel-interleaved order, or back (`to_planes`).
void rearrange(const std::vector<uint8_t>& from, uint8_t* to, std::size_t pixels, std::size_t components,
               std::size_t width, bool to_planes)
{
    for (std::size_t c = 0; c < components; ++c) {
        for (std::size_t k = 0; k < pixels; ++k) {
            const std::size_t plane_at = (c * pixels + k) * width;
            const std::size_t pixel_at = (k * components + c) * width;
            std::memcpy(to + (to_planes ? plane_at : pixel_at), from.data() + (to_planes ? pixel_at : plane_at),
                        width);
        }
    }
}

// Whether the stream ends with its EOI marker (the fragment's padding byte
// aside).
bool ends_with_end_of_image(const uint8_t* data, std::size_t size)
{
    if (size > 0 && data[size - 1] == 0) {
        --size;
    }
    return size >= 2 && data[size - 2] == 0xFF && data[size - 1] == 0xD9;
}

int decode_jpegls(const uint8_t* data, std::size_t size, const frame_format& format, uint8_t* slot,
                  std::size_t slot_size, frame_layout& layout)
{
    try {
        // A stream cut short is given its end marker: where the bytes stop
        // inside a scan without one, the library can take a very long time
        // to find that out.
        std::vector<uint8_t> ended;
        if (!ends_with_end_of_image(data, size)) {
            ended.assign(data, data + size);
            ended.push_back(0xFF);
            ended.push_back(0xD9);
            data = ended.data();
            size = ended.size();
        }
        charls::jpegls_decoder decoder;
        decoder.source(data, size);
        decoder.read_header();
        const charls::frame_info info = decoder.frame_info();
        const codestream_header header{info.height, info.width, static_cast<uint32_t>(info.component_count),
                                       static_cast<uint32_t>(info.bits_per_sample), false};
        if (!codestream_matches_format("JPEG-LS", header, format, slot, slot_size)) {
            return -1;
        }
        const bool stream_planes =
            info.component_count > 1 && decoder.interleave_mode() == charls::interleave_mode::none;
        const bool slot_planes = info.component_count > 1 && format.planar_configuration == 1;
        const std::size_t stream_sample_bytes = info.bits_per_sample <= 8 ? 1 : 2;
        if (stream_sample_bytes * 8 == format.bits_allocated && stream_planes == slot_planes) {
            decoder.decode(slot, slot_size);
        } else if (stream_sample_bytes * 8 == format.bits_allocated) {
            std::vector<uint8_t> decoded(slot_size);
            decoder.decode(decoded.data(), decoded.size());
            rearrange(decoded, slot, std::size_t{info.width} * info.height,
                      static_cast<std::size_t>(info.component_count), stream_sample_bytes, slot_planes);
        } else if (stream_sample_bytes == 1 && format.bits_allocated == 16 && stream_planes == slot_planes) {
            std::vector<uint8_t> narrow(slot_size / 2);
            decoder.decode(narrow.data(), narrow.size());
            widen(narrow, slot);
        } else {
            log_failure("Sample precision does not fit Bits Allocated");
            return -1;
        }
        layout.planar_configuration = slot_planes ? 1 : 0;
        return 0;
    } catch (const charls::jpegls_error& error) {
        log_failure(error.what());
    } catch (const std::bad_alloc&) {
        log_failure("Out of memory");
    }
    return -1;
}

} // namespace

// Run mode codes up to 32768 equal samples in one bit: a blank frame takes a
// few bytes, so the bound is wide and the size check is what guards.
const frame_codec jpegls_codec = {"JPEG-LS", 65536, read_jpeg_frame_header, decode_jpegls, nullptr, nullptr};
