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

// The size of the numbers a value of the VR holds, as byte order applies to
// them; 1 for text and bytes.
std::size_t number_size(const std::string& vr)
{
    for (const char* two : {"US", "SS", "OW", "AT"}) {
        if (vr == two) {
            return 2;
        }
    }
    for (const char* four : {"UL", "SL", "FL", "OF", "OL"}) {
        if (vr == four) {
            return 4;
        }
    }
    for (const char* eight : {"FD", "OD", "SV", "UV", "OV"}) {
        if (vr == eight) {
            return 8;
        }
    }
    return 1;
}

// The VR the headers give, else the one the table shows.
std::string vr_of(const ElementRow& a, const ElementRow& b, std::string shown)
{
    const uint16_t vr = a.vr != 0 ? a.vr : b.vr;
    if (vr == 0) {
        return shown;
    }
    return {static_cast<char>(vr >> 8), static_cast<char>(vr & 0xFF)};
}

// The meta group at the top level is little endian in every file.
bool is_big_endian(const DiffSide& side, const ElementRow& row)
{
    return side.big_endian && !(row.depth == 0 && row.group() == 0x0002);
}

// Reverses each `unit` bytes in place; a partial unit at the end stays.
void swap_units(uint8_t* bytes, std::size_t count, std::size_t unit)
{
    for (std::size_t at = 0; unit > 1 && at + unit <= count; at += unit) {
        std::reverse(bytes + at, bytes + at + unit);
    }
}

// Whether the values hold the same bytes once b's numbers of `swap` bytes
// are reversed (1: as they are).
bool same_value(const ElementRow& a, const ByteSource& a_bytes, const ElementRow& b, const ByteSource& b_bytes,
                std::size_t swap, CompareBlocks& blocks)
{
    if (a.value_length != b.value_length) {
        return false;
    }
    for (int64_t done = 0; done < a.value_length;) {
        const auto want = static_cast<std::size_t>(std::min<int64_t>(a.value_length - done, CompareBlocks::size));
        const std::size_t a_got = a_bytes(a.value_offset + done, blocks.a.get(), want);
        const std::size_t b_got = b_bytes(b.value_offset + done, blocks.b.get(), want);
        swap_units(blocks.b.get(), b_got, swap);
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

std::vector<HeaderDifference> compare_headers(const DiffSide& first_side, const DiffSide& second_side,
                                              const DiffOptions& options)
{
    const HeaderListing& first = first_side.listing;
    const HeaderListing& second = second_side.listing;
    const RowTree a(first.rows, options);
    const RowTree b(second.rows, options);
    std::vector<HeaderDifference> differences;
    CompareBlocks blocks;
    // Sequences and items match by place alone; values by their bytes, b's
    // numbers reversed where the byte orders differ.
    const auto same = [&](int32_t a_row, int32_t b_row) {
        const ElementRow& ra = first.rows[static_cast<std::size_t>(a_row)];
        const ElementRow& rb = second.rows[static_cast<std::size_t>(b_row)];
        if (ra.folds() || rb.folds()) {
            return ra.folds() == rb.folds();
        }
        const bool swapped = is_big_endian(first_side, ra) != is_big_endian(second_side, rb);
        const std::size_t swap = swapped ? number_size(vr_of(ra, rb, first.grid.cell(a_row + 1, 2))) : 1;
        return same_value(ra, first_side.bytes, rb, second_side.bytes, swap, blocks);
    };
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
            } else if (!same(pair.a, pair.b)) {
                add(DiffMark::changed, pair.a, pair.b);
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
