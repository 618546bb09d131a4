// Two headers compared element by element, matched by tag path: the
// elements only in the first, only in the second, and those whose values
// differ. Sequence and item rows take part by their path alone; delimiters
// do not take part. Values are compared as the bytes the files hold, the
// numbers of binary values taken in each file's byte order; the value texts
// are the element table's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "viewer/header_walk.h"

enum class DiffMark : char { only_first = '-', only_second = '+', changed = '~' };

struct HeaderDifference {
    DiffMark mark = DiffMark::changed;
    std::string path;         // as tag_path writes it
    std::string first_value;  // the first file's value text (UTF-8); "" for only_second
    std::string second_value; // the second file's; "" for only_first
};

struct DiffOptions {
    std::vector<uint16_t> ignored_groups; // elements of these groups, and what they hold, are left out
    bool no_private = false;              // elements of odd groups, and what they hold, are left out
};

// Reads up to `count` bytes at `offset` of the walked file into `into`;
// returns how many it read.
using ByteSource = std::function<std::size_t(int64_t offset, uint8_t* into, std::size_t count)>;

// One of the headers compared: its listing, the bytes of the walked file,
// and whether its data set (all but the meta group) is big endian.
struct DiffSide {
    const HeaderListing& listing;
    ByteSource bytes;
    bool big_endian = false;
};

// The differences in tag path order (item indices by number). A path met
// more than once in a file is matched by its first, second, ... occurrence.
std::vector<HeaderDifference> compare_headers(const DiffSide& first, const DiffSide& second,
                                              const DiffOptions& options = {});

// A source over an open file (the file the walk read, which stays open).
ByteSource file_byte_source(std::FILE* file);
