#include "display.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

namespace {

// Truncates toward zero, as an integer conversion does.
int truncate(double v) { return static_cast<int>(v); }

// Truncates toward zero and holds the result to the 32-bit range.
int32_t truncate_held(double v)
{
    return static_cast<int32_t>(std::clamp(std::trunc(v), double{INT32_MIN}, double{INT32_MAX}));
}

int32_t held_to_int32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// Palette index of one windowed modality value.
struct GrayWindow {
    int64_t lo;
    int64_t hi;
    float scale;
    float offset;

    explicit GrayWindow(WindowSetting window)
    {
        lo = int64_t{window.level} - window.width / 2;
        hi = lo + window.width;
        if (hi <= lo) {
            hi = lo + 2;
        }
        scale = 255.0F / static_cast<float>(hi - lo);
        offset = -scale * static_cast<float>(lo);
    }

    uint8_t index(double v) const
    {
        if (v > static_cast<double>(hi)) {
            return 255;
        }
        if (v < static_cast<double>(lo)) {
            return 0;
        }
        const double i = v * static_cast<double>(scale) + static_cast<double>(offset);
        return static_cast<uint8_t>(std::clamp(std::trunc(i), 0.0, 255.0));
    }
};

} // namespace

Placement picture_placement(int columns, int rows)
{
    Placement p;
    if (columns <= 0 || rows <= 0 || columns == rows) {
        return p;
    }
    if (columns > rows) {
        p.height = static_cast<int>(std::max<int64_t>(2, (int64_t{display_size} * rows + columns / 2) / columns));
        p.y = (display_size - p.height) / 2;
    } else {
        p.width = static_cast<int>(std::max<int64_t>(2, (int64_t{display_size} * columns + rows / 2) / rows));
        p.x = (display_size - p.width) / 2;
    }
    return p;
}

Placement picture_placement(int columns, int rows, double row_spacing, double column_spacing)
{
    if (!(row_spacing > 0 && column_spacing > 0) || row_spacing == column_spacing || columns <= 0 || rows <= 0) {
        return picture_placement(columns, rows);
    }
    const double width = columns * column_spacing;
    const double height = rows * row_spacing;
    const auto side = [](double fraction) {
        return static_cast<int>(std::clamp<double>(std::round(display_size * fraction), 2, display_size));
    };
    Placement p;
    if (width >= height) {
        p.height = side(height / width);
        p.y = (display_size - p.height) / 2;
    } else {
        p.width = side(width / height);
        p.x = (display_size - p.width) / 2;
    }
    return p;
}

void resample_to_display(const SampleAt& sample_at, int sw, int sh, int32_t* destination, int dw, int dh,
                         std::size_t stride)
{
    if (sw <= 0 || sh <= 0 || dw < 2 || dh < 2) {
        return;
    }
    const float xr = static_cast<float>(sw - 1) / static_cast<float>(dw - 1);
    const float yr = static_cast<float>(sh - 1) / static_cast<float>(dh - 1);
    const int last_column = sw - 1;
    const int last_row = sh - 1;
    const auto sample = [&](int row, int column) -> double {
        row = std::min(row, last_row);
        column = std::min(column, last_column);
        return sample_at(static_cast<std::size_t>(row) * static_cast<std::size_t>(sw) +
                         static_cast<std::size_t>(column));
    };

    for (int y = 0; y < dh; ++y) {
        // The product of an integer below 2^24 and a float is exact in double:
        // that is the value before it is rounded to single precision.
        const double y_product = static_cast<double>(y) * yr;
        const float fy = static_cast<float>(y_product);
        const int y0 = std::min(yr > 1.0F ? truncate(y_product) : truncate(fy), last_row);
        const float dy = fy - static_cast<float>(y0);

        for (int x = 0; x < dw; ++x) {
            const double x_product = static_cast<double>(x) * xr;
            const float fx = static_cast<float>(x_product);
            int x0 = 0;
            int x1 = 0;
            if (xr > 1.0F) {
                x0 = truncate(x_product);
                x1 = truncate(static_cast<double>(x + 1) * xr);
                if (x1 == x0) {
                    x1 = x0 + 1;
                }
            } else {
                x0 = truncate(fx);
                x1 = x0 + 1;
            }
            x0 = std::min(x0, last_column);
            const float dx = fx - static_cast<float>(x0);

            const double wx0 = 1.0 - static_cast<double>(dx);
            const double wy0 = 1.0 - static_cast<double>(dy);
            const float v = static_cast<float>(sample(y0, x0) * wx0 * wy0 + sample(y0, x1) * dx * wy0 +
                                               sample(y0 + 1, x0) * wx0 * dy + sample(y0 + 1, x1) * dx * dy);
            destination[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x)] =
                truncate_held(static_cast<double>(v) + 0.5);
        }
    }
}

void resample_to_display(const int32_t* source, std::size_t held, int sw, int sh, int32_t* destination, int dw,
                         int dh)
{
    const SampleAt at = [&](std::size_t i) { return i < held ? static_cast<double>(source[i]) : 0.0; };
    resample_to_display(at, sw, sh, destination, dw, dh, static_cast<std::size_t>(std::max(dw, 0)));
}

void render_display_pixels(const DisplayPicture& picture, WindowSetting window, DisplayBitmap& bitmap)
{
    const bool colour = picture.kind == PictureKind::colour;
    bitmap.bytes_per_pixel = colour ? 3 : 1;
    bitmap.rows.assign(bitmap.row_bytes() * display_size, 0);
    const GrayWindow gray(window);
    const Placement& p = picture.placement;

    for (int r = p.y; r < p.y + p.height; ++r) {
        uint8_t* out = &bitmap.rows[static_cast<std::size_t>(r) * bitmap.row_bytes()];
        for (int k = p.x; k < p.x + p.width; ++k) {
            const std::size_t at = static_cast<std::size_t>(r) * display_size + static_cast<std::size_t>(k);
            if (colour) {
                std::copy_n(&picture.rgb[at * 3], 3, &out[static_cast<std::size_t>(k) * 3]);
                continue;
            }
            const int32_t s = picture.samples[at];
            uint8_t index = 0;
            if (picture.kind == PictureKind::fixed) {
                index = static_cast<uint8_t>(std::clamp(s, 0, 255));
            } else {
                index = gray.index(static_cast<double>(s) * picture.modality.slope + picture.modality.intercept);
            }
            out[k] = picture.inverted ? static_cast<uint8_t>(255 - index) : index;
        }
    }
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
