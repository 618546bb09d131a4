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
    case PixelCodec::deflate: return &deflate_codec;
    case PixelCodec::encapsulated_native: return &encapsulated_native_codec;
    }
    return nullptr;
}
