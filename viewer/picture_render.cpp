#include "viewer/picture_render.h"

#include <algorithm>
#include <climits>
#include <new>

#include "viewer/display_info.h"
#include "viewer/resample.h"

namespace {

constexpr int64_t largest_table = int64_t{1} << 20;

// The 256 x 256 picture's resampling of one channel of a plane into the
// placement; `to` takes each result.
template <typename T, typename Store>
void resample_placed(const Plane<T>& plane, std::size_t channel, const FrameImage& frame, const Placement& p,
                     std::vector<int32_t>& scratch, Store to)
{
    const auto channels = static_cast<std::size_t>(plane.channels);
    const SampleAt at = [&](std::size_t i) {
        return static_cast<double>(i < plane.held ? plane.pixels[i * channels + channel] : plane.missing[channel]);
    };
    const std::size_t origin = static_cast<std::size_t>(p.y) * display_size + static_cast<std::size_t>(p.x);
    if (frame.reduced()) {
        const HeldGrid held{frame.columns, frame.rows, static_cast<double>(frame.sample_step),
                            frame.sample_origin};
        resample_held_to_display(at, held, frame.frame_columns, frame.frame_rows, scratch.data() + origin, p.width,
                                 p.height, display_size);
    } else {
        resample_to_display(at, frame.columns, frame.rows, scratch.data() + origin, p.width, p.height,
                            display_size);
    }
    for (int y = p.y; y < p.y + p.height; ++y) {
        for (int x = p.x; x < p.x + p.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * display_size + static_cast<std::size_t>(x);
            to(i, scratch[i]);
        }
    }
}

Plane<int32_t> gray_plane(const FrameImage& frame)
{
    return {frame.samples.data(), frame.samples.size(), frame.columns, 1, &frame.missing_sample};
}

Plane<uint8_t> colour_plane(const FrameImage& frame)
{
    return {frame.rgb.data(), frame.rgb.size() / 3, frame.columns, 3, frame.missing_rgb.data()};
}

Plane<uint8_t> overlay_plane(const FrameImage& frame)
{
    static constexpr uint8_t none = 0;
    return {frame.overlays.pixels.data(), frame.overlays.pixels.size(), frame.columns, 1, &none};
}

void picture_samples(const FrameImage& frame, ViewSamples& out)
{
    const Placement p =
        picture_placement(frame.frame_columns, frame.frame_rows, frame.row_spacing, frame.column_spacing);
    out.x0 = p.x;
    out.x1 = p.x + p.width;
    out.y0 = p.y;
    out.y1 = p.y + p.height;
    std::vector<int32_t> scratch(display_pixel_count);
    if (frame.kind == PictureKind::colour) {
        for (std::size_t c = 0; c < 3; ++c) {
            resample_placed(colour_plane(frame), c, frame, p, scratch, [&](std::size_t i, int32_t v) {
                out.rgb[i * 3 + c] = static_cast<uint8_t>(std::clamp(v, 0, 255));
            });
        }
    } else {
        resample_placed(gray_plane(frame), 0, frame, p, scratch,
                        [&](std::size_t i, int32_t v) { out.samples[i] = v; });
    }
    if (!frame.overlays.empty()) {
        out.overlay.assign(display_pixel_count, 0);
        resample_placed(overlay_plane(frame), 0, frame, p, scratch,
                        [&](std::size_t i, int32_t v) { out.overlay[i] = v >= 128 ? 1 : 0; });
    }
}

void view_taps(const FrameImage& frame, const ViewRect& view, ViewSamples& out)
{
    // The view speaks of the frame's pixels; the samples may be fewer, sample
    // k covering frame pixel step x k + origin and the step around it.
    const double step = frame.sample_step;
    const auto sample_position = [&](double position) {
        return (position - frame.sample_origin - 0.5) / step + 0.5;
    };
    const AxisTaps across = axis_taps(sample_position(view.left), view.scale_x * step, out.width, frame.columns);
    const AxisTaps down = axis_taps(sample_position(view.top), view.scale_y * step, out.height, frame.rows);
    out.x0 = across.begin;
    out.x1 = across.end;
    out.y0 = down.begin;
    out.y1 = down.end;
    if (frame.kind == PictureKind::colour) {
        resample_plane(colour_plane(frame), across, down, out.rgb.data(), out.width);
    } else {
        resample_plane(gray_plane(frame), across, down, out.samples.data(), out.width, frame.wide);
    }
    if (!frame.overlays.empty()) {
        std::vector<uint8_t> levels(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
        resample_plane(overlay_plane(frame), across, down, levels.data(), out.width);
        out.overlay.resize(levels.size());
        std::transform(levels.begin(), levels.end(), out.overlay.begin(),
                       [](uint8_t level) { return level >= 128 ? uint8_t{1} : uint8_t{0}; });
    }
}

// The gray level of each sample: through the VOI stage for windowed
// pictures, as it is for fixed ones, inverted when the presentation asks.
class GrayLevels {
public:
    GrayLevels(const FrameImage& frame, const RenderSettings& settings)
        : frame_(frame), voi_(frame.windows.map(settings.voi)),
          inverted_(frame.presentation.inverts(settings.invert))
    {
    }

    uint8_t operator()(int32_t sample) const
    {
        uint8_t level = 0;
        if (frame_.kind == PictureKind::fixed) {
            level = static_cast<uint8_t>(std::clamp(sample, 0, 255));
        } else {
            level = voi_(frame_.modality(sample));
        }
        return inverted_ ? static_cast<uint8_t>(255 - level) : level;
    }

private:
    const FrameImage& frame_;
    VoiMap voi_;
    bool inverted_;
};

} // namespace

bool view_samples(const FrameImage& frame, const ViewRect& view, int width, int height, ViewSamples& out)
{
    out = ViewSamples{};
    if (width <= 0 || height <= 0 || frame.columns <= 0 || frame.rows <= 0) {
        return true;
    }
    try {
        out.width = width;
        out.height = height;
        const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        if (frame.kind == PictureKind::colour) {
            out.rgb.assign(count * 3, 0);
        } else {
            out.samples.assign(count, 0);
        }
        const bool picture = width == display_size && height == display_size &&
                             view == fit_view(frame.frame_columns, frame.frame_rows, frame.row_spacing,
                                              frame.column_spacing, width, height);
        if (picture) {
            picture_samples(frame, out);
        } else {
            view_taps(frame, view, out);
        }
        return true;
    } catch (const std::bad_alloc&) {
        out = ViewSamples{};
        return false;
    }
}

bool view_needs_full_frame(const FrameImage& frame, const ViewRect& view)
{
    if (!frame.reduced() || frame.columns <= 0 || frame.rows <= 0) {
        return false;
    }
    constexpr double slack = 1e-9;
    return view.scale_x * frame.sample_step > 1 + slack || view.scale_y * frame.sample_step > 1 + slack;
}

namespace {

void render(const FrameImage& frame, const ViewSamples& samples, const RenderSettings& settings,
            PictureBitmap& bitmap)
{
    const bool colour = frame.kind == PictureKind::colour;
    bitmap.width = samples.width;
    bitmap.height = samples.height;
    bitmap.channels = colour || settings.overlays ? 3 : 1;
    const auto channels = static_cast<std::size_t>(bitmap.channels);
    const auto width = static_cast<std::size_t>(samples.width);
    bitmap.pixels.assign(width * static_cast<std::size_t>(samples.height) * channels, 0);

    if (colour) {
        for (int y = samples.y0; y < samples.y1; ++y) {
            const std::size_t row = static_cast<std::size_t>(y) * width;
            const std::size_t from = (row + static_cast<std::size_t>(samples.x0)) * 3;
            const std::size_t to = (row + static_cast<std::size_t>(samples.x1)) * 3;
            std::copy(samples.rgb.begin() + static_cast<std::ptrdiff_t>(from),
                      samples.rgb.begin() + static_cast<std::ptrdiff_t>(to),
                      bitmap.pixels.begin() + static_cast<std::ptrdiff_t>(from));
        }
    } else if (samples.x0 < samples.x1 && samples.y0 < samples.y1) {
        const GrayLevels levels(frame, settings);
        int32_t lowest = INT32_MAX;
        int32_t highest = INT32_MIN;
        for (int y = samples.y0; y < samples.y1; ++y) {
            const auto row =
                samples.samples.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(y) * width);
            const auto [low, high] = std::minmax_element(row + samples.x0, row + samples.x1);
            lowest = std::min(lowest, *low);
            highest = std::max(highest, *high);
        }
        std::vector<uint8_t> table;
        if (int64_t{highest} - lowest < largest_table) {
            table.resize(static_cast<std::size_t>(int64_t{highest} - lowest + 1));
            for (std::size_t i = 0; i < table.size(); ++i) {
                table[i] = levels(static_cast<int32_t>(lowest + static_cast<int64_t>(i)));
            }
        }
        for (int y = samples.y0; y < samples.y1; ++y) {
            for (int x = samples.x0; x < samples.x1; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x);
                const int32_t sample = samples.samples[i];
                const uint8_t level =
                    table.empty() ? levels(sample) : table[static_cast<std::size_t>(int64_t{sample} - lowest)];
                for (std::size_t c = 0; c < channels; ++c) {
                    bitmap.pixels[i * channels + c] = level;
                }
            }
        }
    }

    if (settings.overlays && !samples.overlay.empty()) {
        for (std::size_t i = 0; i < samples.overlay.size(); ++i) {
            if (samples.overlay[i] != 0) {
                std::copy(overlay_colour, overlay_colour + 3, &bitmap.pixels[i * 3]);
            }
        }
    }
}

} // namespace

bool render_picture(const FrameImage& frame, const ViewSamples& samples, const RenderSettings& settings,
                    PictureBitmap& bitmap)
{
    try {
        render(frame, samples, settings, bitmap);
        return true;
    } catch (const std::bad_alloc&) {
        bitmap = PictureBitmap{};
        return false;
    }
}
