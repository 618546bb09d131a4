#include "view/measurement.h"

#include <array>
#include <cmath>
#include <optional>

#include "view/number_text.h"

namespace {

// Physical Units X/Y Direction: cm.
constexpr int unit_centimetre = 3;

bool positive(double value) { return std::isfinite(value) && value > 0.0; }

// The spacing when both values are usable.
std::optional<std::array<double, 2>> usable(const std::optional<std::array<double, 2>>& spacing)
{
    if (spacing && positive((*spacing)[0]) && positive((*spacing)[1])) {
        return spacing;
    }
    return std::nullopt;
}

bool projection_radiography(const std::string& modality)
{
    for (const char* m : {"CR", "DX", "MG", "IO", "XA", "RF"}) {
        if (modality == m) {
            return true;
        }
    }
    return false;
}

bool same_spacing(const std::array<double, 2>& a, const std::array<double, 2>& b)
{
    const auto close = [](double x, double y) { return std::fabs(x - y) <= 1e-6 * std::max(x, y); };
    return close(a[0], b[0]) && close(a[1], b[1]);
}

bool contains(const UltrasoundRegion& region, FramePoint p)
{
    const double column = std::floor(p.column);
    const double row = std::floor(p.row);
    return column >= region.min_x && column <= region.max_x && row >= region.min_y && row <= region.max_y;
}

// The first region in cm holding both ends.
const UltrasoundRegion* measuring_region(const ViewAttributes& attributes, FramePoint from, FramePoint to)
{
    for (const UltrasoundRegion& region : attributes.ultrasound_regions) {
        const bool in_cm = region.units_x == unit_centimetre && region.units_y == unit_centimetre &&
                           positive(std::fabs(region.delta_x)) && positive(std::fabs(region.delta_y));
        if (in_cm && contains(region, from) && contains(region, to)) {
            return &region;
        }
    }
    return nullptr;
}

double length(double columns, double rows, double column_spacing, double row_spacing)
{
    return std::hypot(columns * column_spacing, rows * row_spacing);
}

} // namespace

Distance measure_distance(const ViewAttributes& attributes, FramePoint from, FramePoint to)
{
    const double columns = to.column - from.column;
    const double rows = to.row - from.row;
    if (const UltrasoundRegion* region = measuring_region(attributes, from, to)) {
        return {length(columns, rows, 10.0 * std::fabs(region->delta_x), 10.0 * std::fabs(region->delta_y)),
                DistanceUnit::mm};
    }
    const auto pixel = usable(attributes.pixel_spacing);
    const auto imager = usable(attributes.imager_pixel_spacing);
    std::optional<std::array<double, 2>> detector;
    if (pixel) {
        const bool uncalibrated = attributes.pixel_spacing_calibration_type.empty();
        if (!(projection_radiography(attributes.modality) && imager && uncalibrated &&
              same_spacing(*pixel, *imager))) {
            return {length(columns, rows, (*pixel)[1], (*pixel)[0]), DistanceUnit::mm};
        }
        detector = pixel;
    } else {
        detector = imager;
    }
    if (!detector) {
        return {std::hypot(columns, rows), DistanceUnit::pixels};
    }
    const double at_detector = length(columns, rows, (*detector)[1], (*detector)[0]);
    if (attributes.magnification_factor && positive(*attributes.magnification_factor)) {
        return {at_detector / *attributes.magnification_factor, DistanceUnit::mm_magnification_corrected};
    }
    return {at_detector, DistanceUnit::mm_at_detector};
}

const char* unit_text(DistanceUnit unit)
{
    switch (unit) {
    case DistanceUnit::mm: return "mm";
    case DistanceUnit::mm_at_detector: return "mm (at detector)";
    case DistanceUnit::mm_magnification_corrected: return "mm (magnification corrected)";
    case DistanceUnit::pixels: break;
    }
    return "px";
}

std::string distance_text(const Distance& distance)
{
    return fixed_text(distance.length, 1) + " " + unit_text(distance.unit);
}
