#include "browser/tag_query.h"

namespace {

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Exactly four hexadecimal digits.
std::optional<uint32_t> hex16(std::string_view text)
{
    if (text.size() != 4) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (const char c : text) {
        const int digit = hex_digit(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    return value;
}

std::optional<uint32_t> tag_of(std::optional<uint32_t> group, std::optional<uint32_t> element)
{
    if (!group || !element) {
        return std::nullopt;
    }
    return (*group << 16) | *element;
}

} // namespace

std::optional<uint32_t> parse_tag_query(std::string_view text)
{
    text = trim_blanks(text);
    if (text.size() == 11 && text.front() == '(' && text.back() == ')') {
        text = text.substr(1, 9);
    }
    if (text.size() == 9 && text[4] == ',') {
        return tag_of(hex16(text.substr(0, 4)), hex16(text.substr(5, 4)));
    }
    if (text.size() == 8) {
        return tag_of(hex16(text.substr(0, 4)), hex16(text.substr(4, 4)));
    }
    return std::nullopt;
}

std::string_view trim_blanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}
