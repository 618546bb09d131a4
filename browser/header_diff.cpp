#include "browser/header_diff.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "browser/tag_path.h"

namespace {

bool is_ignored(uint32_t tag, const DiffOptions& options)
{
    const auto group = static_cast<uint16_t>(tag >> 16);
    if (options.no_private && (group & 1U) != 0) {
        return true;
    }
    return std::find(options.ignored_groups.begin(), options.ignored_groups.end(), group) !=
           options.ignored_groups.end();
}

// What tells a row from its siblings, ordered as tag paths are: the tag in
// the high half, and for an item its index + 1 in the low half.
uint64_t place(const ElementRow& row)
{
    const uint64_t index = row.kind == RowKind::item ? static_cast<uint64_t>(row.item_index) + 1 : 0;
    return (uint64_t{row.tag} << 32) | index;
}

// Each row's compared children (delimiters and ignored rows left out) in
// sibling order, rows of the same place in file order; the top level last.
class RowTree {
public:
    RowTree(const std::vector<ElementRow>& rows, const DiffOptions& options) : rows_(rows)
    {
        const std::size_t count = rows.size();
        std::vector<uint8_t> kept(count, 0);
        starts_.assign(count + 2, 0);
        for (std::size_t row = 0; row < count; ++row) {
            const ElementRow& r = rows[row];
            const bool parent_kept = r.parent < 0 || kept[static_cast<std::size_t>(r.parent)] != 0;
            const bool delimiter = r.kind == RowKind::item_end || r.kind == RowKind::sequence_end;
            const bool ignored = r.kind != RowKind::item && is_ignored(r.tag, options);
            if (parent_kept && !delimiter && !ignored) {
                kept[row] = 1;
                ++starts_[slot(r.parent) + 1];
            }
        }
        for (std::size_t i = 1; i < starts_.size(); ++i) {
            starts_[i] += starts_[i - 1];
        }
        children_.resize(starts_.back());
        std::vector<std::size_t> filled(starts_.begin(), starts_.end() - 1);
        for (std::size_t row = 0; row < count; ++row) {
            if (kept[row] != 0) {
                children_[filled[slot(rows[row].parent)]++] = static_cast<int32_t>(row);
            }
        }
        for (std::size_t s = 0; s + 1 < starts_.size(); ++s) {
            std::stable_sort(
                children_.begin() + static_cast<std::ptrdiff_t>(starts_[s]),
                children_.begin() + static_cast<std::ptrdiff_t>(starts_[s + 1]), [&](int32_t a, int32_t b) {
                    return place(rows[static_cast<std::size_t>(a)]) < place(rows[static_cast<std::size_t>(b)]);
                });
        }
    }

    // The children of `row`; of the top level for -1.
    const int32_t* begin(int32_t row) const { return children_.data() + starts_[slot(row)]; }
    const int32_t* end(int32_t row) const { return children_.data() + starts_[slot(row) + 1]; }
    uint64_t place_of(int32_t row) const { return place(rows_[static_cast<std::size_t>(row)]); }

private:
    std::size_t slot(int32_t row) const { return row < 0 ? rows_.size() : static_cast<std::size_t>(row); }

    const std::vector<ElementRow>& rows_;
    std::vector<std::size_t> starts_; // children of row r: [starts_[r], starts_[r + 1]); the top level's last
    std::vector<int32_t> children_;
};

// Room for one block of each file's value while two values are compared.
struct CompareBlocks {
    static constexpr std::size_t size = 64 * 1024;
    std::unique_ptr<uint8_t[]> a{new uint8_t[size]};
    std::unique_ptr<uint8_t[]> b{new uint8_t[size]};
};

bool same_bytes(const ElementRow& a, const ByteSource& a_bytes, const ElementRow& b, const ByteSource& b_bytes,
                CompareBlocks& blocks)
{
    if (a.value_length != b.value_length) {
        return false;
    }
    for (int64_t done = 0; done < a.value_length;) {
        const auto want = static_cast<std::size_t>(std::min<int64_t>(a.value_length - done, CompareBlocks::size));
        const std::size_t a_got = a_bytes(a.value_offset + done, blocks.a.get(), want);
        const std::size_t b_got = b_bytes(b.value_offset + done, blocks.b.get(), want);
        if (a_got != b_got || std::memcmp(blocks.a.get(), blocks.b.get(), a_got) != 0) {
            return false;
        }
        if (a_got < want) {
            return true; // both end early, at the same byte
        }
        done += static_cast<int64_t>(want);
    }
    return true;
}

std::string value_text(const HeaderListing& listing, int32_t row) { return listing.grid.cell_utf8(row + 1, 5); }

} // namespace

std::vector<HeaderDifference> compare_headers(const HeaderListing& first, const ByteSource& first_bytes,
                                              const HeaderListing& second, const ByteSource& second_bytes,
                                              const DiffOptions& options)
{
    const RowTree a(first.rows, options);
    const RowTree b(second.rows, options);
    std::vector<HeaderDifference> differences;
    CompareBlocks blocks;
    const auto add = [&](DiffMark mark, int32_t a_row, int32_t b_row) {
        HeaderDifference d;
        d.mark = mark;
        d.path = a_row >= 0 ? tag_path(first.rows, a_row) : tag_path(second.rows, b_row);
        d.first_value = a_row >= 0 ? value_text(first, a_row) : std::string();
        d.second_value = b_row >= 0 ? value_text(second, b_row) : std::string();
        differences.push_back(std::move(d));
    };

    // Rows matched by place, level by level, visited depth first so that
    // the differences come in tag path order. Rows of the same place pair
    // off in file order. A pair with -1 is a row of one file alone.
    struct Pair {
        int32_t a;
        int32_t b;
    };
    std::vector<Pair> pending{{-1, -1}};
    std::vector<Pair> children;
    bool top = true;
    while (!pending.empty()) {
        const Pair pair = pending.back();
        pending.pop_back();
        if (!top) {
            if (pair.b < 0) {
                add(DiffMark::only_first, pair.a, -1);
            } else if (pair.a < 0) {
                add(DiffMark::only_second, -1, pair.b);
            } else {
                const ElementRow& ra = first.rows[static_cast<std::size_t>(pair.a)];
                const ElementRow& rb = second.rows[static_cast<std::size_t>(pair.b)];
                const bool differ = ra.folds() != rb.folds() ||
                                    (!ra.folds() && !same_bytes(ra, first_bytes, rb, second_bytes, blocks));
                if (differ) {
                    add(DiffMark::changed, pair.a, pair.b);
                }
            }
        }
        const bool with_a = top || pair.a >= 0;
        const bool with_b = top || pair.b >= 0;
        top = false;
        const int32_t* ia = with_a ? a.begin(pair.a) : nullptr;
        const int32_t* ea = with_a ? a.end(pair.a) : nullptr;
        const int32_t* ib = with_b ? b.begin(pair.b) : nullptr;
        const int32_t* eb = with_b ? b.end(pair.b) : nullptr;
        children.clear();
        while (ia != ea || ib != eb) {
            if (ib == eb || (ia != ea && a.place_of(*ia) < b.place_of(*ib))) {
                children.push_back({*ia++, -1});
            } else if (ia == ea || b.place_of(*ib) < a.place_of(*ia)) {
                children.push_back({-1, *ib++});
            } else {
                children.push_back({*ia++, *ib++});
            }
        }
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return differences;
}

ByteSource file_byte_source(std::FILE* file)
{
    return [file](int64_t offset, uint8_t* into, std::size_t count) -> std::size_t {
        if (offset < 0 || fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) {
            return 0;
        }
        return std::fread(into, 1, count, file);
    };
}
