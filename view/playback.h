// The pace at which the window plays the frames of a multi-frame image.
#pragma once

#include "view/view_attributes.h"

// Milliseconds between frames: the file's Frame Time (0018,1063), else its
// Cine Rate (0018,0040), else its Recommended Display Frame Rate
// (0008,2144), the first of them that is a positive number; else 10 frames
// a second. At least 1 ms, at most a minute.
int frame_interval_ms(const ViewAttributes& attributes);
