// Resampling a frame's samples into an output grid. Two kernels:
// - the 256 x 256 picture's bilinear resampling, with the first and last
//   samples of each axis on the first and last output pixels, kept exactly
//   as it has always been (resample_to_display);
// - for any other view, separable taps chosen per axis by its scale: the
//   area average of the frame pixels an output pixel covers when shrinking,
//   bilinear between pixel centres when enlarging up to 4 x, and the
//   nearest pixel above 4 x, so that pixels can be told apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Source sample i (row by row) of the image being resampled.
using SampleAt = std::function<double(std::size_t)>;

// Resamples sw x sh source samples into dw x dh destination samples, the
// destination rows `stride` samples apart. Every destination row and column
// is written; the second source row and column are held to the last ones.
// Results are rounded half up toward zero and held to the 32-bit range.
void resample_to_display(const SampleAt& sample, int sw, int sh, int32_t* destination, int dw, int dh,
                         std::size_t stride);
// The same for a source that holds only its first `held` samples: the
// samples after them count as 0. The destination rows are dw apart.
void resample_to_display(const int32_t* source, std::size_t held, int sw, int sh, int32_t* destination, int dw,
                         int dh);

// The samples of a frame held at a reduced resolution: `columns` x `rows`,
// along each axis sample k standing for frame pixel step x k + origin.
struct HeldGrid {
    int columns = 0;
    int rows = 0;
    double step = 1;
    double origin = 0;
};
// resample_to_display for a sw x sh frame held at a reduced resolution:
// each frame pixel it would read is read from the held samples by bilinear
// interpolation between the samples around it, so that the picture keeps
// the whole frame's geometry.
void resample_held_to_display(const SampleAt& sample, const HeldGrid& held, int sw, int sh, int32_t* destination,
                              int dw, int dh, std::size_t stride);

// One axis of a view: the output pixels [begin, end) whose centre lies in
// the source, and for each of them the source pixels it takes and their
// weights (summing to 1).
struct AxisTaps {
    int begin = 0;
    int end = 0;
    std::vector<uint32_t> first; // per output pixel from begin: its first entry in source and weight
    std::vector<int32_t> source;
    std::vector<float> weight;
    // The lowest and highest source pixel taken (source_end exclusive).
    int32_t source_begin = 0;
    int32_t source_end = 0;
};

// The taps of an axis of `outputs` pixels over `sources` source pixels,
// output pixel x centred on source position origin + (x + 0.5) / scale.
AxisTaps axis_taps(double origin, double scale, int outputs, int sources);

// A plane of `channels` interleaved channels, `columns` pixels a row, row by
// row, of which the first `held` pixels are stored: every pixel after them
// is `missing` (`channels` values).
template <typename T>
struct Plane {
    const T* pixels = nullptr;
    std::size_t held = 0;
    int columns = 0;
    int channels = 1;
    const T* missing = nullptr;
};

// Resamples the plane into the output pixels the taps cover (rows `width`
// pixels apart, channels interleaved); the others are left as they are.
// Results are rounded to the nearest integer and held to the output type's
// range. `wide`: samples reach beyond 2^24 in magnitude, and are summed in
// double precision.
void resample_plane(const Plane<int32_t>& plane, const AxisTaps& across, const AxisTaps& down, int32_t* output,
                    int width, bool wide);
void resample_plane(const Plane<uint8_t>& plane, const AxisTaps& across, const AxisTaps& down, uint8_t* output,
                    int width);
