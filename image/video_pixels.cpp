// Video pixel data (MPEG-2, H.264, HEVC): the extraction's members that read
// the fragments into one stream, index it and decode frames from it. The
// decoder stays with the extraction, so that the frames of an open file are
// decoded forward from where the last one left off.
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <unistd.h>

#include "base/log.h"
#include "image/extraction.h"
#include "image/pixel_buffer.h"

using namespace extraction;

namespace {

// The bytes from `start` to the end of the file, or why they cannot be read.
image_failure read_rest(int descriptor, uint64_t start, uint64_t file_size, std::vector<uint8_t>& bytes)
{
    if (start > file_size) {
        return image_failures::pixel_data_cut();
    }
    if (file_size - start > max_pixel_buffer) {
        return image_failures::pixel_data_broken("The video's pixel data is larger than 4 GiB");
    }
    try {
        bytes.resize(static_cast<std::size_t>(file_size - start));
    } catch (const std::bad_alloc&) {
        return image_failures::out_of_memory();
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got =
            ::pread(descriptor, bytes.data() + done, bytes.size() - done, static_cast<off_t>(start + done));
        if (got <= 0) {
            return image_failures::unreadable(got < 0 ? errno : EIO);
        }
        done += static_cast<std::size_t>(got);
    }
    return {};
}

} // namespace

single_image* ImageExtraction::load_video(video_codec codec, int32_t wanted)
{
    single_image& image = record_;
    // The reader stands after the header of the first item, the Basic
    // Offset Table: the items are read from that header on.
    if (reader_.element() == nullptr) {
        return fail_reader(image_failures::pixel_data_cut());
    }
    std::FILE* stream = reader_.state().reader_stream;
    const off_t after_header = ftello(stream);
    if (after_header < 8) {
        return fail_logged(image_failures::pixel_data_broken("The video's pixel data cannot be found"));
    }
    std::vector<uint8_t> items;
    if (image_failure failed = read_rest(fileno(stream), static_cast<uint64_t>(after_header) - 8,
                                         static_cast<uint64_t>(reader_.state().file_size), items)) {
        return fail_logged(std::move(failed));
    }
    std::string error;
    std::optional<video_stream> assembled = video_stream::assemble(std::move(items), error);
    if (!assembled || !assembled->index(codec, error)) {
        return fail_logged(image_failures::pixel_data_broken(error));
    }
    const video_stream& indexed = *assembled;
    if (indexed.columns() != 0 && (indexed.columns() != image.columns || indexed.rows() != image.rows)) {
        return fail_logged(image_failures::pixel_data_broken(
            std::string("The ") + video_codec_name(codec) + " stream's pictures are " +
            std::to_string(indexed.columns()) + " x " + std::to_string(indexed.rows()) +
            ", the data set's frames " + std::to_string(image.columns) + " x " + std::to_string(image.rows)));
    }
    const auto pictures = static_cast<int32_t>(indexed.pictures().size());
    if (!frames_given_ || image.frames < 1) {
        image.frames = pictures;
    }
    if (wanted < 0 && image.frames > pictures) {
        return fail_logged(image_failures::pixel_data_broken(
            std::string("The ") + video_codec_name(codec) + " stream holds " + std::to_string(pictures) +
            (pictures == 1 ? " picture" : " pictures") + ", fewer than the " + std::to_string(image.frames) +
            " frames announced"));
    }
    known_video_ = video_decoder::open(codec, std::move(*assembled), image.columns, image.rows, error);
    if (!known_video_) {
        return fail_logged(image_failures::pixel_data_broken(error));
    }
    // The frames come out as 8-bit RGB, whatever the data set says of the
    // stream's samples.
    image.photometric = PHOTOMETRIC_RGB;
    image.samples_per_pixel = 3;
    image.planar_configuration = 0;
    image.bits_allocated = 8;
    image.bits_stored = 8;
    image.high_bit = 7;
    image.pixel_representation = 0;
    return wanted >= 0 ? load_video_frame(wanted) : load_video_frames();
}

single_image* ImageExtraction::load_video_frame(int32_t wanted)
{
    single_image& image = record_;
    if (wanted >= image.frames) {
        return fail_logged(image_failures::frame_past_end(wanted, image.frames));
    }
    const std::size_t frame_bytes = known_video_->frame_bytes();
    uint8_t* buffer = allocate_pixels(frame_bytes + trailing_zeros);
    if (buffer == nullptr) {
        return fail_logged(image_failures::out_of_memory());
    }
    image.pixels = buffer;
    image.pixel_bytes = frame_bytes;
    if (image_failure failed = known_video_->decode(wanted, buffer)) {
        return fail_logged(std::move(failed));
    }
    return &image;
}

single_image* ImageExtraction::load_video_frames()
{
    single_image& image = record_;
    const uint64_t frame_bytes = known_video_->frame_bytes();
    const uint64_t bytes = frame_bytes * static_cast<uint64_t>(image.frames);
    image.pixel_bytes = static_cast<std::size_t>(bytes);
    if (sink_ == nullptr && bytes > max_pixel_buffer - trailing_zeros) {
        return fail_logged(image_failures::size_over_limit(image.frames, bytes));
    }
    frame_bytes_buffer own;
    uint8_t* buffer = sink_ != nullptr ? (own.resize(frame_bytes) ? own.data() : nullptr)
                                       : allocate_pixels(bytes + trailing_zeros);
    if (buffer == nullptr) {
        return fail_logged(image_failures::out_of_memory());
    }
    if (sink_ == nullptr) {
        image.pixels = buffer;
    }
    for (int32_t number = 0; number < image.frames; ++number) {
        const uint64_t offset = frame_bytes * static_cast<uint64_t>(number);
        uint8_t* slot = sink_ != nullptr ? buffer : buffer + offset;
        if (image_failure failed = known_video_->decode(number, slot)) {
            dicom_log(LogLevel::error, "Decompression failed");
            return fail_logged(std::move(failed));
        }
        if (sink_ != nullptr && !sink_->put(offset, slot, frame_bytes)) {
            return fail();
        }
    }
    return &image;
}
