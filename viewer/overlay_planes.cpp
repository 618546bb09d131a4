#include "viewer/overlay_planes.h"

#include <algorithm>
#include <cstdio>

#include "image/display_attributes.h"
#include "viewer/frame_samples.h"

namespace {

std::string plane_name(const OverlayItem& plane)
{
    char name[16];
    std::snprintf(name, sizeof name, "Overlay %04X", plane.group);
    return name;
}

bool kept_in_samples(const OverlayItem& plane, int bits_allocated, int bits_stored)
{
    return !plane.data && plane.bits_allocated == bits_allocated && plane.bit_position >= bits_stored &&
           plane.bit_position < bits_allocated;
}

// Which frame of the plane goes with image frame `frame_number`: -1 when
// none does.
int64_t plane_frame(const OverlayItem& plane, int frame_number)
{
    if (!plane.frames) {
        return 0;
    }
    const int64_t first = std::max<int64_t>(plane.first_frame, 1);
    const int64_t k = int64_t{frame_number} + 1 - first;
    return k >= 0 && k < *plane.frames ? k : -1;
}

} // namespace

uint64_t overlay_bits_in_samples(const std::vector<OverlayItem>& planes, int bits_allocated, int bits_stored)
{
    uint64_t mask = 0;
    for (const OverlayItem& plane : planes) {
        if (kept_in_samples(plane, bits_allocated, bits_stored)) {
            mask |= uint64_t{1} << plane.bit_position;
        }
    }
    return mask;
}

OverlayMask overlay_mask(const std::vector<OverlayItem>& planes, int columns, int rows, std::size_t held,
                         int frame_number, const FrameSamples* samples, int bits_allocated, int bits_stored,
                         std::vector<std::string>& problems)
{
    OverlayMask mask;
    mask.columns = columns;
    mask.rows = rows;
    const std::size_t pixels = std::min(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows), held);
    for (const OverlayItem& plane : planes) {
        const std::string name = plane_name(plane);
        if (plane.rows == 0 || plane.columns == 0) {
            problems.push_back(name + " is not shown: it gives no Overlay Rows and Columns.");
            continue;
        }
        if (plane.frames && *plane.frames < 1) {
            problems.push_back(name + " is not shown: its Number of Frames in Overlay is " +
                               std::to_string(*plane.frames) + ".");
            continue;
        }
        const bool in_samples = kept_in_samples(plane, bits_allocated, bits_stored);
        if (!plane.data && !in_samples) {
            problems.push_back(name + " is not shown: it has no Overlay Data and its bit " +
                               std::to_string(plane.bit_position) + " is not an unused bit of the pixel data.");
            continue;
        }
        const uint64_t plane_pixels = uint64_t{plane.rows} * plane.columns;
        if (plane.data) {
            const uint64_t needed = plane_pixels * static_cast<uint64_t>(plane.frames.value_or(1));
            const uint64_t bits = uint64_t{plane.data->size()} * 8;
            if (bits < needed) {
                problems.push_back(name + " is not shown: its Overlay Data holds " +
                                   std::to_string(plane.data->size()) + " bytes, " + std::to_string(plane.rows) +
                                   " x " + std::to_string(plane.columns) + " x " +
                                   std::to_string(plane.frames.value_or(1)) + " pixels need " +
                                   std::to_string((needed + 7) / 8) + ".");
                continue;
            }
        } else if (samples == nullptr) {
            continue;
        }
        const int64_t k = plane_frame(plane, frame_number);
        if (k < 0) {
            continue;
        }
        // The image rows and columns the plane covers.
        const int64_t top = int64_t{plane.origin_row} - 1;
        const int64_t left = int64_t{plane.origin_column} - 1;
        const int64_t r0 = std::max<int64_t>(0, -top);
        const int64_t r1 = std::min<int64_t>(plane.rows, int64_t{rows} - top);
        const int64_t c0 = std::max<int64_t>(0, -left);
        const int64_t c1 = std::min<int64_t>(plane.columns, int64_t{columns} - left);
        for (int64_t r = r0; r < r1; ++r) {
            for (int64_t c = c0; c < c1; ++c) {
                const auto at = static_cast<std::size_t>((top + r) * columns + left + c);
                if (at >= pixels) {
                    break;
                }
                bool on = false;
                if (plane.data) {
                    const uint64_t bit =
                        static_cast<uint64_t>(k) * plane_pixels + static_cast<uint64_t>(r * plane.columns + c);
                    on = ((*plane.data)[bit / 8] >> (bit % 8) & 1U) != 0;
                } else {
                    on = (samples->stored_bits(at) >> plane.bit_position & 1U) != 0;
                }
                if (on) {
                    if (mask.pixels.empty()) {
                        mask.pixels.assign(pixels, 0);
                    }
                    mask.pixels[at] = 255;
                }
            }
        }
    }
    return mask;
}
