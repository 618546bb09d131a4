#include "frame_samples.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "image/single.h"

namespace {

// Stored samples per pixel of a frame as laid out in the buffer, in halves
// (YBR_FULL_422 keeps 4 samples for every 2 pixels).
uint64_t half_samples_per_pixel(const single_image& image)
{
    if (image.photometric == PHOTOMETRIC_YBR_FULL_422) {
        return 4;
    }
    return 2 * uint64_t{image.samples_per_pixel};
}

// The size of the frames the buffer holds: the frame's, or its reduced
// resolution's.
uint32_t held_columns(const single_image& image)
{
    return image.reduced_columns != 0 ? image.reduced_columns : image.columns;
}

uint32_t held_rows(const single_image& image) { return image.reduced_rows != 0 ? image.reduced_rows : image.rows; }

uint64_t frame_bits(const single_image& image)
{
    const uint64_t pixels = uint64_t{held_columns(image)} * held_rows(image);
    return pixels * half_samples_per_pixel(image) / 2 * image.bits_allocated;
}

bool readable_width(int bits) { return bits == 1 || bits == 8 || bits == 16 || bits == 32; }

// The colour the picture takes, or nothing for a photometric interpretation
// without one. Colour needs 3 samples per pixel; gray and palette 1.
std::optional<FrameColour> colour_of(const single_image& image)
{
    switch (image.photometric) {
    case PHOTOMETRIC_MONOCHROME2:
        return image.samples_per_pixel == 1 ? std::optional(FrameColour::gray) : std::nullopt;
    case PHOTOMETRIC_MONOCHROME1:
        return image.samples_per_pixel == 1 ? std::optional(FrameColour::inverted) : std::nullopt;
    case PHOTOMETRIC_PALETTE_COLOR:
        return image.samples_per_pixel == 1 && image.bits_allocated != 1 ? std::optional(FrameColour::rgb)
                                                                         : std::nullopt;
    case PHOTOMETRIC_RGB:
    case PHOTOMETRIC_YBR_FULL:
    case PHOTOMETRIC_YBR_FULL_422:
        return image.samples_per_pixel == 3 && image.bits_allocated != 1 ? std::optional(FrameColour::rgb)
                                                                         : std::nullopt;
    default: return std::nullopt;
    }
}

bool displayable_photometric(int32_t photometric)
{
    switch (photometric) {
    case PHOTOMETRIC_MONOCHROME2:
    case PHOTOMETRIC_MONOCHROME1:
    case PHOTOMETRIC_PALETTE_COLOR:
    case PHOTOMETRIC_RGB:
    case PHOTOMETRIC_YBR_FULL:
    case PHOTOMETRIC_YBR_FULL_422: return true;
    default: return false;
    }
}

uint8_t clamp_byte(double v) { return static_cast<uint8_t>(std::clamp(std::floor(v + 0.5), 0.0, 255.0)); }

// Full-range YCbCr to RGB, each result rounded and held to 0 to 255.
Rgb ybr_to_rgb(uint8_t y, uint8_t cb, uint8_t cr)
{
    const double b = cb - 128.0;
    const double r = cr - 128.0;
    return {clamp_byte(y + 1.402 * r), clamp_byte(y - 0.344136 * b - 0.714136 * r), clamp_byte(y + 1.772 * b)};
}

} // namespace

int FrameSamples::frames_held(const single_image& image)
{
    const int frames = std::max(image.frames, 1);
    const uint64_t bits = frame_bits(image);
    if (bits == 0) {
        return 1;
    }
    const uint64_t held = (uint64_t{image.pixel_bytes} * 8 + bits - 1) / bits;
    return static_cast<int>(std::clamp<uint64_t>(held, 1, static_cast<uint64_t>(frames)));
}

std::optional<FrameSamples> FrameSamples::of(const single_image& image, int index, FrameRefusal& refusal)
{
    refusal = FrameRefusal::none;
    if (!displayable_photometric(image.photometric)) {
        refusal = FrameRefusal::not_displayable;
        return std::nullopt;
    }
    const std::optional<FrameColour> colour = colour_of(image);
    if (!colour || image.pixels == nullptr || image.columns == 0 || image.rows == 0 ||
        !readable_width(image.bits_allocated)) {
        refusal = FrameRefusal::no_samples;
        return std::nullopt;
    }
    if (index < 0 || index >= frames_held(image)) {
        refusal = FrameRefusal::past_end;
        return std::nullopt;
    }

    FrameSamples frame;
    frame.image_ = &image;
    frame.columns_ = static_cast<int>(held_columns(image));
    frame.rows_ = static_cast<int>(held_rows(image));
    frame.bits_allocated_ = image.bits_allocated;
    frame.bits_stored_ = image.bits_stored >= 1 && image.bits_stored <= image.bits_allocated
                             ? image.bits_stored
                             : image.bits_allocated;
    frame.is_signed_ = image.pixel_representation == 1;
    frame.photometric_ = image.photometric;
    frame.planar_ = image.planar_configuration == 1;
    frame.colour_ = *colour;

    const uint64_t start_bit = static_cast<uint64_t>(index) * frame_bits(image);
    const uint64_t start_byte = std::min<uint64_t>(start_bit / 8, image.pixel_bytes);
    frame.data_ = image.pixels + start_byte;
    frame.bytes_ = image.pixel_bytes - static_cast<std::size_t>(start_byte);
    frame.first_bit_ = start_bit % 8;

    const uint64_t pixels = uint64_t{held_columns(image)} * held_rows(image);
    const uint64_t buffer_bits = uint64_t{frame.bytes_} * 8;
    const uint64_t held_bits = buffer_bits > frame.first_bit_ ? buffer_bits - frame.first_bit_ : 0;
    const uint64_t pixel_bits = half_samples_per_pixel(image) * image.bits_allocated / 2;
    frame.held_ = static_cast<std::size_t>(std::min(pixels, held_bits / pixel_bits));
    return frame;
}

uint64_t FrameSamples::raw(uint64_t sample) const
{
    const uint64_t bit = first_bit_ + sample * static_cast<uint64_t>(bits_allocated_);
    const uint64_t byte = bit / 8;
    const auto width = static_cast<uint64_t>(std::max(bits_allocated_ / 8, 1));
    if (byte >= bytes_ || bytes_ - byte < width) {
        return 0;
    }
    const uint8_t* at = data_ + byte;
    switch (bits_allocated_) {
    case 1: return (*at >> (bit % 8)) & 1U;
    case 8: return *at;
    case 16: {
        uint16_t v = 0;
        std::memcpy(&v, at, sizeof v);
        return v;
    }
    default: {
        uint32_t v = 0;
        std::memcpy(&v, at, sizeof v);
        return v;
    }
    }
}

int64_t FrameSamples::value(std::size_t pixel) const
{
    const uint64_t v = raw(pixel) & ~ignored_bits_;
    if (!is_signed_) {
        return static_cast<int64_t>(v);
    }
    const uint64_t sign = uint64_t{1} << (bits_stored_ - 1);
    const uint64_t low = v & ((sign << 1) - 1);
    return static_cast<int64_t>(low ^ sign) - static_cast<int64_t>(sign);
}

std::size_t FrameSamples::readable() const
{
    const uint64_t pixels = static_cast<uint64_t>(columns_) * static_cast<uint64_t>(rows_);
    const uint64_t buffer_bits = uint64_t{bytes_} * 8;
    const uint64_t samples =
        buffer_bits > first_bit_ ? (buffer_bits - first_bit_) / static_cast<uint64_t>(bits_allocated_) : 0;
    return static_cast<std::size_t>(std::min(pixels, std::max<uint64_t>(held_, samples)));
}

uint8_t FrameSamples::eight_bit(uint64_t sample) const
{
    const int shift = std::max(bits_stored_ - 8, 0);
    return static_cast<uint8_t>(raw(sample) >> shift);
}

uint8_t FrameSamples::palette_entry(int channel, int64_t index) const
{
    const palette_table& table = image_->palette[channel];
    if (table.data == nullptr) {
        return 0;
    }
    const int64_t entries = table.entries == 0 ? 65536 : table.entries;
    const int64_t position = std::clamp<int64_t>(index - table.first_mapped, 0, entries - 1);
    const auto word_at = [&](int64_t word) -> uint16_t {
        return static_cast<uint64_t>(word + 1) * 2 <= table.data_bytes ? table.data[word] : 0;
    };
    if (table.entry_bits == 16) {
        return static_cast<uint8_t>(word_at(position) >> 8);
    }
    if (table.data_bytes >= static_cast<uint64_t>(entries) * 2) {
        // One 8-bit entry per word, in its low byte or (from some writers) its high one.
        const uint16_t word = word_at(position);
        return static_cast<uint8_t>(word > 255 ? word >> 8 : word);
    }
    // Two 8-bit entries per word, the first in the low byte.
    const uint16_t word = word_at(position / 2);
    return static_cast<uint8_t>(position % 2 == 0 ? word : word >> 8);
}

Rgb FrameSamples::rgb(std::size_t pixel) const
{
    if (photometric_ == PHOTOMETRIC_PALETTE_COLOR) {
        const int64_t index = value(pixel);
        return {palette_entry(0, index), palette_entry(1, index), palette_entry(2, index)};
    }
    if (photometric_ == PHOTOMETRIC_YBR_FULL_422) {
        const uint64_t pair = pixel / 2 * 4;
        return ybr_to_rgb(eight_bit(pair + pixel % 2), eight_bit(pair + 2), eight_bit(pair + 3));
    }
    const uint64_t count = static_cast<uint64_t>(columns_) * static_cast<uint64_t>(rows_);
    const auto sample = [&](uint64_t channel) {
        return eight_bit(planar_ ? channel * count + pixel : pixel * 3 + channel);
    };
    if (photometric_ == PHOTOMETRIC_YBR_FULL) {
        return ybr_to_rgb(sample(0), sample(1), sample(2));
    }
    return {sample(0), sample(1), sample(2)};
}
