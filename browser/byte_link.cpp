#include "browser/byte_link.h"

#include <algorithm>

int32_t row_at_offset(const std::vector<ElementRow>& rows, int64_t offset)
{
    // The walk reads forwards, so headers come in ascending order.
    const auto after = std::upper_bound(rows.begin(), rows.end(), offset,
                                        [](int64_t at, const ElementRow& r) { return at < r.header_offset; });
    auto row = static_cast<int32_t>(after - rows.begin()) - 1;
    while (row >= 0) {
        const ElementRow& r = rows[static_cast<std::size_t>(row)];
        if (offset >= r.header_offset && offset < r.end_offset()) {
            return row;
        }
        row = r.parent < row ? r.parent : -1;
    }
    return -1;
}

RowBytes row_bytes(const std::vector<ElementRow>& rows, int32_t row, int64_t dump_bytes)
{
    RowBytes bytes;
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) {
        return bytes;
    }
    const ElementRow& r = rows[static_cast<std::size_t>(row)];
    bytes.begin = r.header_offset;
    bytes.end = r.end_offset();
    bytes.shown_end = std::max(bytes.begin, std::min(bytes.end, dump_bytes));
    bytes.past_dump = bytes.end > dump_bytes;
    return bytes;
}
