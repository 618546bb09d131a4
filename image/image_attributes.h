// What single-image extraction reads from the elements that describe an
// image: which elements it collects and how their values become the record's
// fields, and the sizes the record announces. Used by image/single.cpp.
#pragma once

#include <cstdint>
#include <optional>

#include "image/codec.h"
#include "image/single.h"
#include "reader/dicom.h"

namespace extraction {

// How a collected element is loaded and where its first value goes.
enum class Field {
    none,
    slice_thickness,
    slice_location,
    samples_per_pixel,
    photometric,
    planar_configuration,
    frames,
    rows,
    columns,
    pixel_spacing,
    imager_pixel_spacing,
    pixel_aspect_ratio,
    bits_allocated,
    bits_stored,
    high_bit,
    pixel_representation,
    palette_descriptor,
    palette_data,
    rescale_intercept,
    rescale_slope,
};

struct Collected {
    Field field;
    int32_t hint;
};

// a x b, or nothing when the product does not fit in 64 bits.
std::optional<uint64_t> product(std::optional<uint64_t> a, uint64_t b);

uint64_t frame_bytes_of(const single_image& image);

// Bytes of native pixel data the header announces: every factor multiplied
// first and divided by 8 once, so 12 allocated bits count as 1.5 bytes.
std::optional<uint64_t> expected_native_bytes(const single_image& image);

// The loaded value, taken from the element record so that nothing released
// stays reachable from it.
void* take_value(ELEMENT* element);

// The text of the first value: the first component of a split string, or
// the whole block (always followed by zero bytes) for any other VR.
const char* first_text(const ELEMENT* element, const void* value);

float decimal(const char* text);

// Text-to-long kept inside the 32-bit field.
int32_t integer(const char* text);

uint16_t first_us(const void* value);

int32_t photometric_index(const char* text);

Collected collected_field(uint16_t group, uint16_t element);

bool is_pixel_data(const ELEMENT* element);

frame_format format_of(const single_image& image);

} // namespace extraction
