// Writes an 8-bit gray picture as binary PGM or as PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Encodes width x height gray bytes (top row first) as a PNG file image.
std::vector<uint8_t> encode_gray_png(const uint8_t* gray, int width, int height);

// Writes the picture to `path`: PNG when it ends in ".png", PGM when it ends
// in ".pgm". False (with errno-style reason in `error`) on failure.
bool write_gray_image(const std::string& path, const uint8_t* gray, int width, int height, std::string& error);
