// Frames whose bytes, once unpacked, are the native pixel data of one frame
// as explicit VR little endian stores it (encapsulated uncompressed and
// deflated frames): the checks before such a frame is written into its
// slot, and its samples put in host byte order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/codec.h"

// True when frames of `format` are whole bytes per sample and `slot` holds
// exactly one such frame; otherwise logs why ("`codec` - ...").
bool native_frame_fits(const char* codec, const frame_format& format, const uint8_t* slot, std::size_t slot_size);

// Puts the little-endian samples of a frame in host byte order, in place.
void little_endian_samples_to_host(uint8_t* samples, std::size_t size, uint16_t bits_allocated);
