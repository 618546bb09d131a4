// The link between the dump's bytes and the element rows: the row that holds
// a byte, and the bytes of a row.
#pragma once

#include <cstdint>
#include <vector>

#include "viewer/element_rows.h"

// The innermost row whose header or value holds the byte at `offset`; -1
// when none does (the preamble, or bytes the walk did not reach).
int32_t row_at_offset(const std::vector<ElementRow>& rows, int64_t offset);

// A row's bytes, header and value, as [begin, end); the part the dump shows
// is [begin, shown_end).
struct RowBytes {
    int64_t begin = 0;
    int64_t end = 0;
    int64_t shown_end = 0;
    bool past_dump = false; // some of the bytes lie past the dump's `dump_bytes`
};

// The bytes of `row` against a dump of the file's first `dump_bytes` bytes;
// an empty range at 0 for a row out of range.
RowBytes row_bytes(const std::vector<ElementRow>& rows, int32_t row, int64_t dump_bytes);
