// The DICOM registry's keywords ("PatientName"), generated into
// dictionary_keywords.cpp by scripts/make_dictionary_names.py, and the lookups
// both ways between a tag and its keyword.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

struct TagKeyword {
    uint32_t tag; // group in the high 16 bits
    const char* keyword;
};

// A repeating group or element: tags with (tag & mask) == value.
struct MaskedTagKeyword {
    uint32_t value;
    uint32_t mask;
    const char* keyword;
};

extern const TagKeyword tag_keywords[]; // ascending by tag
extern const std::size_t tag_keywords_size;
extern const MaskedTagKeyword masked_tag_keywords[]; // fewest wildcards first
extern const std::size_t masked_tag_keywords_size;
extern const TagKeyword keyword_tags[]; // every keyword once, ascending by keyword (bytes)
extern const std::size_t keyword_tags_size;

// The registry's keyword of a tag (group in the high 16 bits), or null for
// private tags, odd groups and tags the registry does not list. A repeating
// group's tags (6002,3000) share its keyword ("OverlayData").
const char* keyword_of_tag(uint32_t tag);

// The tag of a keyword, or nothing when the registry has no such keyword
// (keywords are case-sensitive). A repeating group's keyword gives its lowest
// tag that has it: "OverlayData" is (6000,3000).
std::optional<uint32_t> tag_of_keyword(std::string_view keyword);
