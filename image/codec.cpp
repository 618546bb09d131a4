// The codec of each compressed transfer syntax.
#include "image/codec.h"

#include "image/codec_families.h"
#include "reader/transfer_syntax.h"

const frame_codec* codec_for_transfer_syntax(const char* uid)
{
    const TransferSyntax* syntax = find_transfer_syntax(uid);
    switch (syntax != nullptr ? syntax->codec : PixelCodec::none) {
    case PixelCodec::none: return nullptr;
    case PixelCodec::rle: return &rle_codec;
    case PixelCodec::lossless_jpeg: return &lossless_jpeg_codec;
    case PixelCodec::dct_jpeg: return &dct_jpeg_codec;
    case PixelCodec::jpegls: return &jpegls_codec;
    case PixelCodec::jpeg2000: return &jpeg2000_codec;
    case PixelCodec::jpegxl: return &jpegxl_codec;
    case PixelCodec::deflate: return &deflate_codec;
    case PixelCodec::encapsulated_native: return &encapsulated_native_codec;
    case PixelCodec::mpeg2:
    case PixelCodec::h264:
    case PixelCodec::hevc: return nullptr; // decoded as a stream (image/codec_video.h)
    }
    return nullptr;
}

int reduction_steps(uint32_t columns, uint32_t rows, uint32_t wanted_columns, uint32_t wanted_rows, int most)
{
    int steps = 0;
    while (steps < most && steps < 16) {
        const uint32_t divisor = uint32_t{2} << steps;
        if ((columns + divisor - 1) / divisor < wanted_columns || (rows + divisor - 1) / divisor < wanted_rows) {
            break;
        }
        ++steps;
    }
    return steps;
}
