#include "viewer/resample.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <type_traits>

namespace {

// Truncates toward zero, as an integer conversion does.
int truncate(double v) { return static_cast<int>(v); }

// The two source columns output column `x` of the 256 x 256 picture reads
// (before they are held to the frame) and where it falls between them, for
// `ratio` source columns an output column; rows are read the same way.
struct PictureAxisReads {
    int first;
    int second;
    float position;
};
PictureAxisReads display_reads(int x, float ratio)
{
    // The product of an integer below 2^24 and a float is exact in double:
    // that is the value before it is rounded to single precision.
    const double product = static_cast<double>(x) * ratio;
    const float position = static_cast<float>(product);
    if (ratio > 1.0F) {
        const int first = truncate(product);
        const int second = truncate(static_cast<double>(x + 1) * ratio);
        return {first, second == first ? first + 1 : second, position};
    }
    const int first = truncate(position);
    return {first, first + 1, position};
}

// Truncates toward zero and holds the result to the 32-bit range.
int32_t truncate_held(double v)
{
    return static_cast<int32_t>(std::clamp(std::trunc(v), double{INT32_MIN}, double{INT32_MAX}));
}

template <typename Out>
Out rounded(double v)
{
    constexpr double low = std::is_same_v<Out, uint8_t> ? 0.0 : double{INT32_MIN};
    constexpr double high = std::is_same_v<Out, uint8_t> ? 255.0 : double{INT32_MAX};
    return static_cast<Out>(std::clamp(std::floor(v + 0.5), low, high));
}

// The source pixels [first, first + count) of a plane: where the plane
// holds them all, in place; otherwise copied into `scratch` with the missing
// value after the held ones.
template <typename T>
const T* plane_pixels(const Plane<T>& plane, std::size_t first, std::size_t count, std::vector<T>& scratch)
{
    const auto channels = static_cast<std::size_t>(plane.channels);
    if (first + count <= plane.held) {
        return plane.pixels + first * channels;
    }
    scratch.resize(count * channels);
    for (std::size_t i = 0; i < count; ++i) {
        const T* from = first + i < plane.held ? plane.pixels + (first + i) * channels : plane.missing;
        std::copy(from, from + channels, scratch.begin() + static_cast<std::ptrdiff_t>(i * channels));
    }
    return scratch.data();
}

// Down the rows, then across: each output row is the weighted sum of the
// source rows it takes, over the source columns the view takes; each output
// pixel then the weighted sum of that row's columns.
template <typename Sum, typename In, typename Out>
void resample_passes(const Plane<In>& plane, const AxisTaps& across, const AxisTaps& down, Out* output, int width)
{
    if (across.begin >= across.end || down.begin >= down.end) {
        return;
    }
    const auto stride = static_cast<std::size_t>(plane.channels);
    const auto span = static_cast<std::size_t>(across.source_end - across.source_begin);
    const std::size_t row_length = span * stride;
    std::vector<Sum> row(row_length);
    std::vector<In> scratch;
    for (int y = down.begin; y < down.end; ++y) {
        std::fill(row.begin(), row.end(), Sum{0});
        const auto k = static_cast<std::size_t>(y - down.begin);
        for (uint32_t t = down.first[k]; t < down.first[k + 1]; ++t) {
            const std::size_t first =
                static_cast<std::size_t>(down.source[t]) * static_cast<std::size_t>(plane.columns) +
                static_cast<std::size_t>(across.source_begin);
            const In* source = plane_pixels(plane, first, span, scratch);
            const auto w = static_cast<Sum>(down.weight[t]);
            for (std::size_t i = 0; i < row_length; ++i) {
                row[i] += w * static_cast<Sum>(source[i]);
            }
        }
        Out* out = output + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * stride;
        for (int x = across.begin; x < across.end; ++x) {
            const auto j = static_cast<std::size_t>(x - across.begin);
            for (std::size_t c = 0; c < stride; ++c) {
                Sum v = 0;
                for (uint32_t t = across.first[j]; t < across.first[j + 1]; ++t) {
                    const auto at = static_cast<std::size_t>(across.source[t] - across.source_begin) * stride + c;
                    v += static_cast<Sum>(across.weight[t]) * row[at];
                }
                out[static_cast<std::size_t>(x) * stride + c] = rounded<Out>(static_cast<double>(v));
            }
        }
    }
}

} // namespace

namespace {

// Where a frame pixel lies among the held samples: between `first` and
// `second`, `weight` toward the second; the edges held.
struct HeldTap {
    std::size_t first;
    std::size_t second;
    double weight;
};

HeldTap held_tap(int pixel, int samples, const HeldGrid& held)
{
    const double at = std::clamp((pixel - held.origin) / held.step, 0.0, static_cast<double>(samples - 1));
    const auto first = static_cast<std::size_t>(at);
    return {first, std::min(first + 1, static_cast<std::size_t>(samples - 1)), at - static_cast<double>(first)};
}

// The frame pixels resample_to_display reads for one output pixel along
// an axis, as held taps: the first and second, `weight` toward the second.
struct DisplayReads {
    HeldTap first;
    HeldTap second;
    float weight;
};

} // namespace

void resample_held_to_display(const SampleAt& sample, const HeldGrid& held, int sw, int sh, int32_t* destination,
                              int dw, int dh, std::size_t stride)
{
    if (held.columns <= 0 || held.rows <= 0 || !(held.step > 0) || sw <= 0 || sh <= 0 || dw < 2 || dh < 2) {
        return;
    }
    const auto columns = static_cast<std::size_t>(held.columns);
    std::vector<double> samples(columns * static_cast<std::size_t>(held.rows));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = sample(i);
    }
    // The axes as resample_to_display takes them from a whole frame.
    const float xr = static_cast<float>(sw - 1) / static_cast<float>(dw - 1);
    const float yr = static_cast<float>(sh - 1) / static_cast<float>(dh - 1);
    std::vector<DisplayReads> across(static_cast<std::size_t>(dw));
    for (int x = 0; x < dw; ++x) {
        const PictureAxisReads reads = display_reads(x, xr);
        const int x0 = std::min(reads.first, sw - 1);
        const int x1 = std::min(reads.second, sw - 1);
        across[static_cast<std::size_t>(x)] = {held_tap(x0, held.columns, held), held_tap(x1, held.columns, held),
                                               reads.position - static_cast<float>(x0)};
    }
    std::vector<DisplayReads> down(static_cast<std::size_t>(dh));
    for (int y = 0; y < dh; ++y) {
        const double y_product = static_cast<double>(y) * yr;
        const float fy = static_cast<float>(y_product);
        const int y0 = std::min(yr > 1.0F ? truncate(y_product) : truncate(fy), sh - 1);
        down[static_cast<std::size_t>(y)] = {held_tap(y0, held.rows, held),
                                             held_tap(std::min(y0 + 1, sh - 1), held.rows, held),
                                             fy - static_cast<float>(y0)};
    }
    // Each frame pixel is bilinear between the held samples around it, and
    // the whole is separable: the held rows resampled across first, then
    // down.
    const auto lerp = [](const double* values, const HeldTap& tap) {
        return values[tap.first] + (values[tap.second] - values[tap.first]) * tap.weight;
    };
    const auto width = static_cast<std::size_t>(dw);
    std::vector<double> across_rows(static_cast<std::size_t>(held.rows) * width);
    for (std::size_t row = 0; row < static_cast<std::size_t>(held.rows); ++row) {
        const double* values = samples.data() + row * columns;
        double* out = across_rows.data() + row * width;
        for (std::size_t x = 0; x < width; ++x) {
            const DisplayReads& a = across[x];
            out[x] = lerp(values, a.first) * (1.0 - static_cast<double>(a.weight)) +
                     lerp(values, a.second) * static_cast<double>(a.weight);
        }
    }
    const auto row_at = [&](const HeldTap& tap, std::size_t x) {
        const double first = across_rows[tap.first * width + x];
        return first + (across_rows[tap.second * width + x] - first) * tap.weight;
    };
    for (int y = 0; y < dh; ++y) {
        const DisplayReads& d = down[static_cast<std::size_t>(y)];
        const double wy0 = 1.0 - static_cast<double>(d.weight);
        for (std::size_t x = 0; x < width; ++x) {
            const auto v = static_cast<float>(row_at(d.first, x) * wy0 + row_at(d.second, x) * d.weight);
            destination[static_cast<std::size_t>(y) * stride + x] = truncate_held(static_cast<double>(v) + 0.5);
        }
    }
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
            const PictureAxisReads reads = display_reads(x, xr);
            const int x0 = std::min(reads.first, last_column);
            const int x1 = reads.second;
            const float dx = reads.position - static_cast<float>(x0);

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

AxisTaps axis_taps(double origin, double scale, int outputs, int sources)
{
    AxisTaps taps;
    taps.first.push_back(0);
    if (!(scale > 0) || !std::isfinite(scale) || !std::isfinite(origin) || sources <= 0 || outputs <= 0) {
        return taps;
    }
    // The output pixels whose centre lies in [0, sources).
    const double from = std::ceil((0 - origin) * scale - 0.5);
    const double to = std::ceil((sources - origin) * scale - 0.5);
    taps.begin = static_cast<int>(std::clamp(from, 0.0, static_cast<double>(outputs)));
    taps.end = static_cast<int>(std::clamp(to, 0.0, static_cast<double>(outputs)));
    taps.source_begin = sources;
    taps.source_end = 0;
    const auto add = [&](int32_t source, double weight) {
        taps.source.push_back(source);
        taps.weight.push_back(static_cast<float>(weight));
        taps.source_begin = std::min(taps.source_begin, source);
        taps.source_end = std::max(taps.source_end, source + 1);
    };
    const int32_t last = sources - 1;
    for (int x = taps.begin; x < taps.end; ++x) {
        const double centre = origin + (x + 0.5) / scale;
        if (scale > 4) {
            add(std::clamp(static_cast<int32_t>(std::floor(centre)), 0, last), 1.0);
        } else if (scale >= 1) {
            const double t = centre - 0.5;
            const double below = std::floor(t);
            const double f = t - below;
            if (below < 0) {
                add(0, 1.0);
            } else if (below >= last) {
                add(last, 1.0);
            } else {
                const auto c = static_cast<int32_t>(below);
                add(c, 1.0 - f);
                if (f > 0) {
                    add(c + 1, f);
                }
            }
        } else {
            const double a = std::max(origin + x / scale, 0.0);
            const double b = std::min(origin + (x + 1) / scale, static_cast<double>(sources));
            const auto c0 = static_cast<int32_t>(std::floor(a));
            const auto c1 = std::min(static_cast<int32_t>(std::ceil(b)), sources);
            for (int32_t c = c0; c < c1; ++c) {
                const double covered = std::min(b, c + 1.0) - std::max(a, static_cast<double>(c));
                if (covered > 0) {
                    add(c, covered / (b - a));
                }
            }
        }
        taps.first.push_back(static_cast<uint32_t>(taps.source.size()));
    }
    if (taps.begin >= taps.end) {
        taps.source_begin = taps.source_end = 0;
    }
    return taps;
}

void resample_plane(const Plane<int32_t>& plane, const AxisTaps& across, const AxisTaps& down, int32_t* output,
                    int width, bool wide)
{
    if (wide) {
        resample_passes<double>(plane, across, down, output, width);
    } else {
        resample_passes<float>(plane, across, down, output, width);
    }
}

void resample_plane(const Plane<uint8_t>& plane, const AxisTaps& across, const AxisTaps& down, uint8_t* output,
                    int width)
{
    resample_passes<float>(plane, across, down, output, width);
}
