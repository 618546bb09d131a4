#include "display.h"

#include <algorithm>
#include <cstdio>

namespace {

// Truncates toward zero, as an integer conversion does.
int truncate(double v) { return static_cast<int>(v); }

} // namespace

void resample_to_display(const int16_t* source, int sw, int sh, int16_t* destination, int dw, int dh)
{
    const std::size_t held = static_cast<std::size_t>(std::max(sw, 0)) * static_cast<std::size_t>(std::max(sh, 0));
    resample_to_display(source, held, sw, sh, destination, dw, dh);
}

void resample_to_display(const int16_t* source, std::size_t held, int sw, int sh, int16_t* destination, int dw,
                         int dh)
{
    const float xr = static_cast<float>(sw - 1) / static_cast<float>(dw - 1);
    const float yr = static_cast<float>(sh - 1) / static_cast<float>(dh - 1);
    const int last_column = sw - 1;
    const int last_row = sh - 1;
    const auto sample = [&](int row, int column) -> double {
        row = std::min(row, last_row);
        column = std::min(column, last_column);
        const std::size_t index =
            static_cast<std::size_t>(row) * static_cast<std::size_t>(sw) + static_cast<std::size_t>(column);
        return index < held ? source[index] : 0;
    };

    for (int y = 0; y <= dh - 3; ++y) {
        // The product of an integer below 2^24 and a float is exact in double:
        // that is the value before it is rounded to single precision.
        const double y_product = static_cast<double>(y) * yr;
        const float fy = static_cast<float>(y_product);
        const int y0 = yr > 1.0F ? truncate(y_product) : truncate(fy);
        const float dy = fy - static_cast<float>(y0);

        for (int x = 0; x <= dw - 3; ++x) {
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
                x1 = std::min(x0 + 1, dw - 1);
            }
            const float dx = fx - static_cast<float>(x0);

            const double wx0 = 1.0 - static_cast<double>(dx);
            const double wy0 = 1.0 - static_cast<double>(dy);
            const float v = static_cast<float>(sample(y0, x0) * wx0 * wy0 + sample(y0, x1) * dx * wy0 +
                                               sample(y0 + 1, x0) * wx0 * dy + sample(y0 + 1, x1) * dx * dy);
            int r = truncate(static_cast<double>(v) + 0.5);
            if (r < -2048) {
                r = -2048;
            } else if (r > 32767) {
                r = 32000;
            }
            destination[static_cast<std::size_t>(y) * static_cast<std::size_t>(dw) + static_cast<std::size_t>(x)] =
                static_cast<int16_t>(r);
        }
    }
}

void render_display_pixels(const DisplaySamples& samples, int32_t level, int32_t width, int32_t intercept,
                           DisplayPixels& pixels)
{
    pixels.fill(0);
    const int32_t lo = level - width / 2;
    int32_t hi = lo + width;
    if (hi <= lo) {
        hi = lo + 2;
    }
    const float scale = 255.0F / static_cast<float>(hi - lo);
    const float offset = -scale * static_cast<float>(lo);
    const auto intercept16 = static_cast<int16_t>(static_cast<uint16_t>(intercept));

    for (int r = 0; r < display_size; ++r) {
        uint8_t* out = &pixels[static_cast<std::size_t>(display_size - 1 - r) * display_size];
        const int16_t* in = &samples[static_cast<std::size_t>(r) * display_size];
        for (int k = 0; k < display_size; ++k) {
            int32_t v = in[k];
            if (intercept != 0) {
                v = static_cast<int16_t>(static_cast<uint16_t>(v + intercept16));
            }
            int index = 0;
            if (v > hi) {
                index = 255;
            } else if (v >= lo) {
                index = std::clamp(truncate(static_cast<double>(v) * scale + offset), 0, 255);
            }
            out[k] = static_cast<uint8_t>(index);
        }
    }
}

WindowSetting drag_window(WindowSetting start, int start_x, int start_y, int x, int y)
{
    WindowSetting w{start.level + (start_y - y), start.width + (x - start_x)};
    if (w.width < 0) {
        w.width = 2;
    } else if (w.width > 4096) {
        w.width = 4096;
    }
    w.level = std::clamp(w.level, -1024, 3064);
    return w;
}

std::string window_caption(WindowSetting window)
{
    char text[48];
    std::snprintf(text, sizeof text, "WL=%4d, WW=%4d", window.level, window.width);
    return text;
}
