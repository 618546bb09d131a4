// A tag typed as text: "(0010,0010)", "0010,0010" or "00100010", in either
// case, blanks around it ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The tag (group in the high 16 bits), or nothing when the text is not one
// of those forms.
std::optional<uint32_t> parse_tag_query(std::string_view text);

// `text` without the blanks (spaces and tabs) around it.
std::string_view trim_blanks(std::string_view text);
