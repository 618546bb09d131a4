#include "browser/row_find.h"

#include <algorithm>
#include <functional>

#include "browser/tag_query.h"
#include "reader/dictionary_keywords.h"

namespace {

// Between a row's texts, and between rows: bytes no query holds.
constexpr char field_end = '\x01';
constexpr char row_end = '\0';

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

void append_lower(std::string& out, std::string_view text)
{
    for (const char c : text) {
        out += lower(c);
    }
}

std::string_view keyword_of(uint32_t tag)
{
    const char* keyword = keyword_of_tag(tag);
    return keyword != nullptr ? std::string_view(keyword) : std::string_view();
}

} // namespace

int32_t FindResult::next_match(int32_t row) const
{
    if (matches.empty()) {
        return -1;
    }
    const auto after = std::upper_bound(matches.begin(), matches.end(), row);
    return after != matches.end() ? *after : matches.front();
}

int32_t FindResult::previous_match(int32_t row) const
{
    if (matches.empty()) {
        return -1;
    }
    const auto at = std::lower_bound(matches.begin(), matches.end(), row);
    return at != matches.begin() ? *(at - 1) : matches.back();
}

RowFinder::RowFinder(const HeaderListing& listing) : rows_(listing.rows)
{
    starts_.reserve(rows_.size());
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        const int grid_row = static_cast<int>(row) + 1;
        starts_.push_back(text_.size());
        append_lower(text_, keyword_of(rows_[row].tag));
        text_ += field_end;
        append_lower(text_, listing.grid.cell_utf8(grid_row, 4));
        text_ += field_end;
        append_lower(text_, listing.grid.cell_utf8(grid_row, 5));
        text_ += row_end;
    }
}

void RowFinder::add_matches_of_text(const std::string& needle, std::vector<uint8_t>& matched) const
{
    if (needle.find(field_end) != std::string::npos || needle.find(row_end) != std::string::npos) {
        return;
    }
    const std::boyer_moore_horspool_searcher searcher(needle.begin(), needle.end());
    auto from = text_.begin();
    for (;;) {
        const auto hit = std::search(from, text_.end(), searcher);
        if (hit == text_.end()) {
            return;
        }
        const auto offset = static_cast<std::size_t>(hit - text_.begin());
        const std::size_t row =
            static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin()) -
            1;
        matched[row] = 1;
        // One hit is enough for a row: go on from the next one.
        if (row + 1 >= starts_.size()) {
            return;
        }
        from = text_.begin() + static_cast<std::ptrdiff_t>(starts_[row + 1]);
    }
}

FindResult RowFinder::find(std::string_view query) const
{
    FindResult result;
    query = trim_blanks(query);
    if (query.empty()) {
        return result;
    }
    std::vector<uint8_t> matched(rows_.size(), 0);
    if (const std::optional<uint32_t> tag = parse_tag_query(query)) {
        for (std::size_t row = 0; row < rows_.size(); ++row) {
            if (rows_[row].tag == *tag) {
                matched[row] = 1;
            }
        }
    }
    std::string needle;
    append_lower(needle, query);
    add_matches_of_text(needle, matched);

    // The rows above each match: climb until a row already shown.
    std::vector<uint8_t> shown(rows_.size(), 0);
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        if (matched[row] == 0) {
            continue;
        }
        result.matches.push_back(static_cast<int32_t>(row));
        shown[row] = 1;
        for (int32_t above = rows_[row].parent; above >= 0 && above < static_cast<int32_t>(row);
             above = rows_[static_cast<std::size_t>(above)].parent) {
            if (shown[static_cast<std::size_t>(above)] != 0) {
                break;
            }
            shown[static_cast<std::size_t>(above)] = 1;
        }
    }
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        if (shown[row] != 0) {
            result.shown.push_back(static_cast<int32_t>(row));
        }
    }
    return result;
}
