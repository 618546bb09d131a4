#include "export/values.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

bool is_pad(char c) { return c == ' ' || c == '\0'; }

std::string_view trim_end(std::string_view text)
{
    while (!text.empty() && is_pad(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view trim(std::string_view text)
{
    text = trim_end(text);
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    return text;
}

// Leading spaces carry meaning in these VRs' values.
bool keeps_leading_spaces(int32_t vr) { return vr == VR_LT || vr == VR_ST || vr == VR_UT || vr == VR_UC; }

std::string decode(const DataElement& element, const CharacterSet* charset, TextShape shape)
{
    static const std::optional<CharacterSet> default_set = CharacterSet::from_value("ISO_IR 6");
    const CharacterSet* set = charset != nullptr ? charset : &*default_set;
    // Text VRs of the default repertoire only are not decoded with the data set's set.
    if (element.vr == VR_UI || element.vr == VR_DS || element.vr == VR_IS || element.vr == VR_AS ||
        element.vr == VR_DA || element.vr == VR_TM || element.vr == VR_DT || element.vr == VR_CS ||
        element.vr == VR_AE || element.vr == VR_UR) {
        set = &*default_set;
    }
    std::string_view bytes(element.value);
    const std::size_t zero = bytes.find('\0');
    if (zero != std::string_view::npos) {
        bytes = bytes.substr(0, zero);
    }
    return set->decode(bytes, shape);
}

std::vector<std::string_view> split(std::string_view text, char at)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t next = text.find(at, start);
        parts.push_back(
            text.substr(start, next == std::string_view::npos ? std::string_view::npos : next - start));
        if (next == std::string_view::npos) {
            return parts;
        }
        start = next + 1;
    }
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

template <typename T>
void append_numbers(std::vector<std::string>& out, std::string_view bytes)
{
    for (std::size_t at = 0; at + sizeof(T) <= bytes.size(); at += sizeof(T)) {
        T number;
        std::memcpy(&number, bytes.data() + at, sizeof(T));
        if constexpr (std::is_floating_point_v<T>) {
            if (!std::isfinite(number)) {
                out.emplace_back("null");
                continue;
            }
        }
        char text[64];
        const auto written = std::to_chars(text, text + sizeof text, number);
        out.emplace_back(text, written.ptr);
    }
}

} // namespace

ValueKind value_kind(int32_t vr)
{
    switch (vr) {
    case VR_DS:
    case VR_IS: return ValueKind::number_text;
    case VR_PN: return ValueKind::person_name;
    case VR_US:
    case VR_SS:
    case VR_UL:
    case VR_SL:
    case VR_FL:
    case VR_FD:
    case VR_SV:
    case VR_UV: return ValueKind::number;
    case VR_AT: return ValueKind::tag;
    case VR_SQ: return ValueKind::sequence;
    case VR_AE:
    case VR_AS:
    case VR_CS:
    case VR_DA:
    case VR_DT:
    case VR_LO:
    case VR_LT:
    case VR_SH:
    case VR_ST:
    case VR_TM:
    case VR_UC:
    case VR_UI:
    case VR_UR:
    case VR_UT: return ValueKind::text;
    default: return ValueKind::binary;
    }
}

std::vector<std::string> text_values(const DataElement& element, const CharacterSet* charset)
{
    std::vector<std::string> values;
    const bool single = element.vr == VR_LT || element.vr == VR_ST || element.vr == VR_UT || element.vr == VR_UR;
    const std::string text = decode(element, charset, single ? TextShape::single_valued : TextShape::multi_valued);
    if (trim_end(text).empty()) {
        return values;
    }
    if (single) {
        values.emplace_back(keeps_leading_spaces(element.vr) ? trim_end(text) : trim(text));
        return values;
    }
    for (std::string_view part : split(text, '\\')) {
        values.emplace_back(keeps_leading_spaces(element.vr) ? trim_end(part) : trim(part));
    }
    return values;
}

std::vector<PersonName> person_names(const DataElement& element, const CharacterSet* charset)
{
    std::vector<PersonName> names;
    const std::string text = decode(element, charset, TextShape::person_name);
    if (trim_end(text).empty()) {
        return names;
    }
    for (std::string_view part : split(text, '\\')) {
        const std::vector<std::string_view> groups = split(trim(part), '=');
        PersonName name;
        name.alphabetic = trim_end(groups[0]);
        if (groups.size() > 1) {
            name.ideographic = trim_end(groups[1]);
        }
        if (groups.size() > 2) {
            name.phonetic = trim_end(groups[2]);
        }
        names.push_back(std::move(name));
    }
    return names;
}

std::optional<std::string> number_text(std::string_view text, bool integer)
{
    text = trim(text);
    std::string out;
    std::size_t at = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        if (text[at] == '-') {
            out += '-';
        }
        ++at;
    }
    const std::size_t int_start = at;
    while (at < text.size() && is_digit(text[at])) {
        ++at;
    }
    std::string_view int_part = text.substr(int_start, at - int_start);
    std::string_view fraction;
    bool point = false;
    if (!integer && at < text.size() && text[at] == '.') {
        point = true;
        const std::size_t start = ++at;
        while (at < text.size() && is_digit(text[at])) {
            ++at;
        }
        fraction = text.substr(start, at - start);
    }
    if (int_part.empty() && fraction.empty()) {
        return std::nullopt;
    }
    std::string_view exponent;
    char exponent_sign = '+';
    if (!integer && at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
            exponent_sign = text[at++];
        }
        const std::size_t start = at;
        while (at < text.size() && is_digit(text[at])) {
            ++at;
        }
        exponent = text.substr(start, at - start);
        if (exponent.empty()) {
            return std::nullopt;
        }
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    while (int_part.size() > 1 && int_part.front() == '0') {
        int_part.remove_prefix(1);
    }
    out += int_part.empty() ? std::string_view("0") : int_part;
    if (point && !fraction.empty()) {
        out += '.';
        out += fraction;
    }
    if (!exponent.empty()) {
        out += 'e';
        if (exponent_sign == '-') {
            out += '-';
        }
        out += exponent;
    }
    if (out == "-0" && integer) {
        out = "0";
    }
    return out;
}

std::vector<std::string> binary_numbers(const DataElement& element)
{
    std::vector<std::string> out;
    switch (element.vr) {
    case VR_US: append_numbers<uint16_t>(out, element.value); break;
    case VR_SS: append_numbers<int16_t>(out, element.value); break;
    case VR_UL: append_numbers<uint32_t>(out, element.value); break;
    case VR_SL: append_numbers<int32_t>(out, element.value); break;
    case VR_FL: append_numbers<float>(out, element.value); break;
    case VR_FD: append_numbers<double>(out, element.value); break;
    case VR_SV: append_numbers<int64_t>(out, element.value); break;
    case VR_UV: append_numbers<uint64_t>(out, element.value); break;
    default: break;
    }
    return out;
}

std::vector<std::string> tag_values(const DataElement& element)
{
    std::vector<std::string> out;
    for (std::size_t at = 0; at + 4 <= element.value.size(); at += 4) {
        uint16_t pair[2];
        std::memcpy(pair, element.value.data() + at, 4);
        out.push_back(tag_hex((uint32_t{pair[0]} << 16) | pair[1]));
    }
    return out;
}

std::string tag_hex(uint32_t tag)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out(8, '0');
    for (int i = 7; i >= 0; --i, tag >>= 4) {
        out[static_cast<std::size_t>(i)] = digits[tag & 0xF];
    }
    return out;
}

std::string vr_text(int32_t vr)
{
    const char first = static_cast<char>((vr >> 8) & 0xFF);
    const char second = static_cast<char>(vr & 0xFF);
    if (first < 'A' || first > 'Z' || second < 'A' || second > 'Z' || (vr >> 16) != 0) {
        return "UN";
    }
    return {first, second};
}

void append_base64(std::string& out, std::string_view bytes)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t whole = bytes.size() / 3 * 3;
    const std::size_t start = out.size();
    out.resize(start + (bytes.size() + 2) / 3 * 4);
    char* to = out.data() + start;
    for (std::size_t i = 0; i < whole; i += 3) {
        const uint32_t v = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
        *to++ = alphabet[v >> 18];
        *to++ = alphabet[(v >> 12) & 63];
        *to++ = alphabet[(v >> 6) & 63];
        *to++ = alphabet[v & 63];
    }
    const std::size_t rest = bytes.size() - whole;
    if (rest != 0) {
        const uint32_t v = (uint32_t{data[whole]} << 16) | (rest == 2 ? uint32_t{data[whole + 1]} << 8 : 0);
        *to++ = alphabet[v >> 18];
        *to++ = alphabet[(v >> 12) & 63];
        *to++ = rest == 2 ? alphabet[(v >> 6) & 63] : '=';
        *to++ = '=';
    }
}

std::string bulk_data_uri(const std::string& absolute_path, const DataElement& element)
{
    std::string uri = "file://";
    for (const char c : absolute_path) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || c == '/' || c == '-' ||
            c == '_' || c == '.' || c == '~') {
            uri += c;
        } else {
            static constexpr char digits[] = "0123456789ABCDEF";
            uri += '%';
            uri += digits[u >> 4];
            uri += digits[u & 0xF];
        }
    }
    uri += "#offset=" + std::to_string(element.file_offset) + "&length=" + std::to_string(element.file_length);
    return uri;
}
