#include "viewer/voi_stage.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "viewer/lookup_table.h"

namespace {

int32_t held_integer(double v)
{
    if (std::isnan(v)) {
        return 0;
    }
    return static_cast<int32_t>(std::clamp(std::trunc(v), double{INT32_MIN}, double{INT32_MAX}));
}

uint8_t rounded_level(double y)
{
    if (std::isnan(y)) {
        return 0;
    }
    return static_cast<uint8_t>(std::clamp(std::floor(y + 0.5), 0.0, 255.0));
}

} // namespace

VoiFunction voi_function_of(const std::string& text)
{
    if (text == "LINEAR_EXACT") {
        return VoiFunction::linear_exact;
    }
    if (text == "SIGMOID") {
        return VoiFunction::sigmoid;
    }
    return VoiFunction::linear;
}

VoiMap::VoiMap(const VoiWindow& window) : window_(window)
{
    const int32_t level = held_integer(window.center);
    const int32_t width = held_integer(window.width);
    lo_ = int64_t{level} - width / 2;
    hi_ = lo_ + width;
    if (hi_ <= lo_) {
        hi_ = lo_ + 2;
    }
    scale_ = 255.0F / static_cast<float>(hi_ - lo_);
    offset_ = -scale_ * static_cast<float>(lo_);
}

VoiMap::VoiMap(const LookupTable& table) : table_(&table) {}

uint8_t VoiMap::operator()(double value) const
{
    if (table_ != nullptr) {
        const double top = table_->output_top();
        return rounded_level((*table_)(value)*255.0 / top);
    }
    switch (window_.function) {
    case VoiFunction::linear_exact: return exact(value);
    case VoiFunction::sigmoid: return sigmoid(value);
    case VoiFunction::linear: break;
    }
    return linear(value);
}

uint8_t VoiMap::linear(double value) const
{
    if (value > static_cast<double>(hi_)) {
        return 255;
    }
    if (!(value >= static_cast<double>(lo_))) {
        return 0;
    }
    const double i = value * static_cast<double>(scale_) + static_cast<double>(offset_);
    return static_cast<uint8_t>(std::clamp(std::trunc(i), 0.0, 255.0));
}

uint8_t VoiMap::exact(double value) const
{
    const double c = window_.center;
    const double w = window_.width;
    if (!(w > 0)) {
        return value > c ? 255 : 0;
    }
    if (value <= c - w / 2) {
        return 0;
    }
    if (value > c + w / 2) {
        return 255;
    }
    return rounded_level(((value - c) / w + 0.5) * 255.0);
}

uint8_t VoiMap::sigmoid(double value) const
{
    const double c = window_.center;
    const double w = window_.width;
    if (!(w > 0)) {
        return value > c ? 255 : 0;
    }
    return rounded_level(255.0 / (1.0 + std::exp(-4.0 * (value - c) / w)));
}
