// A frame's picture at any size: placement and resampling of the frame's
// samples into the output grid (view_samples, done once per view and size),
// then the VOI, presentation and overlay stages on each output pixel
// (render_picture, done again at each change of window, invert or overlays).
// The samples are resampled before the VOI stage, as the picture always was:
// a window change maps the output pixels again and resamples nothing. Qt-free.
#pragma once

#include <cstdint>
#include <vector>

#include "viewer/frame_image.h"
#include "viewer/placement.h"
#include "viewer/voi_stage.h"

// The frame's samples resampled into one output grid.
struct ViewSamples {
    int width = 0;
    int height = 0;
    // The output pixels inside the frame: columns [x0, x1), rows [y0, y1);
    // the rest are bands.
    int x0 = 0;
    int x1 = 0;
    int y0 = 0;
    int y1 = 0;
    std::vector<int32_t> samples; // windowed and fixed pictures, width x height
    std::vector<uint8_t> rgb;     // colour pictures, 3 a pixel
    std::vector<uint8_t> overlay; // 1 where an overlay shows; empty when the frame has none
};

// The samples of `view` in a width x height output. The 256 x 256 output of
// fit_view keeps the picture's own resampling (resample_to_display), so the
// picture at that size is what it has always been; any other output takes
// axis_taps' kernels. Bands hold 0. False when there is no memory for it.
bool view_samples(const FrameImage& frame, const ViewRect& view, int width, int height, ViewSamples& out);

// Whether `view` asks for finer detail than the frame's samples hold: a
// frame held at a reduced resolution shown at more than one output pixel a
// sample along either axis.
bool view_needs_full_frame(const FrameImage& frame, const ViewRect& view);

struct RenderSettings {
    VoiSetting voi;        // for windowed pictures
    bool invert = false;   // the viewer's Invert, on top of what the file asks
    bool overlays = false; // draw the overlay planes (and so write colour)
};

// The colour overlays are drawn in.
constexpr uint8_t overlay_colour[3] = {255, 255, 0};

struct PictureBitmap {
    int width = 0;
    int height = 0;
    int channels = 1;            // 1 gray, 3 R, G, B
    std::vector<uint8_t> pixels; // top row first, rows width x channels bytes
};

// The picture: windowed samples through the VOI stage (a table over the
// samples' range when it is small), fixed ones as they are, colour as it is;
// gray levels inverted as the presentation stage says; overlays drawn over
// everything in overlay_colour. Bands are black. Gray pictures without
// overlays have one channel, the rest three. False when there is no memory
// for it.
bool render_picture(const FrameImage& frame, const ViewSamples& samples, const RenderSettings& settings,
                    PictureBitmap& bitmap);
