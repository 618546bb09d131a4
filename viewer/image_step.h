// The image step of Open: the file through the stream reader and image
// extraction into the 256 x 256 display samples. Qt-free; the window shows
// the message box the result names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "display.h"

struct single_image;

enum class ImageStepResult {
    Shown,
    OpenFailed,     // the reader could not open the file
    LoadFailed,     // no image record, or no samples the viewer can show
    NotMonochrome2, // photometric interpretation other than MONOCHROME2
    OutOfMemory,    // no memory for the working copy
};

// The message box text for a failed image step ("" for Shown).
const char* image_step_message(ImageStepResult result);

// The first frame's samples as signed 16-bit values, as many of its columns x
// rows as the pixel buffer holds (never more, so a header announcing a larger
// image than its pixel data costs no memory): 16-bit samples as stored (host
// order), 8-bit samples widened (signed when Pixel Representation is 1).
// Empty when the record has no pixels or its bits allocated are neither 8
// nor 16. The display counts the samples not held as 0.
std::vector<int16_t> display_source_samples(const single_image& image);

// Opens `path` with the reader, extracts the image and resamples it into
// `samples`. Reader and record are released on every path.
ImageStepResult load_display_image(const char* path, DisplaySamples& samples);
