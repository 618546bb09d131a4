// Find over a header listing: a query matches a row by its tag ("(0010,0010)",
// "0010,0010", "00100010"), or as text within its keyword, description or
// value, case-insensitively (ASCII letters).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/header_walk.h"

struct FindResult {
    std::vector<int32_t> matches; // the matching rows, ascending
    std::vector<int32_t> shown;   // the matches and the sequence and item rows above them, ascending

    // The first match after `row`, else the first match; -1 without matches.
    int32_t next_match(int32_t row) const;
    // The last match before `row`, else the last match; -1 without matches.
    int32_t previous_match(int32_t row) const;
};

class RowFinder {
public:
    // Takes the rows' texts once, so that each query is one pass over them.
    // The listing's rows must outlive the finder and stay as they are.
    explicit RowFinder(const HeaderListing& listing);

    // Nothing matches an empty query or one of blanks alone.
    FindResult find(std::string_view query) const;

private:
    void add_matches_of_text(const std::string& needle, std::vector<uint8_t>& matched) const;

    const std::vector<ElementRow>& rows_;
    std::string text_;                // each row's keyword, description and value, lower case
    std::vector<std::size_t> starts_; // where each row's text starts in text_
};
