#include "image/encapsulated_frames.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <unistd.h>

#include "base/log.h"
#include "image/extraction.h"
#include "image/image_attributes.h"
#include "reader/dicom_reader.h"
#include "reader/transfer_syntax.h"

namespace extraction {

image_failure read_fragments(int descriptor, const std::vector<fragment_span>& fragments, frame_bytes_buffer& data,
                             uint64_t limit)
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

bool fills_the_slot(const frame_codec& codec, const frame_bytes_buffer& data, const frame_format& format)
{
    codestream_header header{};
    return codec.read_header == nullptr ||
           (codec.read_header(data.data(), data.size(), header) && header.rows == format.rows &&
            header.columns == format.columns && header.components == format.samples_per_pixel);
}

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

} // namespace extraction

using namespace extraction;

std::optional<frame_index> ImageExtraction::index_the_fragments(single_image& image, const frame_codec& codec)
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
    // Frames that announce nothing of themselves have no start to be found by;
    // JPEG XL frames start at their own signatures.
    const TransferSyntax* syntax = find_transfer_syntax(open_transfer_syntax());
    const bool jpegxl = syntax != nullptr && syntax->codec == PixelCodec::jpegxl;
    const fragment_rule rule = codec.read_header == nullptr ? fragment_rule::one_per_frame
                               : jpegxl                     ? fragment_rule::jpegxl_signature
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
    std::optional<frame_index> index = index_the_fragments(image, *decoder.codec);
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
    // The image's size, unless it does not fit in 64 bits (`sized` false).
    const std::optional<uint64_t> announced =
        image.frames < 0 ? std::nullopt : product(decoder.frame_bytes, static_cast<uint64_t>(image.frames));
    const bool sized = announced.has_value();
    const uint64_t bytes = announced.value_or(0);
    if (sized && !announced_bytes_fit(bytes, *decoder.codec)) {
        return fail();
    }
    if (!frame_header_matches(index, decoder, 0)) {
        return fail();
    }
    if (sink_ != nullptr && sized) {
        return stream_encapsulated(image, decoder, index, bytes);
    }
    if (sized && bytes > max_pixel_buffer - trailing_zeros) {
        return fail_logged(image_failures::size_over_limit(image.frames, bytes));
    }
    // An image whose size does not fit in 64 bits is out of memory too.
    uint8_t* buffer = sized ? allocate_pixels(bytes + trailing_zeros) : nullptr;
    if (buffer == nullptr) {
        dicom_log(LogLevel::error, "Out of memory.");
        failure_ = image_failures::out_of_memory();
        return nullptr;
    }
    image.pixels = buffer;
    image.pixel_bytes = bytes;
    const std::optional<std::vector<std::vector<fragment_span>>> plan = plan_frames(image, index);
    if (!plan) {
        return fail();
    }
    const uint64_t decoded = plan->size() * decoder.frame_bytes;
    std::memset(image.pixels + decoded, 0, bytes - decoded);
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
    image.reduced_columns = 0;
    image.reduced_rows = 0;
    image.reduced_step = 0;
    image.reduced_origin = 0;
    if (reduction_ != nullptr && decoder.codec->decode_reduced != nullptr && image.display.overlays.empty()) {
        if (single_image* reduced = load_reduced_frame(fragments, wanted)) {
            return reduced;
        }
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

single_image* ImageExtraction::load_reduced_frame(const std::vector<fragment_span>& fragments, int32_t wanted)
{
    single_image& image = record_;
    const frame_decoder& decoder = known_frames_->decoder;
    frame_bytes_buffer scratch;
    reduced_frame reduced;
    frame_layout layout{};
    try {
        if (decoder.decode_reduced(wanted, fragments, (*reduction_)(image), scratch, reduced, layout)) {
            return nullptr;
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    uint8_t* buffer = reduced.pixels.size() <= decoder.frame_bytes
                          ? allocate_pixels(reduced.pixels.size() + trailing_zeros)
                          : nullptr;
    if (buffer == nullptr) {
        return nullptr;
    }
    std::memcpy(buffer, reduced.pixels.data(), reduced.pixels.size());
    image.pixels = buffer;
    image.pixel_bytes = reduced.pixels.size();
    if (reduced.columns != image.columns || reduced.rows != image.rows) {
        image.reduced_columns = reduced.columns;
        image.reduced_rows = reduced.rows;
        image.reduced_step = reduced.step;
        image.reduced_origin = reduced.origin;
    }
    apply_layout(image, layout);
    return &image;
}
