// The picture pane's arithmetic: bilinear resampling to 256 x 256, mapping
// through the window level and width to 8-bit gray, and the window drag.
// Qt-free, so the figures are tested without a display.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "display_info.h"

using DisplaySamples = std::array<int16_t, display_size * display_size>; // top row first
using DisplayPixels = std::array<uint8_t, display_size * display_size>;  // bottom row first

// Resamples sw x sh source samples (row by row) into the dw x dh destination.
// The last two destination rows and columns are left as they are. Sources
// narrower or shorter than 2 samples repeat their edge sample.
void resample_to_display(const int16_t* source, int sw, int sh, int16_t* destination, int dw, int dh);
// The same for a source that holds only its first `held` samples (row by
// row): the samples after them count as 0.
void resample_to_display(const int16_t* source, std::size_t held, int sw, int sh, int16_t* destination, int dw,
                         int dh);

// Maps the samples through the window (and the 16-bit rescale intercept)
// into palette indices, stored bottom row first as the bitmap wants them.
void render_display_pixels(const DisplaySamples& samples, int32_t level, int32_t width, int32_t intercept,
                           DisplayPixels& pixels);

// The window being dragged: level and width from the mouse's travel since
// the button went down, clamped to the ranges the viewer allows.
struct WindowSetting {
    int32_t level;
    int32_t width;
};
WindowSetting drag_window(WindowSetting start, int start_x, int start_y, int x, int y);

// The overlay caption "WL=%4d, WW=%4d".
std::string window_caption(WindowSetting window);
