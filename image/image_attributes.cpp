#include "image/image_attributes.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/log.h"

namespace extraction {

std::optional<uint64_t> product(std::optional<uint64_t> a, uint64_t b)
{
    uint64_t result = 0;
    if (!a || __builtin_mul_overflow(*a, b, &result)) {
        return std::nullopt;
    }
    return result;
}

uint64_t frame_bytes_of(const single_image& image)
{
    const uint64_t sample_bytes = (uint64_t{image.samples_per_pixel} * uint64_t{image.bits_allocated}) >> 3;
    return uint64_t{image.columns} * image.rows * sample_bytes; // below 2^62
}

std::optional<uint64_t> expected_native_bytes(const single_image& image)
{
    if (image.frames < 0) {
        return std::nullopt;
    }
    auto bits = product(uint64_t{image.columns}, static_cast<uint64_t>(image.frames));
    bits = product(bits, image.rows);
    bits = product(bits, image.samples_per_pixel);
    bits = product(bits, image.bits_allocated);
    if (!bits) {
        return std::nullopt;
    }
    return *bits >> 3;
}

void* take_value(ELEMENT* element)
{
    void* value = element->value;
    element->value = nullptr;
    return value;
}

const char* first_text(const ELEMENT* element, const void* value)
{
    if (vr_is_split_string(element->vr)) {
        return static_cast<const char* const*>(value)[0];
    }
    return static_cast<const char*>(value);
}

float decimal(const char* text) { return static_cast<float>(std::strtod(text, nullptr)); }

int32_t integer(const char* text)
{
    const long number = std::strtol(text, nullptr, 10);
    return static_cast<int32_t>(std::clamp<long>(number, INT32_MIN, INT32_MAX));
}

uint16_t first_us(const void* value)
{
    uint16_t number = 0;
    std::memcpy(&number, value, sizeof number);
    return number;
}

int32_t photometric_index(const char* text)
{
    // The longest name the text begins with: YBR_FULL_422 is not YBR_FULL.
    int32_t found = PHOTOMETRIC_UNKNOWN;
    std::size_t found_length = 0;
    for (int32_t i = 0; i < photometric_name_count; ++i) {
        const char* name = photometric_names[i];
        const std::size_t length = std::strlen(name);
        if (i != PHOTOMETRIC_UNKNOWN && length > found_length && std::strncmp(text, name, length) == 0) {
            found = i;
            found_length = length;
        }
    }
    if (found_length == 0) {
        dicom_log(LogLevel::warning, "Unknown PhotometricInterpretation.");
    }
    return found;
}

Collected collected_field(uint16_t group, uint16_t element)
{
    if (group == 0x0018 && element == 0x0050) return {Field::slice_thickness, VR_DS};
    if (group == 0x0020 && element == 0x1041) return {Field::slice_location, VR_DS};
    if (group == 0x0018 && element == 0x1164) return {Field::imager_pixel_spacing, VR_DS};
    if (group != 0x0028) return {Field::none, VR_NONE};
    switch (element) {
    case 0x0002: return {Field::samples_per_pixel, VR_US};
    case 0x0004: return {Field::photometric, VR_CS};
    case 0x0006: return {Field::planar_configuration, VR_US};
    case 0x0008: return {Field::frames, VR_IS};
    case 0x0010: return {Field::rows, VR_US};
    case 0x0011: return {Field::columns, VR_US};
    case 0x0030: return {Field::pixel_spacing, VR_DS};
    case 0x0034: return {Field::pixel_aspect_ratio, VR_IS};
    case 0x0100: return {Field::bits_allocated, VR_US};
    case 0x0101: return {Field::bits_stored, VR_US};
    case 0x0102: return {Field::high_bit, VR_US};
    case 0x0103: return {Field::pixel_representation, VR_US};
    case 0x1052: return {Field::rescale_intercept, VR_DS};
    case 0x1053: return {Field::rescale_slope, VR_DS};
    case 0x1101:
    case 0x1102:
    case 0x1103: return {Field::palette_descriptor, VR_US};
    case 0x1201:
    case 0x1202:
    case 0x1203: return {Field::palette_data, VR_US};
    default: return {Field::none, VR_NONE};
    }
}

bool is_pixel_data(const ELEMENT* element)
{
    return element->element == 0x0010 && element->group >= 0x7F00 && element->group <= 0x7FFE &&
           element->group % 2 == 0;
}

frame_format format_of(const single_image& image)
{
    return {image.rows,
            image.columns,
            image.samples_per_pixel,
            image.bits_allocated,
            image.bits_stored,
            image.pixel_representation,
            image.planar_configuration,
            image.photometric};
}

} // namespace extraction
