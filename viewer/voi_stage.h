// The VOI stage: modality values to display levels 0 to 255 (PS3.3
// C.11.2), through a window or a VOI LUT of the file. A window's VOI LUT
// Function: LINEAR, the viewer's own rule since its first picture (level and
// width taken as integers toward zero; values at or below level - width / 2
// black, above level - width / 2 + width white, the levels between
// truncated), LINEAR_EXACT and SIGMOID as C.11.2.1.3 gives them (levels
// rounded). A VOI LUT's output, 0 to 2^bits - 1, is scaled to 0 to 255.
#pragma once

#include <cstdint>
#include <string>

class LookupTable;

enum class VoiFunction { linear, linear_exact, sigmoid };

// The function (0028,1056) names; LINEAR for anything else.
VoiFunction voi_function_of(const std::string& text);

struct VoiWindow {
    double center = 50;
    double width = 1024;
    VoiFunction function = VoiFunction::linear;

    bool operator==(const VoiWindow&) const = default;
};

// What the VOI stage applies: `window`, or the file's VOI LUT of index
// `lut` (0-based) when that is not negative.
struct VoiSetting {
    VoiWindow window;
    int lut = -1;

    bool operator==(const VoiSetting&) const = default;
};

class VoiMap {
public:
    explicit VoiMap(const VoiWindow& window);
    // The map through `table`, which must outlive the map.
    explicit VoiMap(const LookupTable& table);

    // The display level of a modality value.
    uint8_t operator()(double value) const;

private:
    uint8_t linear(double value) const;
    uint8_t exact(double value) const;
    uint8_t sigmoid(double value) const;

    VoiWindow window_;
    const LookupTable* table_ = nullptr;
    // LINEAR: the integer window's bounds and scale.
    int64_t lo_ = 0;
    int64_t hi_ = 0;
    float scale_ = 0;
    float offset_ = 0;
};
