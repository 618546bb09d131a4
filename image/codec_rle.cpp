// RLE frames held in memory: one fragment per frame, samples as wide as the
// data set's Bits Allocated.
#include "image/codec_families.h"
#include "image/rle.h"

namespace {

int decode_rle(const uint8_t* data, std::size_t size, const frame_format& format, uint8_t* slot,
               std::size_t slot_size, frame_layout& /*layout*/)
{
    const uint32_t sample_bytes = format.bits_allocated % 8 == 0 ? format.bits_allocated / 8U : 0U;
    return rle_decode_frame(data, size, sample_bytes, slot, slot_size) == 0 ? 0 : -1;
}

} // namespace

// An RLE frame announces no image size of its own: there is no header to read.
const frame_codec rle_codec = {"RLE", 64, nullptr, decode_rle, nullptr, nullptr};
