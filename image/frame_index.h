// Where each frame of encapsulated pixel data lies in the open file: found
// from the Extended or the Basic Offset Table when the file has one,
// otherwise by walking the item headers once and keeping their positions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image_failure.h"

// One fragment: the position of its value's first byte and its length.
struct fragment_span {
    uint64_t position;
    uint32_t length;
};

// How fragments make up frames when there are more fragments than frames.
enum class fragment_rule {
    one_per_frame,    // RLE, deflated and encapsulated uncompressed: each item
                      // is one frame, extra items are ignored
    start_marker,     // JPEG family, JPEG-LS, JPEG 2000: a frame starts at each
                      // fragment beginning with SOI, SOC or a JP2 signature box
    jpegxl_signature, // JPEG XL: at each fragment beginning with the codestream
                      // signature or the signature box
};

// What frame_index::frame found for one frame.
enum class frame_lookup {
    found,
    beyond_end,   // the item list ended (delimiter or foreign tag) before it
    cut,          // the file ended before it
    read_failure, // a read of the file failed, or a table points wrong (logged; failure() says why)
};

class frame_index {
public:
    // `descriptor` reads the file (never moved: positioned reads only);
    // `first_item` is the position of the first item after the Basic Offset
    // Table; `frames` the Number of Frames.
    frame_index(int descriptor, uint64_t file_size, uint64_t first_item, int32_t frames, fragment_rule rule);

    // The Basic Offset Table's entries (relative to `first_item`).
    void use_basic_table(std::vector<uint32_t> offsets);
    // The Extended Offset Table and its lengths (relative to `first_item`).
    void use_extended_table(std::vector<uint64_t> offsets, std::vector<uint64_t> lengths);

    // The fragments of frame `index` (0-based), in file order.
    frame_lookup frame(int32_t index, std::vector<fragment_span>& fragments);
    // Frames the item list holds (walks the items when not yet walked).
    int32_t frames_present();
    // Bytes of the largest frame found so far, for sizing a read buffer.
    uint64_t frame_length(const std::vector<fragment_span>& fragments) const;
    // Why the last lookup met a read_failure.
    const image_failure& failure() const { return failure_; }

private:
    bool walk();
    bool read_at(uint64_t position, uint8_t* into, std::size_t count);
    frame_lookup read_failed();
    frame_lookup from_extended(int32_t index, std::vector<fragment_span>& fragments);
    frame_lookup from_basic(int32_t index, std::vector<fragment_span>& fragments);
    frame_lookup from_walk(int32_t index, std::vector<fragment_span>& fragments);
    void assign_frames();

    int descriptor_;
    uint64_t file_size_;
    uint64_t first_item_;
    int32_t frames_;
    fragment_rule rule_;
    std::vector<uint32_t> basic_;
    std::vector<uint64_t> extended_offsets_;
    std::vector<uint64_t> extended_lengths_;

    image_failure failure_;
    int read_error_ = 0; // errno of the last failed read

    bool walked_ = false;
    bool walk_failed_ = false;
    bool cut_ = false; // the walk met the end of the file, not a delimiter
    std::vector<fragment_span> items_;
    std::vector<bool> starts_frame_;
    std::vector<std::size_t> frame_starts_; // index into items_ of each frame's first fragment
};

// Whether the first bytes of a fragment begin a codestream: JPEG SOI (also
// JPEG-LS), JPEG 2000 SOC, or a JP2 signature box.
bool begins_codestream(const uint8_t* head, std::size_t size);
// Whether they begin a JPEG XL codestream (FF 0A) or its container.
bool begins_jpegxl_codestream(const uint8_t* head, std::size_t size);
