// Writes the 8-bit picture (gray, or RGB) as PNG, binary PGM or binary PPM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Encodes width x height pixels of `channels` bytes each (1 gray, 3 RGB; top
// row first) as a PNG file image.
std::vector<uint8_t> encode_png(const uint8_t* pixels, int width, int height, int channels);

// Writes the picture to `path`: PNG when it ends in ".png", binary PGM for
// ".pgm" (gray pictures only), binary PPM for ".ppm" (gray repeated in the
// three channels). False (with the reason in `error`) on failure.
bool write_picture_file(const std::string& path, const uint8_t* pixels, int width, int height, int channels,
                        std::string& error);
