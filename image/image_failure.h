// Why an image could not be extracted or shown: a code and the text the user
// reads. Every failure text of the image path is made here, once.
#pragma once

#include <cstdint>
#include <string>

enum class image_failure_code {
    none,
    unreadable,         // the file cannot be opened or read (the system's reason)
    no_pixel_data,      // the data set ends without pixel data
    data_set_broken,    // the data set ends inside an element before the pixel data
    unsupported_syntax, // no codec here reads the transfer syntax
    frame_past_end,     // a frame past the frames the file announces
    frame_cut_off,      // a frame the file announces but no longer holds
    codestream_broken,  // a frame's compressed data cannot be decoded
    size_refused,       // the size the header announces is not taken
    out_of_memory,
    not_shown,  // a photometric interpretation the viewer does not show
    no_samples, // no sample layout the viewer reads
};

struct image_failure {
    image_failure_code code = image_failure_code::none;
    std::string message;

    explicit operator bool() const { return code != image_failure_code::none; }
};

// The catalogue of failure texts.
namespace image_failures {

// "The file cannot be read: REASON." with the system's text for `error`.
image_failure unreadable(int error);
// Why the reader could not open `path`: the system's reason when the file
// cannot be opened or is a folder, otherwise a data set it cannot read.
image_failure unopened(const char* path);
image_failure no_pixel_data();
image_failure data_set_broken();
// The pixel data's value runs past the end of the file.
image_failure pixel_data_cut();
// The encapsulated pixel data is broken in the way `what` says.
image_failure pixel_data_broken(std::string what);
// The transfer syntax named by its UID and registered name.
image_failure unsupported_syntax(const char* uid);
// `index` and `count` count from 0 and give the frames the file announces.
image_failure frame_past_end(int64_t index, int64_t count);
// A negative frame index.
image_failure frame_index_negative(int64_t index);
// `index` counts from 0; `last` is the 1-based frame the pixel data ends in
// (0: before its first frame).
image_failure frame_cut_off(int64_t index, int64_t last);
// `codec` names the codestream's kind ("JPEG 2000"); `index` counts from 0.
image_failure codestream_broken(const char* codec, int64_t index);
// The frames take `bytes` decoded, more than a whole image may take.
image_failure size_over_limit(int64_t frames, uint64_t bytes);
// The frames announce more decoded bytes than the file's data can give.
image_failure size_past_data();
// Frames of the image do not start on a byte boundary.
image_failure size_not_whole_bytes();
image_failure out_of_memory();
// `photometric` is the name as the file gives it ("HSV").
image_failure not_shown(const char* photometric);
image_failure no_samples();

} // namespace image_failures
