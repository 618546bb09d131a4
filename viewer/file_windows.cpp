#include "viewer/file_windows.h"

#include <algorithm>

#include "image/display_attributes.h"

FileWindows FileWindows::of(const DisplayAttributes& attributes, bool signed_input,
                            std::vector<std::string>& problems)
{
    FileWindows windows;
    const VoiFunction function = voi_function_of(attributes.voi_lut_function);
    const std::size_t pairs = std::min(attributes.window_centers.size(), attributes.window_widths.size());
    for (std::size_t i = 0; i < pairs; ++i) {
        WindowChoice choice;
        choice.kind = WindowKind::file_window;
        choice.name = i < attributes.window_names.size() ? attributes.window_names[i] : std::string();
        choice.setting.window = {attributes.window_centers[i], attributes.window_widths[i], function};
        windows.choices_.push_back(std::move(choice));
    }
    for (std::size_t i = 0; i < attributes.voi_luts.size(); ++i) {
        std::string why;
        std::optional<LookupTable> table = LookupTable::of(attributes.voi_luts[i], signed_input, why);
        if (!table) {
            problems.push_back("VOI LUT " + std::to_string(i + 1) + " is not offered: " + why + ".");
            continue;
        }
        WindowChoice choice;
        choice.kind = WindowKind::file_lut;
        choice.name = attributes.voi_luts[i].explanation;
        choice.setting.lut = static_cast<int>(windows.luts_.size());
        windows.luts_.push_back(std::move(*table));
        windows.choices_.push_back(std::move(choice));
    }
    return windows;
}

VoiMap FileWindows::map(const VoiSetting& setting) const
{
    if (setting.lut >= 0 && static_cast<std::size_t>(setting.lut) < luts_.size()) {
        return VoiMap(luts_[static_cast<std::size_t>(setting.lut)]);
    }
    return VoiMap(setting.window);
}

VoiSetting FileWindows::open_setting(const VoiWindow& fallback) const
{
    if (!choices_.empty()) {
        return choices_.front().setting;
    }
    VoiSetting setting;
    setting.window = fallback;
    return setting;
}
