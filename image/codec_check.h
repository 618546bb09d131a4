// The checks every codec makes before it decodes a frame: the codestream's
// own header against what the data set says, and the slot against both.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/codec.h"

// Bytes one frame of `format` takes in its slot (whole bytes per sample).
std::size_t frame_slot_bytes(const frame_format& format);

// True when the codestream announces the data set's rows, columns and samples
// per pixel, and the slot holds exactly such a frame; otherwise logs why
// ("`codec` - ...") and returns false.
bool codestream_matches_format(const char* codec, const codestream_header& header, const frame_format& format,
                               const uint8_t* slot, std::size_t slot_size);
