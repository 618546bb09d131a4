// Native (defined-length) pixel data: loaded as stored, the whole image or
// the bytes of one frame.
#include <bit>
#include <cerrno>
#include <cstdlib>

#include "base/log.h"
#include "image/extraction.h"
#include "image/image_attributes.h"
#include "reader/dicom_reader.h"

using namespace extraction;

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
