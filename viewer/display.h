// The 256 x 256 picture the window shows today, and the window drag: one
// frame's samples (FrameImage), resampled once into the picture's placement
// and rendered through a linear window at each change of window. A thin
// face over the display stages (viewer/picture_render.h). Qt-free, so the
// figures are tested without a display.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "viewer/display_info.h"
#include "viewer/frame_image.h"
#include "viewer/picture_render.h"
#include "viewer/placement.h"
#include "viewer/resample.h"

// One frame's picture, resampled once and rendered at each change of window.
struct DisplayPicture {
    PictureKind kind = PictureKind::windowed;
    ValueRange range; // of the frame's modality values
    FrameImage frame;
    ViewSamples view; // the 256 x 256 picture's samples

    // Takes `frame` and resamples it into the 256 x 256 picture. False when
    // there is no memory for it.
    bool show(FrameImage frame);
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

// Maps the picture through the window (LINEAR) and the file's presentation
// into `bitmap`. The bands outside the placement are black.
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
