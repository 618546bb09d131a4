// The frame header (SOFn) of a JPEG or JPEG-LS stream held in memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/codec.h"

// Walks the markers from SOI to the first start of frame and reads its
// precision, size and component count. False when the bytes hold no SOI, or
// end or break before a frame header.
bool read_jpeg_frame_header(const uint8_t* data, std::size_t size, codestream_header& header);

// The SOFn marker byte (0xC0..0xCF, 0xF7 for JPEG-LS) of the stream's first
// frame header, or 0 when there is none.
uint8_t jpeg_frame_marker(const uint8_t* data, std::size_t size);
