// The length of a line drawn on a frame, in the unit the header justifies:
//  - both ends in one ultrasound region whose physical units are cm on both
//    axes: mm, by the region's Physical Delta X and Y;
//  - Pixel Spacing: mm, except in projection radiography (CR, DX, MG, IO, XA,
//    RF) when it equals Imager Pixel Spacing and no Pixel Spacing Calibration
//    Type says it was calibrated: the spacing is the detector's, "mm (at
//    detector)";
//  - only Imager Pixel Spacing: "mm (at detector)";
//  - a detector spacing with a positive Estimated Radiographic Magnification
//    Factor: the length divided by the factor, "mm (magnification corrected)";
//  - nothing usable: image pixels, "px".
// Spacings are row spacing (between rows) first, column spacing second; a
// spacing counts only when both its values are positive and finite. Qt-free.
#pragma once

#include <string>

#include "view/frame_point.h"
#include "view/view_attributes.h"

enum class DistanceUnit {
    mm,
    mm_at_detector,
    mm_magnification_corrected,
    pixels,
};

struct Distance {
    double length = 0.0;
    DistanceUnit unit = DistanceUnit::pixels;
};

// The length of the line from `from` to `to` (frame points; a region holds
// the points whose pixel lies inside its bounds, both included).
Distance measure_distance(const ViewAttributes& attributes, FramePoint from, FramePoint to);

// "mm", "mm (at detector)", "mm (magnification corrected)" or "px".
const char* unit_text(DistanceUnit unit);

// The length to one decimal and its unit: "50.0 mm".
std::string distance_text(const Distance& distance);
