// The picture pane's arithmetic: bilinear resampling into the 256 x 256
// picture with the image's aspect ratio kept, mapping through the window
// level and width to 8-bit gray (or showing colour as it is), and the window
// drag. Qt-free, so the figures are tested without a display.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "display_info.h"

constexpr std::size_t display_pixel_count = std::size_t{display_size} * display_size;
using DisplaySamples = std::array<int32_t, display_pixel_count>; // top row first
using DisplayRgb = std::array<uint8_t, 3 * display_pixel_count>; // R, G, B per pixel, top row first

// Where the image lies in the picture: the rest are black bands.
struct Placement {
    int x = 0;
    int y = 0;
    int width = display_size;
    int height = display_size;
};
// With columns c >= rows r the picture is 256 wide and max(2, (256 r + c / 2) / c)
// high, centred vertically; otherwise 256 high and max(2, (256 c + r / 2) / r)
// wide, centred horizontally.
Placement picture_placement(int columns, int rows);
// The same for pixels `row_spacing` high and `column_spacing` wide: the
// picture keeps the physical aspect, columns x column spacing against rows x
// row spacing. Square pixels, or spacings not both positive, place as above.
Placement picture_placement(int columns, int rows, double row_spacing, double column_spacing);

// Source sample i (row by row) of the image being resampled.
using SampleAt = std::function<double(std::size_t)>;

// Resamples sw x sh source samples into dw x dh destination samples, the
// destination rows `stride` samples apart. Every destination row and column
// is written; the second source row and column are held to the last ones.
// Results are rounded half up toward zero and held to the 32-bit range.
void resample_to_display(const SampleAt& sample, int sw, int sh, int32_t* destination, int dw, int dh,
                         std::size_t stride);
// The same for a source that holds only its first `held` samples: the
// samples after them count as 0. The destination rows are dw apart.
void resample_to_display(const int32_t* source, std::size_t held, int sw, int sh, int32_t* destination, int dw,
                         int dh);

// Stored value x slope + intercept, in double precision.
struct Modality {
    double slope = 1.0;
    double intercept = 0.0;
};

// The lowest and highest modality value of the frame shown.
struct ValueRange {
    double lowest = 0.0;
    double highest = 0.0;
};

enum class PictureKind {
    windowed, // gray samples through the window
    fixed,    // gray samples that are display levels already (1-bit: 0 or 255)
    colour,   // RGB, shown as it is
};

// One frame's picture, resampled once and rendered at each change of window.
struct DisplayPicture {
    PictureKind kind = PictureKind::windowed;
    bool inverted = false; // MONOCHROME1: index 255 - i after windowing
    Placement placement;
    Modality modality;
    ValueRange range;
    DisplaySamples samples{}; // gray pictures: resampled stored values
    DisplayRgb rgb{};         // colour pictures
};

struct WindowSetting {
    int32_t level;
    int32_t width;
};

// The rendered picture, top row first: one palette
// index (gray i) per pixel for gray pictures, R, G, B for colour ones.
struct DisplayBitmap {
    int bytes_per_pixel = 1;
    std::vector<uint8_t> rows;
    std::size_t row_bytes() const { return static_cast<std::size_t>(bytes_per_pixel) * display_size; }
};

// Maps the picture through the window (gray) into `bitmap`. The bands
// outside the placement are black.
void render_display_pixels(const DisplayPicture& picture, WindowSetting window, DisplayBitmap& bitmap);

// How far the drag may take the window for an image whose modality values
// span `range`: level from min(-1024, lowest) to max(3064, highest), width up
// to max(4096, highest - lowest), and range / 4096 (rounded) per pixel of
// mouse movement when the range is wider than 4096.
struct DragLimits {
    int64_t level_min = -1024;
    int64_t level_max = 3064;
    int64_t width_max = 4096;
    int64_t step = 1;
};
DragLimits drag_limits(ValueRange range);

// The window being dragged: level and width from the mouse's travel since
// the button went down, clamped to the limits.
WindowSetting drag_window(WindowSetting start, int start_x, int start_y, int x, int y,
                          const DragLimits& limits = DragLimits{});

// The window spanning the range: level (lowest + highest) / 2, width
// highest - lowest.
WindowSetting window_spanning(ValueRange range);

// The overlay caption "WL=%4d, WW=%4d".
std::string window_caption(WindowSetting window);
