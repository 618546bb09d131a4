#include "browser/tag_path.h"

#include <algorithm>
#include <cstdio>

namespace {

void append_tag(std::string& out, uint32_t tag)
{
    char text[12];
    std::snprintf(text, sizeof text, "(%04X,%04X)", static_cast<unsigned>(tag >> 16),
                  static_cast<unsigned>(tag & 0xFFFF));
    out += text;
}

} // namespace

std::vector<int32_t> row_chain(const std::vector<ElementRow>& rows, int32_t row)
{
    std::vector<int32_t> chain;
    // A parent always comes before its child, so the climb ends.
    while (row >= 0 && static_cast<std::size_t>(row) < rows.size()) {
        chain.push_back(row);
        const int32_t parent = rows[static_cast<std::size_t>(row)].parent;
        row = parent < row ? parent : -1;
    }
    std::reverse(chain.begin(), chain.end());
    return chain;
}

std::string tag_path(const std::vector<ElementRow>& rows, int32_t row)
{
    std::string path;
    RowKind above = RowKind::element;
    for (const int32_t at : row_chain(rows, row)) {
        const ElementRow& r = rows[static_cast<std::size_t>(at)];
        if (r.kind != RowKind::item || above != RowKind::sequence) {
            if (!path.empty()) {
                path += '.';
            }
            append_tag(path, r.tag);
        }
        if (r.kind == RowKind::item) {
            path += '[' + std::to_string(r.item_index) + ']';
        }
        above = r.kind;
    }
    return path;
}
