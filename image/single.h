// Single-image extraction: walks the open reader stream and produces the one
// image record, native pixel data as stored and encapsulated frames decoded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "reader/dicom.h"

struct palette_table {
    uint16_t entries;
    uint16_t entry_bits;
    uint16_t first_mapped;
    uint16_t* data;
};

struct single_image {
    int32_t photometric;
    int32_t frames;
    uint16_t columns;
    uint16_t rows;
    uint16_t samples_per_pixel;
    uint16_t bits_allocated;
    uint16_t bits_stored;
    uint16_t high_bit;
    uint16_t pixel_representation;
    uint16_t planar_configuration;
    float pixel_spacing;
    float slice_thickness;
    float slice_location;
    palette_table palette[3];
    uint8_t* pixels;
    // Bytes in `pixels` that hold image data (without the 4 trailing zero bytes).
    std::size_t pixel_bytes;
};

extern const char* const photometric_names[8];

single_image* dicom_single();
// Extracts frame `index` (0-based) alone, without decoding the others: the
// record is filled as by dicom_single(), `frames` stays the file's count and
// `pixels` holds that one frame (`pixel_bytes` its size). A frame the file
// does not hold is refused at error level with a message giving the count;
// null then, and the caller calls dicom_single_free() as after every call.
single_image* dicom_single_frame(int32_t index);
// How many threads whole-image extraction decodes frames on (1, the default,
// decodes on the calling thread; 0 means one per core).
void dicom_single_threads(unsigned count);
int64_t dicom_pixel(ELEMENT* element);
void dicom_single_free();
bool in_icon_image_sequence(const ELEMENT* element);
// Decodes one frame; the item's value is the frame's destination, its length
// the compressed size. frame_bytes is the size of the destination slot.
int decompress_frame(single_image* image, ELEMENT* item, std::size_t frame_bytes);
