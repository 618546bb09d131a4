// The header and gray palette of the 256 x 256 8-bit display picture.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr int display_size = 256;
constexpr std::size_t display_pixel_count = std::size_t{display_size} * display_size;

struct DisplayInfo {
    // Device-independent bitmap header fields; every other field is 0.
    uint32_t header_size = 40;
    int32_t width = display_size;
    int32_t height = display_size; // positive: rows run bottom-up
    uint16_t planes = 1;
    uint16_t bit_count = 8;
    uint32_t compression = 0;
    uint32_t image_size = 0;
    int32_t x_pels_per_meter = 0;
    int32_t y_pels_per_meter = 0;
    uint32_t colors_used = 0;
    uint32_t colors_important = 0;
    // 256 entries of blue, green, red, reserved.
    std::array<std::array<uint8_t, 4>, 256> palette{};
};

// Fills the palette with grays: entry i is gray i (255 - i when inverted),
// reserved byte 1.
void init_gray_palette(DisplayInfo& info, bool inverted);
