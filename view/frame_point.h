// A point on a frame, in image pixels: column to the right, row down, (0, 0)
// the frame's top-left corner. The image pixel (c, r) covers [c, c + 1) x
// [r, r + 1), so its centre is (c + 0.5, r + 0.5).
#pragma once

struct FramePoint {
    double column = 0.0;
    double row = 0.0;
};
