// Single-image extraction: walks the open reader stream and produces the one
// image record, native pixel data as stored and encapsulated frames decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "image/display_attributes.h"
#include "image/image_failure.h"
#include "reader/dicom.h"

struct palette_table {
    uint16_t entries;
    uint16_t entry_bits;
    uint16_t first_mapped;
    uint16_t* data;
    std::size_t data_bytes; // bytes the loaded data array holds
};

struct single_image {
    int32_t photometric;
    // (0028,0004) as the file gives it, without trailing blanks, at most 16
    // characters; empty when the file gives none.
    char photometric_text[17];
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
    double rescale_slope;     // (0028,1053), 1 when the file gives none
    double rescale_intercept; // (0028,1052), 0 when the file gives none
    // The physical size of a pixel, row spacing (vertical) and column spacing
    // (horizontal), in one unit: from Pixel Spacing (0028,0030), else Imager
    // Pixel Spacing (0018,1164), else Pixel Aspect Ratio (0028,0034); both 0
    // when the file gives no pair of positive values.
    double row_spacing;
    double column_spacing;
    palette_table palette[3];
    // The Modality LUT, windows, VOI LUTs, Presentation LUT Shape and overlay
    // planes, for the display stages.
    DisplayAttributes display;
    uint8_t* pixels;
    // Bytes in `pixels` that hold image data (without the 4 trailing zero bytes).
    std::size_t pixel_bytes;
    // The size of the frame `pixels` holds when it was decoded at a reduced
    // resolution (see ImageSource::reduced_frame); both 0 when it holds the
    // frame's columns x rows.
    uint32_t reduced_columns;
    uint32_t reduced_rows;
    // Then, along each axis, sample k stands for the frame around pixel
    // reduced_step x k + reduced_origin.
    uint32_t reduced_step;
    double reduced_origin;
};

// Indices into photometric_names, the record's `photometric`.
enum : int32_t {
    PHOTOMETRIC_MONOCHROME2 = 0,
    PHOTOMETRIC_MONOCHROME1 = 1,
    PHOTOMETRIC_PALETTE_COLOR = 2,
    PHOTOMETRIC_RGB = 3,
    PHOTOMETRIC_HSV = 4,
    PHOTOMETRIC_ARGB = 5,
    PHOTOMETRIC_CMYK = 6,
    PHOTOMETRIC_UNKNOWN = 7,
    PHOTOMETRIC_YBR_FULL = 8,
    PHOTOMETRIC_YBR_FULL_422 = 9,
    PHOTOMETRIC_YBR_PARTIAL_420 = 10,
    PHOTOMETRIC_YBR_RCT = 11,
    PHOTOMETRIC_YBR_ICT = 12,
};
constexpr int32_t photometric_name_count = 13;

extern const char* const photometric_names[photometric_name_count];

single_image* dicom_single();

// Takes the pixel bytes of whole-image extraction as they are decoded, in
// place of the image's buffer: `size` bytes that belong at byte `offset` of
// the image. Called from the decoding threads, never two calls at once, each
// byte once; false stops the extraction, which then fails.
class pixel_sink {
public:
    virtual bool put(uint64_t offset, const uint8_t* bytes, std::size_t size) = 0;

protected:
    ~pixel_sink() = default;
};
// Extracts every frame as dicom_single() does but hands the pixel bytes to
// `sink` as they are decoded instead of keeping them: the record's `pixels`
// stays null and `pixel_bytes` gives the image's size. Each decoding thread
// (dicom_single_threads) holds one frame at a time; native data goes out
// whole.
single_image* dicom_single_to(pixel_sink& sink);
// Extracts frame `index` (0-based) alone, without decoding the others: the
// record is filled as by dicom_single(), `frames` stays the file's count and
// `pixels` holds that one frame (`pixel_bytes` its size). A frame the file
// does not hold is refused at error level with a message giving the count;
// null then, and the caller calls dicom_single_free() as after every call.
single_image* dicom_single_frame(int32_t index);
// The same three with why a null result failed: the step that failed
// names the failure; `failure` is empty when a record is returned. A null
// result whose failure is empty was stopped by the sink.
single_image* dicom_single(image_failure& failure);
single_image* dicom_single_to(pixel_sink& sink, image_failure& failure);
single_image* dicom_single_frame(int32_t index, image_failure& failure);
// How many threads whole-image extraction decodes frames on (1, the default,
// decodes on the calling thread; 0 means one per core).
void dicom_single_threads(unsigned count);
int64_t dicom_pixel(ELEMENT* element);
void dicom_single_free();
bool in_icon_image_sequence(const ELEMENT* element);
class DicomReader;
class ImageExtraction;

// The smallest size a frame decoded at a reduced resolution must reach,
// given its record (its size and pixel spacing).
struct reduced_size {
    uint32_t columns;
    uint32_t rows;
};
using reduction_rule = std::function<reduced_size(const single_image&)>;

// The image of one file, read through a reader of its own: the header walked
// once up to the pixel data, then every frame at once, every frame to a sink,
// or one frame at a time, each later frame decoded without walking the header
// again. Sources share nothing: each thread can read its own file.
class ImageSource {
public:
    ImageSource();
    ~ImageSource();
    ImageSource(const ImageSource&) = delete;
    ImageSource& operator=(const ImageSource&) = delete;

    // Opens the file; no failure, or why it cannot be read.
    image_failure open(const std::string& path);
    // Reads the file `path` through `stream`, which the source takes over:
    // a file someone else opened and checked, read from its first byte, or
    // a deflated file's inflated view (`inflated_view`).
    image_failure open(std::FILE* stream, bool inflated_view, const std::string& path);
    // Every frame in one buffer; null when it fails (failure() says why).
    const single_image* image();
    // Every frame handed to `sink` as it is decoded; the record's pixels stay
    // null.
    const single_image* image_to(pixel_sink& sink);
    // Frame `index` (0-based) alone: the record with that frame's pixels,
    // valid until the next call; null when it fails.
    const single_image* frame(int32_t index);
    // Frame `index` as frame() gives it, but decoded at the lowest resolution
    // its codec offers that still reaches the size `wanted` gives for the
    // record: the record's reduced_columns and reduced_rows give the size
    // `pixels` holds then. A frame whose codec has no reduced resolutions,
    // native data, and a frame with overlay planes (which speak of the
    // frame's pixels) come whole.
    const single_image* reduced_frame(int32_t index, const reduction_rule& wanted);
    const image_failure& failure() const;
    // Threads of whole-image extraction (1, the default; 0: one per core).
    void set_threads(unsigned count);

private:
    // Makes the reader stand before the first element again.
    bool rewind();

    std::string path_;
    std::unique_ptr<DicomReader> reader_;
    std::unique_ptr<ImageExtraction> extraction_;
    bool walked_ = false; // a frame was extracted and its walk is known
    bool fresh_ = false;  // the reader stands where open() left it
};
