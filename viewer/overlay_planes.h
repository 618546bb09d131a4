// The overlay stage's input: every overlay plane of groups 6000-601E that
// applies to one frame, combined into one mask over the frame's pixels.
// A plane's bits come from its Overlay Data (60xx,3000), packed eight a
// byte from the lowest bit, or, in files without it, from a bit of each
// pixel's stored sample above Bits Stored (Overlay Bit Position). Overlay
// Rows and Columns place the plane at Overlay Origin (1-based, row then
// column); a multi-frame plane (Number of Frames in Overlay) covers the
// image frames from Image Frame Origin on, a plane without that number every
// frame. A plane that cannot be read is left out with a message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct OverlayItem;
class FrameSamples;

// The bits of a stored sample that carry overlay planes rather than the
// pixel's value: those of the planes without Overlay Data whose bit lies
// above the stored bits of a sample `bits_allocated` wide.
uint64_t overlay_bits_in_samples(const std::vector<OverlayItem>& planes, int bits_allocated, int bits_stored);

struct OverlayMask {
    int columns = 0;
    int rows = 0;
    // 255 where a plane shows, 0 elsewhere, row by row, for the pixels the
    // frame holds (a frame the file cuts short holds fewer than columns x
    // rows); empty when no plane shows on the frame.
    std::vector<uint8_t> pixels;

    bool empty() const { return pixels.empty(); }
};

// The mask of frame `frame_number` (0-based in the file) of a columns x
// rows image whose first `held` pixels are stored. `samples` gives the
// stored samples for the planes kept in the pixel data (null: such planes
// are left out). Each plane that cannot be read adds a message to
// `problems`.
OverlayMask overlay_mask(const std::vector<OverlayItem>& planes, int columns, int rows, std::size_t held,
                         int frame_number, const FrameSamples* samples, int bits_allocated, int bits_stored,
                         std::vector<std::string>& problems);
