// The codec of each family, defined in its own codec_*.cpp module and
// registered by transfer syntax in codec.cpp.
#pragma once

#include "image/codec.h"

extern const frame_codec rle_codec;           // codec_rle.cpp
extern const frame_codec lossless_jpeg_codec; // codec_lossless_jpeg.cpp
extern const frame_codec dct_jpeg_codec;      // codec_jpeg.cpp
extern const frame_codec jpegls_codec;        // codec_jpegls.cpp
extern const frame_codec jpeg2000_codec;      // codec_jpeg2000.cpp
extern const frame_codec jpegxl_codec;        // codec_jpegxl.cpp
// codec_deflate.cpp
extern const frame_codec deflate_codec;
// codec_encapsulated_native.cpp
extern const frame_codec encapsulated_native_codec;
