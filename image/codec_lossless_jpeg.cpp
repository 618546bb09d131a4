// Lossless JPEG frames held in memory, through the decoder in jpeg/.
#include "image/codec_families.h"
#include "image/jpeg_frame_header.h"
#include "jpeg/ljpeg.h"

namespace {

int decode_lossless_jpeg(const uint8_t* data, std::size_t size, const frame_format& format, uint8_t* slot,
                         std::size_t slot_size, frame_layout& /*layout*/)
{
    const int32_t depth = int32_t{format.samples_per_pixel} * int32_t{format.bits_allocated};
    return LosslessJpegDecodeBuffer(data, size, slot, depth, slot_size) == 0 ? 0 : -1;
}

} // namespace

const frame_codec lossless_jpeg_codec = {"lossless JPEG", 64, read_jpeg_frame_header, decode_lossless_jpeg};
