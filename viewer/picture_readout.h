// The values under the cursor for the frame the display keeps: its stored
// values (the samples, or the stored values a Modality LUT mapped), its
// modality values as the display's modality stage gives them. A frame held
// at a reduced resolution answers for the frame's pixel from the sample that
// covers it. Qt-free.
#pragma once

#include <optional>

#include "view/readout.h"
#include "viewer/frame_image.h"

// The readout at frame point `point` (in the frame's pixels); nothing outside
// the frame. `frame_number` is 1-based, 0 for a file of one frame.
std::optional<Readout> picture_readout(const FrameImage& frame, const ViewAttributes& attributes, FramePoint point,
                                       int frame_number);
