#include "viewer/window_choices.h"

#include <algorithm>
#include <cmath>

const std::array<CtPreset, 8> ct_presets = {{
    {"brain", 40, 80},
    {"subdural", 75, 215},
    {"stroke", 40, 40},
    {"lung", -600, 1500},
    {"mediastinum", 50, 350},
    {"abdomen", 60, 400},
    {"liver", 30, 150},
    {"bone", 400, 1800},
}};

namespace {

VoiWindow spanning(double lowest, double highest)
{
    return {(lowest + highest) / 2, highest - lowest, VoiFunction::linear};
}

} // namespace

VoiWindow auto_min_max(const FrameImage& frame) { return spanning(frame.range.lowest, frame.range.highest); }

VoiWindow auto_percentile(const FrameImage& frame, double low, double high)
{
    const std::vector<int32_t>& samples = frame.samples;
    if (samples.empty()) {
        return auto_min_max(frame);
    }
    const auto rank = [&](double percent) {
        return static_cast<std::size_t>(
            std::round(std::clamp(percent, 0.0, 100.0) / 100 * static_cast<double>(samples.size() - 1)));
    };
    const std::size_t low_rank = rank(std::min(low, high));
    const std::size_t high_rank = rank(std::max(low, high));
    int32_t low_sample = 0;
    int32_t high_sample = 0;
    const auto [lowest, highest] = std::minmax_element(samples.begin(), samples.end());
    const int64_t span = int64_t{*highest} - *lowest;
    if (span < (int64_t{1} << 20)) {
        // A count of each value, walked up to each rank.
        std::vector<uint32_t> counts(static_cast<std::size_t>(span + 1));
        for (const int32_t sample : samples) {
            ++counts[static_cast<std::size_t>(int64_t{sample} - *lowest)];
        }
        std::size_t seen = 0;
        bool low_found = false;
        for (std::size_t v = 0; v < counts.size(); ++v) {
            seen += counts[v];
            const auto value = static_cast<int32_t>(*lowest + static_cast<int64_t>(v));
            if (!low_found && seen > low_rank) {
                low_sample = value;
                low_found = true;
            }
            if (seen > high_rank) {
                high_sample = value;
                break;
            }
        }
    } else {
        std::vector<int32_t> sorted = samples;
        const auto low_at = sorted.begin() + static_cast<std::ptrdiff_t>(low_rank);
        const auto high_at = sorted.begin() + static_cast<std::ptrdiff_t>(high_rank);
        std::nth_element(sorted.begin(), low_at, sorted.end());
        low_sample = *low_at;
        std::nth_element(low_at, high_at, sorted.end());
        high_sample = *high_at;
    }
    const double a = frame.modality(low_sample);
    const double b = frame.modality(high_sample);
    return spanning(std::min(a, b), std::max(a, b));
}

std::vector<WindowChoice> window_choices(const FrameImage& frame)
{
    std::vector<WindowChoice> choices;
    if (frame.kind != PictureKind::windowed) {
        return choices;
    }
    choices = frame.windows.choices();
    if (frame.modality_name == "CT") {
        for (const CtPreset& preset : ct_presets) {
            WindowChoice choice;
            choice.kind = WindowKind::preset;
            choice.name = preset.name;
            choice.setting.window = {preset.center, preset.width, VoiFunction::linear};
            choices.push_back(std::move(choice));
        }
    }
    WindowChoice automatic;
    automatic.kind = WindowKind::automatic;
    automatic.name = "auto (min–max)";
    automatic.setting.window = auto_min_max(frame);
    choices.push_back(automatic);
    automatic.name = "auto (1–99 %)";
    automatic.setting.window = auto_percentile(frame);
    choices.push_back(automatic);
    return choices;
}

VoiSetting open_voi(const FrameImage& frame, int bits_allocated, const VoiWindow& kept, bool kept_given)
{
    VoiSetting setting = frame.windows.open_setting(kept);
    if (frame.windows.choices().empty() && frame.kind == PictureKind::windowed && bits_allocated == 32 &&
        !kept_given) {
        setting.window = auto_min_max(frame);
        // As the window drag keeps them: whole numbers.
        setting.window.center = std::round(setting.window.center);
        setting.window.width = std::round(setting.window.width);
    }
    return setting;
}
