// Files in the deflated explicit VR little endian transfer syntax carry their
// data set, after the file meta group, as one raw deflate stream (no zlib
// header). The inflated view is a stream over the file as it would stand
// uncompressed: the file's bytes up to the end of the meta group followed by
// the inflated data set. The reader and the viewer's header walk both read
// the view, so offsets, the dump and the header size all refer to it.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr const char* deflated_transfer_syntax = "1.2.840.10008.1.2.1.99";

// A data set that inflates to more than this many times its deflated size is
// refused (deflate itself cannot do much better than 1032:1).
constexpr int64_t inflate_ratio_limit = 1024;
// Nor may the view pass what the reader's 32-bit element offsets address.
constexpr int64_t inflate_size_limit = INT32_MAX;

struct InflatedView {
    // The view (a temporary file, removed when closed), positioned where the
    // given file was; null when the file is not deflated, or when no
    // temporary file could be made.
    std::FILE* stream = nullptr;
    // The data set was not inflated (too large, no room or no memory; the
    // reason is logged at error level); the view then holds the file's bytes
    // up to the end of the meta group alone.
    bool refused = false;
};

// For a file positioned right after "DICM": when its meta group names the
// deflated transfer syntax, inflates the data set into a view. A truncated
// or corrupt stream keeps what inflated before the fault and logs a warning.
// When the file is not deflated it is left where it was and the result is
// empty; otherwise its position is undefined and the caller closes it.
InflatedView open_inflated_view(std::FILE* file);

// Where the file meta group ends, reading from the file's position just
// after "DICM": at the end given by (0002,0000) when present, else at the
// first element of another group. Sets deflated when (0002,0010) holds the
// deflated transfer syntax. Returns -1 when the file ends inside the meta
// group (there is no data set). The file's position is undefined afterwards.
int64_t find_meta_group_end(std::FILE* file, bool& deflated);
