// The modality stage: stored values to modality values (PS3.3 C.11.1), by
// the first item of the Modality LUT Sequence (0028,3000) when the file has
// a usable one, otherwise by Rescale Slope and Intercept. The stage is split
// in two so that the picture can be resampled between them: the table part
// (the LUT, or nothing) maps each stored value to the sample the picture
// keeps; the linear part (slope and intercept, or the identity after a LUT)
// maps a sample, resampled or not, to its modality value. Resampling
// commutes with the linear part.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "viewer/lookup_table.h"

struct single_image;

// Sample x slope + intercept, in double precision.
struct Modality {
    double slope = 1.0;
    double intercept = 0.0;

    double operator()(double sample) const { return sample * slope + intercept; }
};

class ModalityStage {
public:
    // The stage of an extracted record. A Modality LUT that cannot be read
    // leaves slope and intercept in charge, and `problem` says why.
    static ModalityStage of(const single_image& image, std::string& problem);
    // Slope and intercept alone (non-finite ones count as 1 and 0).
    static ModalityStage rescale(double slope, double intercept);

    // The sample kept for a stored value: the LUT's entry, or the stored
    // value held to the 32-bit range.
    int32_t sample(int64_t stored) const;
    const Modality& linear() const { return linear_; }
    double value(int64_t stored) const { return linear_(sample(stored)); }
    bool has_table() const { return table_.has_value(); }

private:
    std::optional<LookupTable> table_;
    Modality linear_;
};
