// The file's own VOI choices: every window (0028,1050)/(0028,1051) pair,
// named by (0028,1055) and shaped by the VOI LUT Function (0028,1056), then
// every item of the VOI LUT Sequence (0028,3010), named by its LUT
// Explanation; in that order, which is the order of the file. The first one
// is what an Open applies.
#pragma once

#include <string>
#include <vector>

#include "viewer/lookup_table.h"
#include "viewer/voi_stage.h"

struct DisplayAttributes;

enum class WindowKind {
    file_window, // a window of the file
    file_lut,    // a VOI LUT of the file
    preset,      // a fixed CT window
    automatic,   // computed on the frame's modality values
};

struct WindowChoice {
    WindowKind kind = WindowKind::file_window;
    std::string name; // the file's explanation (may be empty), or the preset's or automatic window's name
    VoiSetting setting;
};

class FileWindows {
public:
    // The choices of the attributes. `signed_input`: the VOI LUTs' first
    // value mapped is signed (signed pixels without a Modality LUT). A VOI
    // LUT that cannot be read is left out, and `problems` says why.
    static FileWindows of(const DisplayAttributes& attributes, bool signed_input,
                          std::vector<std::string>& problems);

    const std::vector<WindowChoice>& choices() const { return choices_; }
    // The map of a setting: its VOI LUT, or its window when the setting
    // names no LUT of the file.
    VoiMap map(const VoiSetting& setting) const;
    // The setting an Open applies: the first choice, else `fallback` (the
    // window the viewer had).
    VoiSetting open_setting(const VoiWindow& fallback) const;

private:
    std::vector<WindowChoice> choices_;
    std::vector<LookupTable> luts_;
};
