// Lossless JPEG frames held in memory, through the decoder in jpeg/.
#include <cstring>
#include <vector>

#include "image/codec_families.h"
#include "image/jpeg_frame_header.h"
#include "jpeg/ljpeg.h"

namespace {

int32_t depth_of(const frame_format& format) { return int32_t{format.samples_per_pixel} * format.bits_allocated; }

// Rows the decoder did not reach (it stops at a restart marker out of
// place, or decodes nothing at a depth it has no output for) are zero.
int decode_lossless_jpeg(const uint8_t* data, std::size_t size, const frame_format& format, uint8_t* slot,
                         std::size_t slot_size, frame_layout& /*layout*/)
{
    std::size_t written = 0;
    if (LosslessJpegDecodeBuffer(data, size, slot, depth_of(format), slot_size, &written) != 0) {
        return -1;
    }
    if (slot != nullptr && written < slot_size) {
        std::memset(slot + written, 0, slot_size - written);
    }
    return 0;
}

int decode_lossless_jpeg_bands(const uint8_t* data, std::size_t size, const frame_format& format,
                               std::size_t slot_size, const band_sink& bands, frame_layout& layout)
{
    const int32_t depth = depth_of(format);
    if (depth == 8 || depth == 16 || depth == 24) {
        return LosslessJpegDecodeBands(data, size, depth, slot_size, bands.take, bands.context) == 0 ? 0 : -1;
    }
    std::vector<uint8_t> frame(slot_size); // the other depths, whole
    if (decode_lossless_jpeg(data, size, format, frame.data(), frame.size(), layout) != 0) {
        return -1;
    }
    return bands.take(bands.context, frame.data(), frame.size()) ? 0 : -1;
}

} // namespace

const frame_codec lossless_jpeg_codec = {
    "lossless JPEG", 64, read_jpeg_frame_header, decode_lossless_jpeg, decode_lossless_jpeg_bands, nullptr};
