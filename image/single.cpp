// Single-image extraction: collects the elements that describe the image into
// the one `single_image` record and fills its pixel buffer from the first
// pixel data element outside the Icon Image Sequence.
#include "single.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>

#include <string>
#include <vector>

#include "image/codec.h"
#include "image/transfer_syntax_names.h"
#include "jpeg/ljpeg.h"
#include "reader/log.h"
#include "rle.h"

const char* const photometric_names[photometric_name_count] = {
    "MONOCHROME2", "MONOCHROME1",  "PALETTE COLOR",   "RGB",     "HSV",     "ARGB", "CMYK", "UNKNOWN",
    "YBR_FULL",    "YBR_FULL_422", "YBR_PARTIAL_420", "YBR_RCT", "YBR_ICT",
};

namespace {

single_image image_record{};

// The largest encapsulated pixel buffer extraction asks for (4 GiB): a header
// announcing more is answered like a failed allocation.
constexpr uint64_t max_pixel_buffer = uint64_t{1} << 32;
constexpr std::size_t trailing_zeros = 4;
// The most image bytes one byte of encapsulated data can decode to: an RLE
// replicate run gives 128 bytes for 2, lossless JPEG needs at least one bit
// per sample of at most 2 bytes. Frames announcing more than this times the
// bytes left in the file cannot all be held by its fragments.
constexpr uint64_t max_expansion = 64;

void reset_record() { image_record = single_image{}; }

// a x b, or nothing when the product does not fit in 64 bits.
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

// Bytes of native pixel data the header announces: every factor multiplied
// first and divided by 8 once, so 12 allocated bits count as 1.5 bytes.
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

// The loaded value, taken from the element record so that nothing released
// stays reachable from it.
void* take_value(ELEMENT* element)
{
    void* value = element->value;
    element->value = nullptr;
    return value;
}

// The text of the first value: the first component of a split string, or
// the whole block (always followed by zero bytes) for any other VR.
const char* first_text(const ELEMENT* element, const void* value)
{
    if (vr_is_split_string(element->vr)) {
        return static_cast<const char* const*>(value)[0];
    }
    return static_cast<const char*>(value);
}

float decimal(const char* text) { return static_cast<float>(std::strtod(text, nullptr)); }

// Text-to-long kept inside the 32-bit field.
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
        dicom_log(LOG_WARNING, "Unknown PhotometricInterpretation.");
    }
    return found;
}

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
    bits_allocated,
    bits_stored,
    high_bit,
    pixel_representation,
    palette_descriptor,
    palette_data,
};

struct Collected {
    Field field;
    int32_t hint;
};

Collected collected_field(uint16_t group, uint16_t element)
{
    if (group == 0x0018 && element == 0x0050) return {Field::slice_thickness, VR_DS};
    if (group == 0x0020 && element == 0x1041) return {Field::slice_location, VR_DS};
    if (group != 0x0028) return {Field::none, VR_NONE};
    switch (element) {
    case 0x0002: return {Field::samples_per_pixel, VR_US};
    case 0x0004: return {Field::photometric, VR_CS};
    case 0x0006: return {Field::planar_configuration, VR_US};
    case 0x0008: return {Field::frames, VR_IS};
    case 0x0010: return {Field::rows, VR_US};
    case 0x0011: return {Field::columns, VR_US};
    case 0x0030: return {Field::pixel_spacing, VR_DS};
    case 0x0100: return {Field::bits_allocated, VR_US};
    case 0x0101: return {Field::bits_stored, VR_US};
    case 0x0102: return {Field::high_bit, VR_US};
    case 0x0103: return {Field::pixel_representation, VR_US};
    case 0x1101:
    case 0x1102:
    case 0x1103: return {Field::palette_descriptor, VR_US};
    case 0x1201:
    case 0x1202:
    case 0x1203: return {Field::palette_data, VR_US};
    default: return {Field::none, VR_NONE};
    }
}

// Stores the first value of a freshly loaded element in its field. The
// palette data array is taken over; every other value is released.
void store_field(Field field, ELEMENT* element)
{
    single_image& image = image_record;
    if (field == Field::photometric || field == Field::frames) {
        dicom_clean();
    }
    void* value = take_value(element);
    if (value == nullptr) {
        return; // an empty value keeps the field as it was
    }
    if (field == Field::palette_data) {
        palette_table& table = image.palette[element->element - 0x1201];
        std::free(table.data);
        table.data = static_cast<uint16_t*>(value);
        return;
    }
    const char* text = first_text(element, value);
    switch (field) {
    case Field::slice_thickness: image.slice_thickness = decimal(text); break;
    case Field::slice_location: image.slice_location = decimal(text); break;
    case Field::pixel_spacing: image.pixel_spacing = decimal(text); break;
    case Field::frames: image.frames = integer(text); break;
    case Field::photometric: image.photometric = photometric_index(text); break;
    case Field::samples_per_pixel: image.samples_per_pixel = first_us(value); break;
    case Field::planar_configuration: image.planar_configuration = first_us(value); break;
    case Field::rows: image.rows = first_us(value); break;
    case Field::columns: image.columns = first_us(value); break;
    case Field::bits_allocated: image.bits_allocated = first_us(value); break;
    case Field::bits_stored: image.bits_stored = first_us(value); break;
    case Field::high_bit: image.high_bit = first_us(value); break;
    case Field::pixel_representation: image.pixel_representation = first_us(value); break;
    case Field::palette_descriptor:
        if (element->vm == 3) {
            const auto* numbers = static_cast<const uint16_t*>(value);
            palette_table& table = image.palette[element->element - 0x1101];
            table.entries = numbers[0];
            table.first_mapped = numbers[1];
            table.entry_bits = numbers[2];
        } else {
            dicom_log(LOG_WARNING, "Wrong VM for PaletteColorLookupTableDescriptor.");
        }
        break;
    case Field::none:
    case Field::palette_data: break;
    }
    std::free(value);
}

bool is_pixel_data(const ELEMENT* element)
{
    return element->element == 0x0010 && element->group >= 0x7F00 && element->group <= 0x7FFE &&
           element->group % 2 == 0;
}

single_image* fail()
{
    dicom_single_free();
    return nullptr;
}

// Native pixel data: loaded as stored, checked against the header.
single_image* load_native(ELEMENT* element)
{
    single_image& image = image_record;
    // Big-endian OW words hold two 8-bit samples each, the first in the low
    // byte: swapped as words they come out in the order they were written.
    const bool big_endian_pixels = (dicom_state.pixel_syntax & SYNTAX_BIG) != 0;
    if (element->vr == VR_OB && image.bits_allocated == 16) {
        dicom_log(LOG_WARNING, "Incorrect OB value representation (fixed)");
        element->vr = VR_OW;
    } else if (element->vr == VR_OW && image.bits_allocated == 8 && !big_endian_pixels) {
        dicom_log(LOG_WARNING, "Incorrect OW value representation (fixed)");
        element->vr = VR_OB;
    } else if (element->vr == VR_OW && image.bits_allocated == 32) {
        element->vr = VR_OL; // 32-bit samples are put in host order whole
    }
    const int32_t loaded = dicom_pixel(element);
    if (loaded < 0) {
        return fail();
    }
    image.pixel_bytes = static_cast<std::size_t>(loaded);
    const std::optional<uint64_t> expected = expected_native_bytes(image);
    if (!expected || *expected != static_cast<uint64_t>(loaded)) {
        dicom_log(LOG_WARNING, "Incorrect PixelData length");
    }
    return &image;
}

const char* open_transfer_syntax()
{
    return dicom_state.transfer_syntax != nullptr ? dicom_state.transfer_syntax[0] : nullptr;
}

// Whether the stream decoders here read the open file's frames.
bool has_stream_decoder()
{
    return dicom_state.compression == COMPRESSION_JPEG_LOSSLESS || dicom_state.compression == COMPRESSION_RLE;
}

void log_unsupported_syntax()
{
    dicom_log(LOG_ERROR, unsupported_transfer_syntax_message(open_transfer_syntax()).c_str());
}

// Reads the item's bytes (what the file holds of them) and hands them to the
// codec; the record takes the layout the codec wrote.
int decode_in_memory(const frame_codec& codec, single_image& image, const ELEMENT& item, uint8_t* destination,
                     std::size_t frame_bytes)
{
    const int64_t left = std::max<int64_t>(dicom_bytes_left(), 0);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(std::min<int64_t>(item.length, left)));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), dicom_state.reader_stream));
    const frame_format format{image.rows,
                              image.columns,
                              image.samples_per_pixel,
                              image.bits_allocated,
                              image.bits_stored,
                              image.pixel_representation,
                              image.planar_configuration,
                              image.photometric};
    frame_layout layout{image.photometric, image.planar_configuration};
    if (codec.decode(bytes.data(), bytes.size(), format, destination, frame_bytes, layout) != 0) {
        return -4;
    }
    image.photometric = layout.photometric;
    image.planar_configuration = layout.planar_configuration;
    return 0;
}

// Encapsulated pixel data: one item per frame, each decoded into its slot.
single_image* load_encapsulated()
{
    single_image& image = image_record;
    const uint64_t frame_bytes = frame_bytes_of(image);
    const frame_codec* codec = codec_for_transfer_syntax(open_transfer_syntax());
    if (codec == nullptr && !has_stream_decoder()) {
        log_unsupported_syntax();
        return fail();
    }
    const uint64_t expansion = has_stream_decoder() ? max_expansion : codec->max_expansion;

    ELEMENT* item = dicom_element();
    if (item == nullptr) {
        return fail();
    }
    if (item->length != 0) {
        const bool table_fits =
            image.frames >= 0 && uint64_t{item->length} == 4 * static_cast<uint64_t>(image.frames);
        if (!table_fits || dicom_skip() != 0) {
            return fail();
        }
    }

    const std::optional<uint64_t> image_bytes =
        image.frames < 0 ? std::nullopt : product(frame_bytes, static_cast<uint64_t>(image.frames));
    const uint64_t bytes_left = static_cast<uint64_t>(std::max<int64_t>(dicom_bytes_left(), 0));
    if (image_bytes && *image_bytes / expansion > bytes_left) {
        dicom_log(LOG_ERROR, "Encapsulated PixelData too short for the announced frames");
        return fail();
    }
    const bool fits = image_bytes && *image_bytes <= max_pixel_buffer - trailing_zeros;
    void* buffer = fits ? std::calloc(*image_bytes + trailing_zeros, 1) : nullptr;
    if (buffer == nullptr) {
        dicom_log(LOG_ERROR, "Out of memory.");
        return nullptr;
    }
    image.pixels = static_cast<uint8_t*>(buffer);
    image.pixel_bytes = *image_bytes;

    for (int32_t i = 0; i < image.frames; ++i) {
        item = dicom_element();
        if (item == nullptr) {
            break; // the frames not present stay zero
        }
        item->vr = VR_OB;
        item->value = image.pixels + static_cast<uint64_t>(i) * frame_bytes;
        const int result = decompress_frame(&image, item, frame_bytes);
        item->value = nullptr;
        if (result != 0) {
            dicom_log(LOG_ERROR, "Decompression failed");
            return fail();
        }
    }
    return &image;
}

} // namespace

bool in_icon_image_sequence(const ELEMENT* element)
{
    return element->sq_depth != 0 && element->sq_group == 0x0088 && element->sq_element == 0x0200;
}

single_image* dicom_single()
{
    dicom_log(LOG_DEBUG, "dicom_single()");
    reset_record();
    image_record.frames = 1;
    image_record.samples_per_pixel = 1;

    for (;;) {
        ELEMENT* element = dicom_element();
        if (element == nullptr) {
            return fail();
        }
        if (in_icon_image_sequence(element)) {
            if (dicom_skip() != 0) {
                return fail();
            }
            continue;
        }
        const Collected collected = collected_field(element->group, element->element);
        if (collected.field != Field::none) {
            // The record's value may still hold a block that is not ours.
            element->value = nullptr;
            if (dicom_load(collected.hint) != 0) {
                element->value = nullptr;
                return fail();
            }
            store_field(collected.field, element);
            continue;
        }
        if (is_pixel_data(element)) {
            return element->length == UNDEFINED_LENGTH ? load_encapsulated() : load_native(element);
        }
        if (dicom_skip() != 0) {
            return fail();
        }
    }
}

int32_t dicom_pixel(ELEMENT* element)
{
    dicom_log(LOG_DEBUG, "dicom_pixel()");
    if (element->length == UNDEFINED_LENGTH) {
        if (dicom_skip() != 0) {
            return -2;
        }
        dicom_log(LOG_EMERGENCY, "Encapsulated PixelData is not implemented yet");
        return -3;
    }
    single_image& image = image_record;
    const int32_t hint = (image.bits_allocated == 16 || image.bits_allocated == 12) ? VR_OW
                         : image.bits_allocated == 32                               ? VR_OL
                                                                                    : VR_OB;
    // On a big-endian machine 12-bit data is loaded with the byte-order
    // decision inverted.
    const bool invert_order = std::endian::native == std::endian::big && image.bits_allocated == 12;
    element->value = nullptr;
    if (invert_order) {
        dicom_toggle_host_order();
    }
    const int loaded = dicom_load(hint);
    if (invert_order) {
        dicom_toggle_host_order();
    }
    if (loaded != 0) {
        element->value = nullptr;
        return -1;
    }
    std::free(image.pixels);
    image.pixels = static_cast<uint8_t*>(take_value(element));
    return static_cast<int32_t>(element->length);
}

int decompress_frame(single_image* image, ELEMENT* item, std::size_t frame_bytes)
{
    dicom_log(LOG_DEBUG, "decompress_frame()");
    auto* destination = static_cast<uint8_t*>(item->value);
    if (destination == nullptr) {
        frame_bytes = 0;
    }
    switch (dicom_state.compression) {
    case COMPRESSION_JPEG_LOSSLESS:
        return LosslessJpegDecode(dicom_state.reader_stream, destination,
                                  image->samples_per_pixel * image->bits_allocated,
                                  static_cast<int32_t>(item->length), frame_bytes) != 0
                   ? -2
                   : 0;
    case COMPRESSION_RLE:
        return mdc_dicom_decomp_rle(dicom_state.reader_stream, destination, item->length, frame_bytes,
                                    image->bits_allocated % 8 == 0 ? image->bits_allocated / 8U : 0U) != 0
                   ? -1
                   : 0;
    default: {
        const frame_codec* codec = codec_for_transfer_syntax(open_transfer_syntax());
        if (codec == nullptr) {
            log_unsupported_syntax();
            return -3;
        }
        return decode_in_memory(*codec, *image, *item, destination, frame_bytes);
    }
    }
}

void dicom_single_free()
{
    dicom_log(LOG_DEBUG, "dicom_single_free()");
    for (palette_table& table : image_record.palette) {
        std::free(table.data);
        table.data = nullptr;
    }
    std::free(image_record.pixels);
    image_record.pixels = nullptr;
    reset_record();
}
