// Single-image extraction: walks the elements up to the first pixel data
// element outside the Icon Image Sequence, collects those that describe the
// image into the extraction's record, then hands the pixel data to
// native_pixels.cpp or encapsulated_frames.cpp. The image source and the
// dicom_single entry points are here too.
#include "single.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/log.h"
#include "image/extraction.h"
#include "reader/dicom_reader.h"
#include "reader/transfer_syntax.h"

using namespace extraction;

const char* const photometric_names[photometric_name_count] = {
    "MONOCHROME2", "MONOCHROME1",  "PALETTE COLOR",   "RGB",     "HSV",     "ARGB", "CMYK", "UNKNOWN",
    "YBR_FULL",    "YBR_FULL_422", "YBR_PARTIAL_420", "YBR_RCT", "YBR_ICT",
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
    case Field::frames:
        image.frames = integer(text);
        frames_given_ = true;
        break;
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

const char* ImageExtraction::open_transfer_syntax()
{
    return reader_.state().transfer_syntax != nullptr ? reader_.state().transfer_syntax[0] : nullptr;
}

void ImageExtraction::log_unsupported_syntax()
{
    dicom_log(LogLevel::error, unsupported_transfer_syntax_message(open_transfer_syntax()).c_str());
}

single_image* ImageExtraction::extract(int32_t wanted)
{
    reset_record();
    known_frames_.reset();
    known_native_.reset();
    known_video_.reset();
    frames_given_ = false;
    failure_ = {};
    spacing_rank_ = 0;
    extended_ = extended_table{};
    record_.frames = 1;
    record_.samples_per_pixel = 1;
    record_.rescale_slope = 1.0;
    DisplayAttributeCollector display(record_.display);

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
        if (const std::optional<int32_t> hint = display.wanted(*element)) {
            element->value = nullptr;
            if (reader_.load(*hint) != 0) {
                element->value = nullptr;
                return fail_reader();
            }
            display.store(*element, take_value(element));
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
        const bool encapsulated = element->length == UNDEFINED_LENGTH;
        if (const std::optional<video_codec> video = video_codec_for_transfer_syntax(open_transfer_syntax());
            video && encapsulated) {
            return load_video(*video, wanted); // the stream may give the frame count
        }
        if (wanted >= 0 && wanted >= record_.frames) {
            return fail_logged(image_failures::frame_past_end(wanted, record_.frames));
        }
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
    if (known_video_) {
        return load_video_frame(wanted);
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
    known_video_.reset();
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

const single_image* ImageSource::reduced_frame(int32_t index, const reduction_rule& wanted)
{
    extraction_->set_reduction(&wanted);
    const single_image* image = frame(index);
    extraction_->set_reduction(nullptr);
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
