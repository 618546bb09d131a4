// Sequential DCT JPEG (ITU-T T.81 baseline and extended, 8- and 12-bit
// samples, 1 to 4 components) decoder for one frame held in memory.
#pragma once

#include <cstddef>
#include <cstdint>

// Decodes the JPEG stream of `size` bytes into `output` (`output_size` bytes):
// samples interleaved pixel by pixel (the components of a pixel side by
// side), one byte per sample for 8-bit precision, two bytes in host order for
// 12-bit. No colour conversion. Returns 0, or -1 after logging why at
// LogLevel::error; never writes past `output_size` nor reads past `size`. Safe to
// call from several threads at once.
int32_t DctJpegDecode(const uint8_t* data, std::size_t size, uint8_t* output, std::size_t output_size);
