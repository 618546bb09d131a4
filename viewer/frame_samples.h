// Reading one frame's samples out of the image record's pixel buffer as the
// file declares them: gray values at their real width and sign, or colour
// pixels converted to 8-bit RGB. Nothing is copied; every read stays inside
// the buffer, and a sample the buffer does not hold reads as 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

struct single_image;

using Rgb = std::array<uint8_t, 3>;

enum class FrameColour {
    gray,     // MONOCHROME2
    inverted, // MONOCHROME1
    rgb,      // RGB, YBR_FULL, YBR_FULL_422, PALETTE COLOR
};

// Why a frame cannot be read.
enum class FrameRefusal {
    none,
    not_displayable, // a photometric interpretation without a picture (HSV, ARGB, CMYK, unknown)
    no_samples,      // no pixels, no size, or a sample layout without a reading
    past_end,        // a frame index past the frames the file holds
    out_of_memory,   // no memory for the frame's samples
};

class FrameSamples {
public:
    // Frame `index` (0-based) of the whole-image record. `refusal` says why
    // there is none.
    static std::optional<FrameSamples> of(const single_image& image, int index, FrameRefusal& refusal);

    // The frames the record holds: Number of Frames, less those that lie
    // wholly past the end of the pixel buffer; at least 1.
    static int frames_held(const single_image& image);

    int columns() const { return columns_; }
    int rows() const { return rows_; }
    FrameColour colour() const { return colour_; }
    // 1-bit samples: 0 black, 1 white, whatever the window.
    bool one_bit() const { return bits_allocated_ == 1; }
    // Pixels of the frame the buffer holds (the rest read as 0).
    std::size_t held() const { return held_; }
    // The pixels from which on every sample of every pixel reads as 0: at
    // least held(), more when a colour frame is cut inside its planes.
    std::size_t readable() const;

    // Gray frames: the stored value of pixel i (row by row), unsigned or
    // sign-extended from Bits Stored as declared, without the bits that
    // ignore_bits() names.
    int64_t value(std::size_t pixel) const;
    // Gray frames: the sample of pixel i as stored, every bit of it (0 when
    // the buffer does not hold it).
    uint64_t stored_bits(std::size_t pixel) const { return raw(pixel); }
    // Leaves `mask` out of every value(): bits that carry an overlay plane.
    void ignore_bits(uint64_t mask) { ignored_bits_ = mask; }
    // Colour frames: pixel i as 8-bit RGB.
    Rgb rgb(std::size_t pixel) const;

private:
    uint64_t raw(uint64_t sample) const; // sample i of the frame, zero-extended
    uint8_t eight_bit(uint64_t sample) const;
    uint8_t palette_entry(int channel, int64_t index) const;

    const single_image* image_ = nullptr;
    const uint8_t* data_ = nullptr; // the buffer's bytes from the frame's first
    std::size_t bytes_ = 0;         // bytes of the buffer from data_ on
    uint64_t first_bit_ = 0;        // 1-bit frames start inside a byte
    int columns_ = 0;
    int rows_ = 0;
    int bits_allocated_ = 0;
    int bits_stored_ = 0;
    bool is_signed_ = false;
    int32_t photometric_ = 0;
    bool planar_ = false;
    FrameColour colour_ = FrameColour::gray;
    std::size_t held_ = 0;
    uint64_t ignored_bits_ = 0;
};
