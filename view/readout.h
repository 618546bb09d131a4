// The values under the cursor: the image pixel there, its stored value(s),
// its modality value with a unit, where it lies in the patient, the frame, and
// the one line of text the status bar shows of them. Qt-free.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "view/frame_point.h"
#include "view/view_attributes.h"

// One frame's stored samples, as the display pipeline keeps them.
struct StoredFrame {
    int columns = 0;
    int rows = 0;
    int samples_per_pixel = 1; // 1: monochrome; 3: colour, R, G, B
    // Sample `channel` of pixel `pixel` (counted row by row from the top
    // left), signed or not as stored; nullopt when the frame does not hold it.
    std::function<std::optional<int64_t>(std::size_t pixel, int channel)> sample;
};

// A frame held as one span of stored values, the samples of a pixel next to
// each other; pixels past its end are not held. The span's memory must
// outlive the result.
StoredFrame stored_frame(std::span<const int32_t> samples, int columns, int rows, int samples_per_pixel = 1);

// A Modality LUT: the modality value of a stored value.
using ModalityLut = std::function<double(int64_t stored)>;

struct Readout {
    int column = 0;              // the image pixel under the point, from 0 at the left
    int row = 0;                 // from 0 at the top
    std::vector<int64_t> stored; // one value, or R, G, B; empty when the frame does not hold the pixel
    std::optional<double> value; // the modality value (monochrome frames)
    std::string unit;            // the modality value's unit, or empty
    std::optional<std::array<double, 3>> patient; // the pixel centre's patient coordinate, mm
    int frame = 0;                                // 1-based; 0: none to show
};

// The readout at frame point `point`; nullopt outside the frame. The
// modality value goes through `lut` when it is given, else through the
// rescale slope and intercept.
std::optional<Readout> read_out(const StoredFrame& frame, const ViewAttributes& attributes, FramePoint point,
                                int frame_number, const ModalityLut& lut = {});

// The modality value's unit: "HU" for CT; otherwise the Modality LUT Type
// when the LUT is in use, else the Rescale Type; none for "US" (unspecified)
// or when the file gives none.
std::string modality_unit(const ViewAttributes& attributes, bool lut_in_use);

// The patient coordinate (mm) of image pixel (column, row) (indices from 0,
// fractions between pixel centres), by Image Position, Image Orientation and
// Pixel Spacing (row spacing first); nullopt unless all three are present.
std::optional<std::array<double, 3>> patient_position(const ViewAttributes& attributes, double column, double row);

// The words of the status bar's line, in the user's language.
struct ReadoutWords {
    std::string x = "x";
    std::string y = "y";
    std::string stored = "stored";
    std::string value = "value";
    std::string no_value = "no value";
    std::string frame = "frame";
};

// The status bar's line, such as
// "x 120  y 88   stored 1032   1032 HU   (-12.3, 45.6, 78.9) mm   frame 3":
// colour as "stored 12, 34, 56"; a modality value without a unit as
// "value 0.5"; "no value" for a pixel the frame does not hold; the patient
// coordinate and the frame only when known.
std::string readout_text(const Readout& readout, const ReadoutWords& words = {});
