// Single-image extraction: collects the elements that describe the image into
// the one `single_image` record and fills its pixel buffer from the first
// pixel data element outside the Icon Image Sequence.
#include "single.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "base/log.h"
#include "codec.h"
#include "frame_index.h"
#include "jpeg/ljpeg.h"
#include "reader/dicom_reader.h"
#include "reader/transfer_syntax.h"
#include "rle.h"

const char* const photometric_names[photometric_name_count] = {
    "MONOCHROME2", "MONOCHROME1",  "PALETTE COLOR",   "RGB",     "HSV",     "ARGB", "CMYK", "UNKNOWN",
    "YBR_FULL",    "YBR_FULL_422", "YBR_PARTIAL_420", "YBR_RCT", "YBR_ICT",
};

namespace {
// The largest encapsulated pixel buffer extraction asks for (4 GiB): a header
// announcing more is answered like a failed allocation.
constexpr uint64_t max_pixel_buffer = uint64_t{1} << 32;
constexpr std::size_t trailing_zeros = 4;

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
        dicom_log(LogLevel::warning, "Unknown PhotometricInterpretation.");
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

// Allocates `bytes` of pixel buffer, the last 4 of them zero. Large buffers
// are 2 MiB aligned and asked for on huge pages, which spares the kernel
// most of its page faults; nothing else is zero-filled here.
constexpr uint64_t huge_page = uint64_t{2} << 20;

// `bytes` of memory, not zero-filled; on huge pages from 2 MiB on.
void* allocate_large(uint64_t bytes)
{
    void* buffer = nullptr;
    if (bytes >= huge_page) {
        const uint64_t rounded = (bytes + huge_page - 1) / huge_page * huge_page;
        buffer = std::aligned_alloc(huge_page, rounded);
        if (buffer != nullptr) {
            madvise(buffer, rounded, MADV_HUGEPAGE);
        }
    } else {
        buffer = std::malloc(bytes);
    }
    return buffer;
}

uint8_t* allocate_pixels(uint64_t bytes)
{
    void* buffer = allocate_large(bytes);
    if (buffer != nullptr) {
        std::memset(static_cast<uint8_t*>(buffer) + bytes - trailing_zeros, 0, trailing_zeros);
    }
    return static_cast<uint8_t*>(buffer);
}

// The bytes of one frame, compressed or decoded: grown as needed, never
// zero-filled.
class frame_bytes_buffer {
public:
    frame_bytes_buffer() = default;
    frame_bytes_buffer(const frame_bytes_buffer&) = delete;
    frame_bytes_buffer& operator=(const frame_bytes_buffer&) = delete;
    ~frame_bytes_buffer() { std::free(data_); }

    bool resize(uint64_t size)
    {
        if (size > capacity_) {
            std::free(data_);
            data_ = static_cast<uint8_t*>(allocate_large(std::max<uint64_t>(size, 1)));
            capacity_ = data_ != nullptr ? size : 0;
        }
        size_ = data_ != nullptr ? static_cast<std::size_t>(size) : 0;
        return data_ != nullptr;
    }
    uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    uint64_t capacity_ = 0;
};

// Reads a frame's fragments back to back into `data`, one positioned read
// each. No failure, or why the read failed (logged).
image_failure read_fragments(int descriptor, const std::vector<fragment_span>& fragments, frame_bytes_buffer& data,
                             uint64_t limit = UINT64_MAX)
{
    uint64_t total = 0;
    for (const fragment_span& fragment : fragments) {
        total += fragment.length;
    }
    total = std::min(total, limit);
    if (!data.resize(total)) {
        dicom_log(LogLevel::error, "Out of memory.");
        return image_failures::out_of_memory();
    }
    std::size_t at = 0;
    for (const fragment_span& fragment : fragments) {
        const std::size_t length = static_cast<std::size_t>(std::min<uint64_t>(fragment.length, total - at));
        std::size_t done = 0;
        while (done < length) {
            const ssize_t got = ::pread(descriptor, data.data() + at + done, length - done,
                                        static_cast<off_t>(fragment.position + done));
            if (got <= 0) {
                const int error = got < 0 ? errno : EIO;
                dicom_log(LogLevel::error, "Error while reading file");
                return image_failures::unreadable(error);
            }
            done += static_cast<std::size_t>(got);
        }
        at += length;
    }
    return {};
}

// Whether the decoder writes every byte of the slot: a codec whose data
// announces no size always does, the others when the codestream announces
// exactly the frame the data set describes.
bool fills_the_slot(const frame_codec& codec, const frame_bytes_buffer& data, const frame_format& format)
{
    codestream_header header{};
    return codec.read_header == nullptr ||
           (codec.read_header(data.data(), data.size(), header) && header.rows == format.rows &&
            header.columns == format.columns && header.components == format.samples_per_pixel);
}

// Hands bytes to the output sink, one thread at a time.
class sink_gate {
public:
    explicit sink_gate(pixel_sink* sink) : sink_(sink) {}
    bool put(uint64_t offset, const uint8_t* bytes, std::size_t size)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return sink_->put(offset, bytes, size);
    }

private:
    pixel_sink* sink_;
    std::mutex mutex_;
};

// How one frame is decoded: its fragments read into memory and handed to the
// codec of the transfer syntax.
struct frame_decoder {
    const frame_codec* codec;
    frame_format format;
    int descriptor;
    uint64_t frame_bytes;

    // Frame `number` into `slot`: no failure, or why it failed (logged).
    image_failure decode(int64_t number, const std::vector<fragment_span>& fragments, uint8_t* slot,
                         frame_bytes_buffer& scratch, frame_layout& layout) const
    {
        if (image_failure failed = read_fragments(descriptor, fragments, scratch)) {
            return failed;
        }
        if (!fills_the_slot(*codec, scratch, format)) {
            std::memset(slot, 0, frame_bytes); // the decoder may leave part of the slot
        }
        layout = {format.photometric, format.planar_configuration};
        if (codec->decode(scratch.data(), scratch.size(), format, slot, frame_bytes, layout) != 0) {
            return image_failures::codestream_broken(codec->name, number);
        }
        return {};
    }

    // The frame handed to the sink at `offset` in bands of rows by a codec
    // that has them, zeros after a codestream frame smaller than the data
    // set's. No failure, or why it failed (logged; not when the sink refused:
    // `refused`).
    image_failure decode_in_bands(int64_t number, const std::vector<fragment_span>& fragments,
                                  frame_bytes_buffer& scratch, frame_layout& layout, sink_gate& gate,
                                  uint64_t offset, bool& refused) const
    {
        if (image_failure failed = read_fragments(descriptor, fragments, scratch)) {
            return failed;
        }
        struct target {
            sink_gate& gate;
            uint64_t offset;
            uint64_t handed;
            uint64_t frame_bytes;
            bool refused;
        } bands_to{gate, offset, 0, frame_bytes, false};
        const band_sink bands{[](void* context, const uint8_t* rows, std::size_t size) {
                                  auto& to = *static_cast<target*>(context);
                                  if (size > to.frame_bytes - to.handed) {
                                      return false; // never past the frame
                                  }
                                  to.refused = !to.gate.put(to.offset + to.handed, rows, size);
                                  to.handed += size;
                                  return !to.refused;
                              },
                              &bands_to};
        layout = {format.photometric, format.planar_configuration};
        const int status =
            codec->decode_bands(scratch.data(), scratch.size(), format, frame_bytes, bands, layout) == 0 ? 0 : -1;
        static constexpr uint8_t zeros[4096] = {};
        while (status == 0 && !bands_to.refused && bands_to.handed < frame_bytes) {
            const std::size_t size = std::min<uint64_t>(sizeof zeros, frame_bytes - bands_to.handed);
            bands.take(&bands_to, zeros, size);
        }
        refused = bands_to.refused;
        if (status != 0 && !refused) {
            return image_failures::codestream_broken(codec->name, number);
        }
        return {};
    }
};

// The Extended Offset Table, collected on the way to the pixel data.
struct extended_table {
    std::vector<uint64_t> offsets;
    std::vector<uint64_t> lengths;
};
std::vector<uint64_t> take_very_long_values(ELEMENT* element)
{
    void* value = take_value(element);
    std::vector<uint64_t> numbers(value != nullptr ? element->length / 8 : 0);
    if (!numbers.empty()) {
        std::memcpy(numbers.data(), value, numbers.size() * 8);
    }
    std::free(value);
    return numbers;
}

bool is_extended_table(const ELEMENT* element)
{
    return element->group == 0x7FE0 && (element->element == 0x0001 || element->element == 0x0002) &&
           element->sq_depth == 0 && element->length != UNDEFINED_LENGTH;
}

void apply_layout(single_image& image, const frame_layout& layout)
{
    image.photometric = layout.photometric;
    image.planar_configuration = layout.planar_configuration;
}

// The codec of the open file and where its frames lie.
struct encapsulated_frames {
    frame_decoder decoder;
    frame_index index;
};

} // namespace

// The state of one extraction: the reader it walks, the record it fills, why
// it failed, where the pixels go, and what the walk found of the pixel data,
// kept so that a later frame is decoded without walking the header again.
class ImageExtraction {
public:
    explicit ImageExtraction(DicomReader& reader) : reader_(reader) {}
    ~ImageExtraction() { release(); }
    ImageExtraction(const ImageExtraction&) = delete;
    ImageExtraction& operator=(const ImageExtraction&) = delete;

    // Every frame (`wanted` < 0) or frame `wanted`, walking from the reader's
    // position.
    single_image* extract(int32_t wanted);
    // Frame `wanted` from what an earlier successful extract() of a frame
    // found; null (and everything released) on failure.
    single_image* extract_known_frame(int32_t wanted);
    // Whether extract_known_frame() can be used.
    bool knows_pixel_data() const { return known_frames_.has_value() || known_native_.has_value(); }
    single_image* extract_to(pixel_sink& sink)
    {
        sink_ = &sink;
        single_image* image = extract(-1);
        sink_ = nullptr;
        return image;
    }
    // Releases the record's buffers, clears it and forgets the pixel data.
    void release();
    int64_t load_pixel(ELEMENT* element);

    single_image& record() { return record_; }
    const image_failure& failure() const { return failure_; }
    void set_failure(image_failure failure) { failure_ = std::move(failure); }
    void set_threads(unsigned count) { threads_ = count; }

private:
    void reset_record();
    // The pair of the first two values of a split string as a pixel's size, when
    // both are positive numbers; `rank` orders the attributes that give it.
    void store_spacing(const ELEMENT* element, const void* value, int rank);
    // Stores the first value of a freshly loaded element in its field. The
    // palette data array is taken over; every other value is released.
    void store_field(Field field, ELEMENT* element);
    single_image* fail();
    // Fails with `failure` as the reason.
    single_image* fail(image_failure failure);
    // Fails with `failure` logged at error level as the reason.
    single_image* fail_logged(image_failure failure);
    // The reason the reader stopped, for a failure the reader met: its recorded
    // failure, or `otherwise` when it recorded none.
    image_failure reader_failure(image_failure otherwise);
    single_image* fail_reader(image_failure otherwise = image_failures::data_set_broken());
    // The reason a pixel data value failed to load.
    single_image* fail_pixel_value();
    // The VR decides whether the load converts 16-bit words to host order.
    void fix_native_vr(ELEMENT* element);
    // Loads `element->length` bytes of native pixel data from the stream's
    // position into `pixels`: the length, or -1 when the load failed.
    int64_t load_pixel_value(ELEMENT* element);
    // Native pixel data: loaded as stored, checked against the header.
    single_image* load_native(ELEMENT* element);
    // The UID of the open file's transfer syntax, or null.
    const char* open_transfer_syntax();
    void log_unsupported_syntax();
    // Reads the first item (the Basic Offset Table) and sets up the frame index
    // of the items that follow it. Nothing on failure (the reason recorded).
    std::optional<frame_index> index_the_fragments(single_image& image);
    // Refuses frames no decoder could make from what is left of the file.
    bool announced_bytes_fit(uint64_t bytes, const frame_codec& codec);
    // The codestream of frame `number` (the first one for the whole image) must
    // announce the data set's frame before any frame is allocated.
    bool frame_header_matches(frame_index& index, const frame_decoder& decoder, int32_t number);
    // Decodes the frames whose fragments are planned, on `threads` threads
    // taking frames in turn: each into its slot of the image, or, with an output
    // sink, into the thread's own frame buffer and from there to the sink. False
    // when one failed (logged and recorded, unless the sink refused). `first`
    // numbers the plan's first frame.
    bool decode_planned(single_image& image, const frame_decoder& decoder,
                        const std::vector<std::vector<fragment_span>>& plan, unsigned threads, int64_t first = 0);
    // Nothing, after logging why, when no codec reads the syntax or the
    // fragments cannot be listed.
    std::optional<encapsulated_frames> open_encapsulated_frames(single_image& image);
    // The fragments of each frame the item list holds; the frames after them
    // (cut off with the file) are all missing the same way. Nothing, after
    // logging why, when the items cannot be listed or end early.
    std::optional<std::vector<std::vector<fragment_span>>> plan_frames(const single_image& image,
                                                                       frame_index& index);
    unsigned threads_for(std::size_t frames);
    // Every frame to the output sink, and zeros for the frames cut off.
    single_image* stream_encapsulated(single_image& image, const frame_decoder& decoder, frame_index& index,
                                      uint64_t image_bytes);
    // Every frame, each decoded into its slot of one buffer.
    single_image* load_encapsulated();
    // One frame alone, in a buffer of one frame.
    single_image* load_encapsulated_frame(int32_t wanted);
    // Native pixel data, one frame: only that frame's bytes are read.
    single_image* load_native_frame(ELEMENT* element, int32_t wanted);

    DicomReader& reader_;
    single_image record_{};
    // Why the last extraction failed.
    image_failure failure_{};
    // Where whole-image extraction hands its pixel bytes, when it keeps none.
    pixel_sink* sink_ = nullptr;
    // Which attribute gave the record's pixel spacing pair: a later one of a
    // higher rank takes over.
    int spacing_rank_ = 0;
    // How many threads whole-image extraction decodes frames on (0: one per core).
    unsigned threads_ = 1;
    // The Extended Offset Table, collected on the way to the pixel data.
    extended_table extended_{};
    // What the walk of a one-frame extraction found of the pixel data.
    std::optional<encapsulated_frames> known_frames_;
    struct native_value {
        ELEMENT element;
        uint64_t value_start;
    };
    std::optional<native_value> known_native_;
};

void ImageExtraction::reset_record() { record_ = single_image{}; }

void ImageExtraction::store_spacing(const ELEMENT* element, const void* value, int rank)
{
    if (!vr_is_split_string(element->vr) || element->vm < 2 || rank < spacing_rank_) {
        return;
    }
    const auto* texts = static_cast<const char* const*>(value);
    const double vertical = std::strtod(texts[0], nullptr);
    const double horizontal = std::strtod(texts[1], nullptr);
    if (!(vertical > 0 && horizontal > 0 && vertical < 1e30 && horizontal < 1e30)) {
        return;
    }
    record_.row_spacing = vertical;
    record_.column_spacing = horizontal;
    spacing_rank_ = rank;
}

void ImageExtraction::store_field(Field field, ELEMENT* element)
{
    single_image& image = record_;
    if (field == Field::photometric || field == Field::frames) {
        reader_.clean();
    }
    void* value = take_value(element);
    if (value == nullptr) {
        return; // an empty value keeps the field as it was
    }
    if (field == Field::palette_data) {
        palette_table& table = image.palette[element->element - 0x1201];
        std::free(table.data);
        table.data = static_cast<uint16_t*>(value);
        table.data_bytes = element->length;
        return;
    }
    const char* text = first_text(element, value);
    switch (field) {
    case Field::slice_thickness: image.slice_thickness = decimal(text); break;
    case Field::slice_location: image.slice_location = decimal(text); break;
    case Field::pixel_spacing:
        image.pixel_spacing = decimal(text);
        store_spacing(element, value, 3);
        break;
    case Field::imager_pixel_spacing: store_spacing(element, value, 2); break;
    case Field::pixel_aspect_ratio: store_spacing(element, value, 1); break;
    case Field::rescale_intercept: image.rescale_intercept = std::strtod(text, nullptr); break;
    case Field::rescale_slope: image.rescale_slope = std::strtod(text, nullptr); break;
    case Field::frames: image.frames = integer(text); break;
    case Field::photometric: {
        image.photometric = photometric_index(text);
        std::size_t length = std::min<std::size_t>(std::strlen(text), sizeof image.photometric_text - 1);
        while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\0')) {
            --length;
        }
        std::memcpy(image.photometric_text, text, length);
        image.photometric_text[length] = '\0';
        break;
    }
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
            dicom_log(LogLevel::warning, "Wrong VM for PaletteColorLookupTableDescriptor.");
        }
        break;
    case Field::none:
    case Field::palette_data: break;
    }
    std::free(value);
}

single_image* ImageExtraction::fail()
{
    dicom_log(LogLevel::debug, "dicom_single_free()");
    release();
    return nullptr;
}

single_image* ImageExtraction::fail(image_failure failure)
{
    failure_ = std::move(failure);
    return fail();
}

single_image* ImageExtraction::fail_logged(image_failure failure)
{
    dicom_log(LogLevel::error, failure.message.c_str());
    return fail(std::move(failure));
}

image_failure ImageExtraction::reader_failure(image_failure otherwise)
{
    switch (reader_.state().failure) {
    case -1: return image_failures::unreadable(errno != 0 ? errno : EIO);
    case -2: return image_failures::data_set_broken();
    case -3: return image_failures::out_of_memory();
    default: return otherwise;
    }
}

single_image* ImageExtraction::fail_reader(image_failure otherwise)
{
    return fail(reader_failure(std::move(otherwise)));
}

single_image* ImageExtraction::fail_pixel_value()
{
    return fail(reader_.state().failure == -2 ? image_failures::pixel_data_cut()
                                              : reader_failure(image_failures::data_set_broken()));
}

void ImageExtraction::fix_native_vr(ELEMENT* element)
{
    const single_image& image = record_;
    // Big-endian OW words hold two 8-bit samples each, the first in the low
    // byte: swapped as words they come out in the order they were written.
    const bool big_endian_pixels = (reader_.state().pixel_syntax & SYNTAX_BIG) != 0;
    if (element->vr == VR_OB && image.bits_allocated == 16) {
        dicom_log(LogLevel::warning, "Incorrect OB value representation (fixed)");
        element->vr = VR_OW;
    } else if (element->vr == VR_OW && image.bits_allocated == 8 && !big_endian_pixels) {
        dicom_log(LogLevel::warning, "Incorrect OW value representation (fixed)");
        element->vr = VR_OB;
    } else if (element->vr == VR_OW && image.bits_allocated == 32) {
        element->vr = VR_OL; // 32-bit samples are put in host order whole
    }
}

int64_t ImageExtraction::load_pixel_value(ELEMENT* element)
{
    single_image& image = record_;
    const int32_t hint = (image.bits_allocated == 16 || image.bits_allocated == 12) ? VR_OW
                         : image.bits_allocated == 32                               ? VR_OL
                                                                                    : VR_OB;
    // On a big-endian machine 12-bit data is loaded with the byte-order
    // decision inverted.
    const bool invert_order = std::endian::native == std::endian::big && image.bits_allocated == 12;
    element->value = nullptr;
    if (invert_order) {
        reader_.toggle_host_order();
    }
    const int loaded = reader_.load(hint);
    if (invert_order) {
        reader_.toggle_host_order();
    }
    if (loaded != 0) {
        element->value = nullptr;
        return -1;
    }
    std::free(image.pixels);
    image.pixels = static_cast<uint8_t*>(take_value(element));
    return static_cast<int64_t>(element->length);
}

single_image* ImageExtraction::load_native(ELEMENT* element)
{
    single_image& image = record_;
    fix_native_vr(element);
    const int64_t loaded = load_pixel(element);
    if (loaded < 0) {
        return fail_pixel_value();
    }
    image.pixel_bytes = static_cast<std::size_t>(loaded);
    const std::optional<uint64_t> expected = expected_native_bytes(image);
    if (!expected || *expected != static_cast<uint64_t>(loaded)) {
        dicom_log(LogLevel::warning, "Incorrect PixelData length");
    }
    if (sink_ != nullptr) {
        const bool taken = image.pixel_bytes == 0 || sink_->put(0, image.pixels, image.pixel_bytes);
        std::free(image.pixels);
        image.pixels = nullptr;
        if (!taken) {
            return fail();
        }
    }
    return &image;
}

const char* ImageExtraction::open_transfer_syntax()
{
    return reader_.state().transfer_syntax != nullptr ? reader_.state().transfer_syntax[0] : nullptr;
}

void ImageExtraction::log_unsupported_syntax()
{
    dicom_log(LogLevel::error, unsupported_transfer_syntax_message(open_transfer_syntax()).c_str());
}

std::optional<frame_index> ImageExtraction::index_the_fragments(single_image& image)
{
    ELEMENT* item = reader_.element();
    if (item == nullptr) {
        failure_ = reader_failure(image_failures::pixel_data_cut());
        return std::nullopt;
    }
    std::vector<uint32_t> basic;
    if (item->length != 0) {
        const bool table_fits =
            image.frames >= 0 && uint64_t{item->length} == 4 * static_cast<uint64_t>(image.frames);
        item->value = nullptr;
        if (!table_fits || reader_.load(VR_OB) != 0) {
            item->value = nullptr;
            failure_ = table_fits ? reader_failure(image_failures::pixel_data_cut())
                                  : image_failures::pixel_data_broken(
                                        "The Basic Offset Table does not hold one entry per frame");
            return std::nullopt;
        }
        auto* bytes = static_cast<uint8_t*>(take_value(item));
        basic.resize(item->length / 4);
        for (std::size_t i = 0; i < basic.size(); ++i) {
            const uint8_t* entry = bytes + 4 * i;
            basic[i] =
                uint32_t{entry[0]} | uint32_t{entry[1]} << 8 | uint32_t{entry[2]} << 16 | uint32_t{entry[3]} << 24;
        }
        std::free(bytes);
    }
    const auto first_item = static_cast<uint64_t>(ftello(reader_.state().reader_stream));
    const fragment_rule rule = reader_.state().compression == COMPRESSION_RLE ? fragment_rule::one_per_frame
                                                                              : fragment_rule::start_marker;
    frame_index index(fileno(reader_.state().reader_stream), static_cast<uint64_t>(reader_.state().file_size),
                      first_item, image.frames, rule);
    if (!extended_.offsets.empty()) {
        if (extended_.offsets.size() == static_cast<std::size_t>(image.frames) &&
            extended_.lengths.size() == extended_.offsets.size()) {
            index.use_extended_table(std::move(extended_.offsets), std::move(extended_.lengths));
        } else {
            dicom_log(LogLevel::warning, "Extended Offset Table does not hold one entry per frame (ignored)");
        }
    }
    if (!basic.empty()) {
        index.use_basic_table(std::move(basic));
    }
    return index;
}

bool ImageExtraction::announced_bytes_fit(uint64_t bytes, const frame_codec& codec)
{
    const uint64_t expansion = codec.max_expansion;
    const uint64_t bytes_left = static_cast<uint64_t>(std::max<int64_t>(reader_.bytes_left(), 0));
    if (expansion != 0 && bytes / expansion > bytes_left) {
        failure_ = image_failures::size_past_data();
        dicom_log(LogLevel::error, failure_.message.c_str());
        return false;
    }
    return true;
}

bool ImageExtraction::frame_header_matches(frame_index& index, const frame_decoder& decoder, int32_t number)
{
    if (decoder.codec->read_header == nullptr) {
        return true;
    }
    std::vector<fragment_span> fragments;
    if (index.frame(number, fragments) != frame_lookup::found) {
        return true; // nothing to check; the frames stay as the file has them
    }
    // The header lies near the start: the frame is read whole only when its
    // first bytes do not hold it.
    constexpr uint64_t header_bytes = uint64_t{64} << 10;
    frame_bytes_buffer data;
    if (image_failure failed = read_fragments(decoder.descriptor, fragments, data, header_bytes)) {
        failure_ = std::move(failed);
        return false;
    }
    codestream_header header{};
    bool found = decoder.codec->read_header(data.data(), data.size(), header);
    if (!found && data.size() == header_bytes) {
        if (image_failure failed = read_fragments(decoder.descriptor, fragments, data)) {
            failure_ = std::move(failed);
            return false;
        }
        found = decoder.codec->read_header(data.data(), data.size(), header);
    }
    if (!found) {
        dicom_log(LogLevel::error, "The frame has no codestream header this codec reads");
        dicom_log(LogLevel::error, "Decompression failed");
        failure_ = image_failures::codestream_broken(decoder.codec->name, number);
        return false;
    }
    const frame_format& format = decoder.format;
    if (header.rows != format.rows || header.columns != format.columns ||
        header.components != format.samples_per_pixel) {
        const std::string message = "The frame's codestream holds " + std::to_string(header.columns) + " x " +
                                    std::to_string(header.rows) + " x " + std::to_string(header.components) +
                                    " samples, the data set " + std::to_string(format.columns) + " x " +
                                    std::to_string(format.rows) + " x " + std::to_string(format.samples_per_pixel);
        dicom_log(LogLevel::error, message.c_str());
        dicom_log(LogLevel::error, "Decompression failed");
        failure_ = image_failures::pixel_data_broken(message);
        return false;
    }
    return true;
}

bool ImageExtraction::decode_planned(single_image& image, const frame_decoder& decoder,
                                     const std::vector<std::vector<fragment_span>>& plan, unsigned threads,
                                     int64_t first)
{
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::atomic<bool> refused{false};
    std::mutex failure_mutex;
    image_failure first_failure;
    const auto record = [&](image_failure failure) {
        const std::lock_guard<std::mutex> lock(failure_mutex);
        if (!first_failure) {
            first_failure = std::move(failure);
        }
    };
    sink_gate gate(sink_);
    frame_layout first_layout{image.photometric, image.planar_configuration};
    // A frame alone goes to the sink in bands where its codec has them: the
    // decoded frame is never held whole.
    const bool in_bands = sink_ != nullptr && plan.size() == 1 && decoder.codec->decode_bands != nullptr;
    const auto work = [&] {
        frame_bytes_buffer scratch;
        frame_bytes_buffer own;
        frame_layout layout{};
        for (std::size_t i = next++; i < plan.size() && !failed; i = next++) {
            const uint64_t offset = i * decoder.frame_bytes;
            const int64_t number = first + static_cast<int64_t>(i);
            if (in_bands) {
                bool sink_refused = false;
                image_failure failure =
                    decoder.decode_in_bands(number, plan[i], scratch, layout, gate, offset, sink_refused);
                failed = failure || sink_refused;
                refused = sink_refused;
                if (failure) {
                    record(std::move(failure));
                }
                first_layout = layout;
                break;
            }
            uint8_t* slot = nullptr;
            if (sink_ == nullptr) {
                slot = image.pixels + offset;
            } else if (own.resize(decoder.frame_bytes)) {
                slot = own.data();
            } else {
                dicom_log(LogLevel::error, "Out of memory.");
                record(image_failures::out_of_memory());
                failed = true;
                break;
            }
            if (image_failure failure = decoder.decode(number, plan[i], slot, scratch, layout)) {
                record(std::move(failure));
                failed = true;
                break;
            }
            if (i == 0) {
                first_layout = layout;
            }
            if (sink_ != nullptr && !gate.put(offset, slot, decoder.frame_bytes)) {
                refused = true;
                failed = true;
            }
        }
    };
    if (threads <= 1) {
        work();
    } else {
        std::vector<std::thread> pool;
        for (unsigned t = 0; t < threads; ++t) {
            pool.emplace_back(work);
        }
        for (std::thread& thread : pool) {
            thread.join();
        }
    }
    if (failed) {
        if (!refused) {
            dicom_log(LogLevel::error, "Decompression failed");
        }
        failure_ = std::move(first_failure);
        return false;
    }
    if (!plan.empty()) {
        apply_layout(image, first_layout);
    }
    return true;
}

std::optional<encapsulated_frames> ImageExtraction::open_encapsulated_frames(single_image& image)
{
    const frame_decoder decoder{codec_for_transfer_syntax(open_transfer_syntax()), format_of(image),
                                fileno(reader_.state().reader_stream), frame_bytes_of(image)};
    if (decoder.codec == nullptr) {
        log_unsupported_syntax();
        failure_ = image_failures::unsupported_syntax(open_transfer_syntax());
        return std::nullopt;
    }
    std::optional<frame_index> index = index_the_fragments(image);
    if (!index) {
        return std::nullopt;
    }
    return encapsulated_frames{decoder, std::move(*index)};
}

std::optional<std::vector<std::vector<fragment_span>>> ImageExtraction::plan_frames(const single_image& image,
                                                                                    frame_index& index)
{
    const auto present = static_cast<std::size_t>(index.frames_present());
    std::vector<std::vector<fragment_span>> plan(present);
    for (std::size_t i = 0; i < present; ++i) {
        if (index.frame(static_cast<int32_t>(i), plan[i]) != frame_lookup::found) {
            dicom_log(LogLevel::error, "Decompression failed");
            failure_ = index.failure() ? index.failure()
                                       : image_failures::pixel_data_broken("The frames cannot be listed");
            return std::nullopt;
        }
    }
    if (present < static_cast<std::size_t>(image.frames)) {
        std::vector<fragment_span> none;
        const frame_lookup missing = index.frame(static_cast<int32_t>(present), none);
        if (missing != frame_lookup::cut) {
            // A delimiter where a frame should start is no frame.
            const std::string message = "The pixel data ends after " + std::to_string(present) + " of the " +
                                        std::to_string(image.frames) + " frames announced";
            dicom_log(LogLevel::error, message.c_str());
            dicom_log(LogLevel::error, "Decompression failed");
            failure_ = image_failures::pixel_data_broken(message);
            return std::nullopt;
        }
    }
    return plan;
}

unsigned ImageExtraction::threads_for(std::size_t frames)
{
    const unsigned threads = threads_ == 0 ? std::max(1U, std::thread::hardware_concurrency()) : threads_;
    return static_cast<unsigned>(std::min<std::size_t>(threads, frames));
}

single_image* ImageExtraction::stream_encapsulated(single_image& image, const frame_decoder& decoder,
                                                   frame_index& index, uint64_t image_bytes)
{
    image.pixel_bytes = static_cast<std::size_t>(image_bytes);
    const std::optional<std::vector<std::vector<fragment_span>>> plan = plan_frames(image, index);
    if (!plan || !decode_planned(image, decoder, *plan, threads_for(plan->size()))) {
        return fail();
    }
    const uint64_t decoded = plan->size() * decoder.frame_bytes;
    if (decoded < image_bytes) {
        const std::vector<uint8_t> zeros(static_cast<std::size_t>(decoder.frame_bytes));
        for (uint64_t offset = decoded; offset < image_bytes; offset += decoder.frame_bytes) {
            if (!sink_->put(offset, zeros.data(), zeros.size())) {
                return fail();
            }
        }
    }
    return &image;
}

single_image* ImageExtraction::load_encapsulated()
{
    single_image& image = record_;
    std::optional<encapsulated_frames> frames = open_encapsulated_frames(image);
    if (!frames) {
        return fail();
    }
    const frame_decoder& decoder = frames->decoder;
    frame_index& index = frames->index;
    const std::optional<uint64_t> image_bytes =
        image.frames < 0 ? std::nullopt : product(decoder.frame_bytes, static_cast<uint64_t>(image.frames));
    if (image_bytes && !announced_bytes_fit(*image_bytes, *decoder.codec)) {
        return fail();
    }
    if (!frame_header_matches(index, decoder, 0)) {
        return fail();
    }
    if (sink_ != nullptr && image_bytes) {
        return stream_encapsulated(image, decoder, index, *image_bytes);
    }
    if (image_bytes && *image_bytes > max_pixel_buffer - trailing_zeros) {
        return fail_logged(image_failures::size_over_limit(image.frames, *image_bytes));
    }
    const bool fits = image_bytes.has_value();
    uint8_t* buffer = fits ? allocate_pixels(*image_bytes + trailing_zeros) : nullptr;
    if (buffer == nullptr) {
        dicom_log(LogLevel::error, "Out of memory.");
        failure_ = image_failures::out_of_memory();
        return nullptr;
    }
    image.pixels = buffer;
    image.pixel_bytes = *image_bytes;
    const std::optional<std::vector<std::vector<fragment_span>>> plan = plan_frames(image, index);
    if (!plan) {
        return fail();
    }
    const uint64_t decoded = plan->size() * decoder.frame_bytes;
    std::memset(image.pixels + decoded, 0, *image_bytes - decoded);
    return decode_planned(image, decoder, *plan, threads_for(plan->size())) ? &image : fail();
}

single_image* ImageExtraction::load_encapsulated_frame(int32_t wanted)
{
    single_image& image = record_;
    if (!known_frames_) {
        known_frames_ = open_encapsulated_frames(image);
        if (!known_frames_) {
            return fail();
        }
    }
    const frame_decoder& decoder = known_frames_->decoder;
    frame_index& index = known_frames_->index;
    if (!announced_bytes_fit(decoder.frame_bytes, *decoder.codec) ||
        !frame_header_matches(index, decoder, wanted)) {
        return fail();
    }
    std::vector<fragment_span> fragments;
    const frame_lookup found = index.frame(wanted, fragments);
    if (found == frame_lookup::read_failure) {
        return fail(index.failure());
    }
    if (found == frame_lookup::beyond_end) {
        return fail_logged(image_failures::frame_past_end(wanted, index.frames_present()));
    }
    if (found == frame_lookup::cut) {
        return fail_logged(image_failures::frame_cut_off(wanted, index.frames_present()));
    }
    uint8_t* buffer = decoder.frame_bytes <= max_pixel_buffer - trailing_zeros
                          ? allocate_pixels(decoder.frame_bytes + trailing_zeros)
                          : nullptr;
    if (buffer == nullptr) {
        dicom_log(LogLevel::error, "Out of memory.");
        failure_ = image_failures::out_of_memory();
        return nullptr;
    }
    image.pixels = buffer;
    image.pixel_bytes = decoder.frame_bytes;
    return decode_planned(image, decoder, {fragments}, 1, wanted) ? &image : fail();
}

single_image* ImageExtraction::load_native_frame(ELEMENT* element, int32_t wanted)
{
    single_image& image = record_;
    fix_native_vr(element);
    const uint64_t frame_bits =
        uint64_t{image.columns} * image.rows * image.samples_per_pixel * image.bits_allocated;
    uint64_t start_bits = 0;
    if (__builtin_mul_overflow(frame_bits, static_cast<uint64_t>(wanted), &start_bits)) {
        start_bits = UINT64_MAX; // past any value
    }
    if (frame_bits % 8 != 0) {
        return fail_logged(image_failures::size_not_whole_bytes());
    }
    const uint64_t frame_bytes = frame_bits / 8;
    const uint64_t start = start_bits / 8;
    const uint64_t length = element->length;
    if (start >= length || frame_bytes == 0) {
        return fail_logged(image_failures::frame_past_end(wanted, frame_bytes == 0 ? 0 : length / frame_bytes));
    }
    const auto value_start = static_cast<uint64_t>(ftello(reader_.state().reader_stream));
    known_native_ = native_value{*element, value_start};
    const uint64_t frame_length = std::min(frame_bytes, length - start);
    if (reader_.state().file_size >= 0 &&
        value_start + start + frame_length > uint64_t(reader_.state().file_size)) {
        // The frame lies wholly or in part past the end of the file.
        const uint64_t held =
            uint64_t(reader_.state().file_size) - std::min<uint64_t>(value_start, reader_.state().file_size);
        return fail_logged(image_failures::frame_cut_off(wanted, (held + frame_bytes - 1) / frame_bytes));
    }
    if (fseeko(reader_.state().reader_stream, static_cast<off_t>(value_start + start), SEEK_SET) != 0) {
        const int error = errno;
        dicom_log(LogLevel::error, "Error while reading file");
        return fail(image_failures::unreadable(error));
    }
    element->length = static_cast<uint32_t>(frame_length);
    const int64_t loaded = load_pixel_value(element);
    element->length = static_cast<uint32_t>(length);
    if (loaded < 0) {
        return fail_pixel_value();
    }
    image.pixel_bytes = static_cast<std::size_t>(loaded);
    const std::optional<uint64_t> expected = expected_native_bytes(image);
    if (!expected || *expected != length) {
        dicom_log(LogLevel::warning, "Incorrect PixelData length");
    }
    if (reader_.state().reader_stream != nullptr) {
        fseeko(reader_.state().reader_stream, static_cast<off_t>(value_start + length), SEEK_SET);
    }
    return &image;
}

single_image* ImageExtraction::extract(int32_t wanted)
{
    reset_record();
    known_frames_.reset();
    known_native_.reset();
    failure_ = {};
    spacing_rank_ = 0;
    extended_ = extended_table{};
    record_.frames = 1;
    record_.samples_per_pixel = 1;
    record_.rescale_slope = 1.0;

    for (;;) {
        ELEMENT* element = reader_.element();
        if (element == nullptr) {
            return fail_reader(image_failures::no_pixel_data());
        }
        if (in_icon_image_sequence(element)) {
            if (reader_.skip() != 0) {
                return fail_reader();
            }
            continue;
        }
        const Collected collected = collected_field(element->group, element->element);
        if (collected.field != Field::none) {
            // The record's value may still hold a block that is not ours.
            element->value = nullptr;
            if (reader_.load(collected.hint) != 0) {
                element->value = nullptr;
                return fail_reader();
            }
            store_field(collected.field, element);
            continue;
        }
        if (is_extended_table(element)) {
            element->value = nullptr;
            if (reader_.load(VR_OV) != 0) {
                element->value = nullptr;
                return fail_reader();
            }
            (element->element == 0x0001 ? extended_.offsets : extended_.lengths) = take_very_long_values(element);
            continue;
        }
        if (!is_pixel_data(element)) {
            if (reader_.skip() != 0) {
                return fail_reader();
            }
            continue;
        }
        if (wanted >= 0 && wanted >= record_.frames) {
            return fail_logged(image_failures::frame_past_end(wanted, record_.frames));
        }
        const bool encapsulated = element->length == UNDEFINED_LENGTH;
        if (wanted < 0) {
            return encapsulated ? load_encapsulated() : load_native(element);
        }
        return encapsulated ? load_encapsulated_frame(wanted) : load_native_frame(element, wanted);
    }
}

single_image* ImageExtraction::extract_known_frame(int32_t wanted)
{
    std::free(record_.pixels);
    record_.pixels = nullptr;
    record_.pixel_bytes = 0;
    failure_ = {};
    if (wanted < 0) {
        return fail_logged(image_failures::frame_index_negative(wanted));
    }
    if (wanted >= record_.frames) {
        return fail_logged(image_failures::frame_past_end(wanted, record_.frames));
    }
    if (known_frames_) {
        return load_encapsulated_frame(wanted);
    }
    std::FILE* stream = reader_.state().reader_stream;
    if (!known_native_ || stream == nullptr ||
        fseeko(stream, static_cast<off_t>(known_native_->value_start), SEEK_SET) != 0) {
        return fail(image_failures::unreadable(errno != 0 ? errno : EIO));
    }
    reader_.record() = known_native_->element;
    return load_native_frame(&reader_.record(), wanted);
}

void ImageExtraction::release()
{
    for (palette_table& table : record_.palette) {
        std::free(table.data);
        table.data = nullptr;
    }
    std::free(record_.pixels);
    record_.pixels = nullptr;
    reset_record();
    known_frames_.reset();
    known_native_.reset();
}

int64_t ImageExtraction::load_pixel(ELEMENT* element)
{
    dicom_log(LogLevel::debug, "dicom_pixel()");
    if (element->length == UNDEFINED_LENGTH) {
        if (reader_.skip() != 0) {
            return -2;
        }
        dicom_log(LogLevel::emergency, "Encapsulated PixelData is not implemented yet");
        return -3;
    }
    return load_pixel_value(element);
}

bool in_icon_image_sequence(const ELEMENT* element)
{
    return element->sq_depth != 0 && element->sq_group == 0x0088 && element->sq_element == 0x0200;
}

// The image source -------------------------------------------------------

ImageSource::ImageSource()
    : reader_(std::make_unique<DicomReader>()), extraction_(std::make_unique<ImageExtraction>(*reader_))
{
}

ImageSource::~ImageSource() = default;

image_failure ImageSource::open(const std::string& path)
{
    path_ = path;
    extraction_->release();
    reader_->close();
    walked_ = false;
    fresh_ = false;
    if (reader_->open(path.c_str()) != 0) {
        reader_->close();
        return image_failures::unopened(path.c_str());
    }
    fresh_ = true;
    return {};
}

image_failure ImageSource::open(std::FILE* stream, bool inflated_view, const std::string& path)
{
    path_ = path;
    extraction_->release();
    walked_ = false;
    fresh_ = false;
    if (reader_->open_stream(stream, inflated_view) != 0) {
        reader_->close();
        return image_failures::unopened(path.c_str());
    }
    fresh_ = true;
    return {};
}

bool ImageSource::rewind()
{
    extraction_->release();
    walked_ = false;
    if (fresh_) {
        fresh_ = false;
        return true;
    }
    // The file as it was opened, read again; opened again by its name only
    // when a failure has closed it.
    if (reader_->restart() == 0) {
        return true;
    }
    reader_->close();
    if (reader_->open(path_.c_str()) != 0) {
        reader_->close();
        extraction_->set_failure(image_failures::unopened(path_.c_str()));
        return false;
    }
    return true;
}

const single_image* ImageSource::image() { return rewind() ? extraction_->extract(-1) : nullptr; }

const single_image* ImageSource::image_to(pixel_sink& sink)
{
    return rewind() ? extraction_->extract_to(sink) : nullptr;
}

const single_image* ImageSource::frame(int32_t index)
{
    if (walked_ && extraction_->knows_pixel_data()) {
        if (single_image* image = extraction_->extract_known_frame(index)) {
            return image;
        }
        walked_ = false;
        return nullptr;
    }
    if (!rewind()) {
        return nullptr;
    }
    single_image* image = extraction_->extract(index);
    walked_ = image != nullptr;
    return image;
}

const image_failure& ImageSource::failure() const { return extraction_->failure(); }

void ImageSource::set_threads(unsigned count) { extraction_->set_threads(count); }

// The C entry points: the calling thread's reader and extraction ----------

namespace {

ImageExtraction& default_extraction()
{
    thread_local ImageExtraction extraction(dicom_default_reader());
    return extraction;
}

single_image* with_failure(single_image* image, image_failure& failure)
{
    failure = image != nullptr ? image_failure{} : default_extraction().failure();
    return image;
}

} // namespace

single_image* dicom_single()
{
    dicom_log(LogLevel::debug, "dicom_single()");
    return default_extraction().extract(-1);
}

single_image* dicom_single_frame(int32_t index)
{
    dicom_log(LogLevel::debug, "dicom_single_frame()");
    if (index < 0) {
        ImageExtraction& extraction = default_extraction();
        extraction.release();
        extraction.set_failure(image_failures::frame_index_negative(index));
        dicom_log(LogLevel::error, extraction.failure().message.c_str());
        return nullptr;
    }
    return default_extraction().extract(index);
}

single_image* dicom_single_to(pixel_sink& sink)
{
    dicom_log(LogLevel::debug, "dicom_single_to()");
    return default_extraction().extract_to(sink);
}

single_image* dicom_single_frame(int32_t index, image_failure& failure)
{
    return with_failure(dicom_single_frame(index), failure);
}

single_image* dicom_single(image_failure& failure) { return with_failure(dicom_single(), failure); }

single_image* dicom_single_to(pixel_sink& sink, image_failure& failure)
{
    return with_failure(dicom_single_to(sink), failure);
}

void dicom_single_threads(unsigned count) { default_extraction().set_threads(count); }

int64_t dicom_pixel(ELEMENT* element) { return default_extraction().load_pixel(element); }

void dicom_single_free()
{
    dicom_log(LogLevel::debug, "dicom_single_free()");
    default_extraction().release();
}
