#include "display.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

namespace {

// Truncates toward zero and holds the result to the 32-bit range.
int32_t truncate_held(double v)
{
    return static_cast<int32_t>(std::clamp(std::trunc(v), double{INT32_MIN}, double{INT32_MAX}));
}

int32_t held_to_int32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

} // namespace

bool DisplayPicture::show(FrameImage shown)
{
    frame = std::move(shown);
    kind = frame.kind;
    range = frame.range;
    const ViewRect fit = fit_view(frame.frame_columns, frame.frame_rows, frame.row_spacing, frame.column_spacing,
                                  display_size, display_size);
    return view_samples(frame, fit, display_size, display_size, view);
}

void render_display_pixels(const DisplayPicture& picture, WindowSetting window, DisplayBitmap& bitmap)
{
    RenderSettings settings;
    settings.voi.window = {static_cast<double>(window.level), static_cast<double>(window.width),
                           VoiFunction::linear};
    PictureBitmap rendered;
    bitmap.bytes_per_pixel = picture.kind == PictureKind::colour ? 3 : 1;
    if (picture.view.width != display_size || !render_picture(picture.frame, picture.view, settings, rendered)) {
        bitmap.rows.assign(bitmap.row_bytes() * display_size, 0);
        return;
    }
    bitmap.rows = std::move(rendered.pixels);
}

DragLimits drag_limits(ValueRange range)
{
    const auto lowest = static_cast<int64_t>(std::floor(std::clamp(range.lowest, -4e18, 4e18)));
    const auto highest = static_cast<int64_t>(std::ceil(std::clamp(range.highest, -4e18, 4e18)));
    DragLimits limits;
    limits.level_min = std::min<int64_t>(limits.level_min, lowest);
    limits.level_max = std::max<int64_t>(limits.level_max, highest);
    const int64_t span = std::max<int64_t>(highest - lowest, 0);
    limits.width_max = std::max<int64_t>(limits.width_max, span);
    if (span > 4096) {
        limits.step = (span + 2048) / 4096;
    }
    return limits;
}

WindowSetting drag_window(WindowSetting start, int start_x, int start_y, int x, int y, const DragLimits& limits)
{
    int64_t level = int64_t{start.level} + (int64_t{start_y} - y) * limits.step;
    int64_t width = int64_t{start.width} + (int64_t{x} - start_x) * limits.step;
    if (width < 0) {
        width = 2;
    } else if (width > limits.width_max) {
        width = limits.width_max;
    }
    level = std::clamp(level, limits.level_min, limits.level_max);
    return {held_to_int32(level), held_to_int32(width)};
}

WindowSetting window_spanning(ValueRange range)
{
    const double level = std::round((range.lowest + range.highest) / 2);
    const double width = std::round(range.highest - range.lowest);
    return {truncate_held(level), truncate_held(width)};
}

std::string window_caption(WindowSetting window)
{
    char text[48];
    std::snprintf(text, sizeof text, "WL=%4d, WW=%4d", window.level, window.width);
    return text;
}
