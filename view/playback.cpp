#include "view/playback.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double default_interval_ms = 100.0; // 10 frames a second

bool usable(const std::optional<double>& value) { return value && std::isfinite(*value) && *value > 0; }

} // namespace

int frame_interval_ms(const ViewAttributes& attributes)
{
    double interval = default_interval_ms;
    if (usable(attributes.frame_time)) {
        interval = *attributes.frame_time;
    } else if (usable(attributes.cine_rate)) {
        interval = 1000.0 / *attributes.cine_rate;
    } else if (usable(attributes.recommended_frame_rate)) {
        interval = 1000.0 / *attributes.recommended_frame_rate;
    }
    return static_cast<int>(std::lround(std::clamp(interval, 1.0, 60000.0)));
}
