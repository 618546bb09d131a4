#include "export/json_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <type_traits>

#include "export/values.h"

namespace {

const std::shared_ptr<const CharacterSet>& utf8_charset()
{
    static const std::shared_ptr<const CharacterSet> set =
        std::make_shared<const CharacterSet>(*CharacterSet::from_value("ISO_IR 192"));
    return set;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// 8 hex digits to a tag; false when they are not.
bool read_tag(std::string_view text, uint32_t& tag)
{
    if (text.size() != 8) return false;
    tag = 0;
    for (const char c : text) {
        const int digit = hex_digit(c);
        if (digit < 0) return false;
        tag = tag << 4 | static_cast<uint32_t>(digit);
    }
    return true;
}

void append_utf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool base64_decode(std::string_view text, std::string& out)
{
    if (text.size() % 4 != 0) return false;
    out.reserve(text.size() / 4 * 3);
    auto sextet = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const int padding = last ? (text[i + 3] == '=') + (text[i + 2] == '=' && text[i + 3] == '=') : 0;
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) {
            const int s = k >= 4 - padding ? 0 : sextet(text[i + static_cast<std::size_t>(k)]);
            if (s < 0) return false;
            v = v << 6 | static_cast<uint32_t>(s);
        }
        out += static_cast<char>(v >> 16);
        if (padding < 2) out += static_cast<char>((v >> 8) & 0xFF);
        if (padding < 1) out += static_cast<char>(v & 0xFF);
    }
    return true;
}

template <typename T>
void append_raw(std::string& bytes, T value)
{
    char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    bytes.append(raw, sizeof(T));
}

// A JSON number as T: integers exactly (also written as 1.0 or 1e3), floats
// rounded to the nearest; nothing when it is out of T's range.
template <typename T>
std::optional<T> number_as(std::string_view text)
{
    T value{};
    const auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (code == std::errc() && end == text.data() + text.size()) return value;
    if constexpr (std::is_integral_v<T>) {
        double real = 0;
        const auto [real_end, real_code] = std::from_chars(text.data(), text.data() + text.size(), real);
        // 2^63 and 2^64 round up to a double past the 64-bit types' maximum.
        const double most = static_cast<double>(std::numeric_limits<T>::max());
        if (real_code != std::errc() || real_end != text.data() + text.size() || std::floor(real) != real ||
            real < static_cast<double>(std::numeric_limits<T>::min()) || real > most ||
            (sizeof(T) == 8 && real >= most))
            return std::nullopt;
        return static_cast<T>(real);
    } else {
        return std::nullopt;
    }
}

class JsonModelReader {
public:
    explicit JsonModelReader(std::string_view text) : text_(text) {}

    bool read(std::vector<DataSet>& data_sets, std::string& error)
    {
        data_sets.clear();
        const bool ok = document(data_sets);
        if (!ok) {
            error = where() + ": " + error_;
            data_sets.clear();
        }
        return ok;
    }

private:
    bool document(std::vector<DataSet>& data_sets)
    {
        skip_space();
        if (peek('{')) {
            data_sets.emplace_back();
            if (!data_set(data_sets.back())) return false;
        } else if (take('[')) {
            skip_space();
            if (!take(']')) {
                do {
                    skip_space();
                    data_sets.emplace_back();
                    if (!data_set(data_sets.back())) return false;
                    skip_space();
                } while (take(','));
                if (!expect(']', "',' or ']' after a data set")) return false;
            }
        } else {
            return fail("expected a data set (an object) or an array of them");
        }
        skip_space();
        if (at_ != text_.size()) return fail("text after the end of the JSON model");
        return true;
    }

    bool data_set(DataSet& set)
    {
        if (depth_ >= json_depth_limit)
            return fail("data sets nested deeper than the limit of " + std::to_string(json_depth_limit));
        ++depth_;
        set.charset = utf8_charset();
        if (!expect('{', "'{' opening a data set")) return false;
        skip_space();
        if (!take('}')) {
            do {
                skip_space();
                const std::size_t key_at = at_;
                std::string key;
                if (!string(key)) return false;
                uint32_t tag = 0;
                if (!read_tag(key, tag)) {
                    at_ = key_at;
                    return fail("the member name \"" + key + "\" is no tag of 8 hex digits");
                }
                skip_space();
                if (!expect(':', "':' after a tag")) return false;
                skip_space();
                set.elements.emplace_back();
                set.elements.back().tag = tag;
                if (!element(set.elements.back())) return false;
                skip_space();
            } while (take(','));
            if (!expect('}', "',' or '}' after an element")) return false;
        }
        --depth_;
        std::stable_sort(set.elements.begin(), set.elements.end(),
                         [](const DataElement& a, const DataElement& b) { return a.tag < b.tag; });
        for (std::size_t i = 1; i < set.elements.size(); ++i)
            if (set.elements[i].tag == set.elements[i - 1].tag)
                return fail("the tag " + tag_hex(set.elements[i].tag) + " appears twice in one data set");
        return true;
    }

    bool element(DataElement& element)
    {
        if (!expect('{', "'{' opening an element")) return false;
        std::optional<std::size_t> value_at;
        bool has_vr = false;
        bool has_binary = false;
        bool has_value = false;
        skip_space();
        if (!take('}')) {
            do {
                skip_space();
                std::string key;
                if (!string(key)) return false;
                skip_space();
                if (!expect(':', "':' after a member name")) return false;
                skip_space();
                if (key == "vr") {
                    std::string vr;
                    const std::size_t vr_at = at_;
                    if (!string(vr)) return false;
                    if (vr.size() != 2 || vr[0] < 'A' || vr[0] > 'Z' || vr[1] < 'A' || vr[1] > 'Z') {
                        at_ = vr_at;
                        return fail("\"" + vr + "\" is no VR");
                    }
                    element.vr = vr_code(vr[0], vr[1]);
                    has_vr = true;
                } else if (key == "Value" && has_vr) {
                    if (!values(element)) return false;
                    has_value = true;
                } else if (key == "Value") {
                    // Read once the VR is known: it comes after the values.
                    value_at = at_;
                    if (!skip_value(0)) return false;
                } else if (key == "InlineBinary") {
                    const std::size_t binary_at = at_;
                    std::string text, bytes;
                    if (!string(text)) return false;
                    if (!base64_decode(text, bytes)) {
                        at_ = binary_at;
                        return fail("InlineBinary of " + tag_hex(element.tag) + " is not Base64");
                    }
                    element.value.append(bytes);
                    has_binary = true;
                } else if (key == "BulkDataURI") {
                    if (!string(element.bulk_data_uri)) return false;
                    has_binary = true;
                } else if (!skip_value(0)) {
                    return false;
                }
                skip_space();
            } while (take(','));
            if (!expect('}', "',' or '}' in an element")) return false;
        }
        if (!has_vr) return fail("the element " + tag_hex(element.tag) + " has no \"vr\"");
        if ((value_at || has_value) && has_binary)
            return fail("the element " + tag_hex(element.tag) + " has both a Value and binary data");
        if (value_at) {
            const std::size_t end = at_;
            at_ = *value_at;
            if (!values(element)) return false;
            at_ = end;
        }
        return true;
    }

    // The "Value" array, by the kind of the element's VR.
    bool values(DataElement& element)
    {
        const ValueKind kind = value_kind(element.vr);
        if (kind == ValueKind::binary)
            return fail("the element " + tag_hex(element.tag) + " of VR " + vr_text(element.vr) +
                        " has a Value array; its bytes belong in InlineBinary");
        if (!expect('[', "'[' opening a Value array")) return false;
        std::string bytes;
        skip_space();
        bool first = true;
        if (!take(']')) {
            do {
                skip_space();
                if (kind == ValueKind::sequence) {
                    element.is_sequence = true;
                    element.items.emplace_back();
                    if (!data_set(element.items.back())) return false;
                } else {
                    if (!first && (kind == ValueKind::text || kind == ValueKind::number_text ||
                                   kind == ValueKind::person_name))
                        bytes += '\\';
                    if (!value(element, kind, bytes)) return false;
                }
                first = false;
                skip_space();
            } while (take(','));
            if (!expect(']', "',' or ']' in a Value array")) return false;
        }
        if (kind == ValueKind::sequence) element.is_sequence = true;
        element.value.append(bytes);
        return true;
    }

    bool value(const DataElement& element, ValueKind kind, std::string& bytes)
    {
        const std::size_t value_at = at_;
        if (literal("null")) {
            if (kind == ValueKind::text || kind == ValueKind::number_text || kind == ValueKind::person_name)
                return true;
            if (element.vr == VR_FL) {
                append_raw(bytes, std::numeric_limits<float>::quiet_NaN());
                return true;
            }
            if (element.vr == VR_FD) {
                append_raw(bytes, std::numeric_limits<double>::quiet_NaN());
                return true;
            }
            return fail("null is no value of VR " + vr_text(element.vr));
        }
        switch (kind) {
        case ValueKind::text:
        case ValueKind::number_text: {
            std::string_view number_token;
            if (peek('"')) {
                std::string text;
                if (!string(text)) return false;
                bytes += text;
            } else if (number(number_token)) {
                bytes += number_token;
            } else {
                return false;
            }
            return true;
        }
        case ValueKind::person_name: return person_name(bytes);
        case ValueKind::tag: {
            std::string text;
            if (!string(text)) return false;
            uint32_t tag = 0;
            if (!read_tag(text, tag)) {
                at_ = value_at;
                return fail("\"" + text + "\" is no tag of 8 hex digits");
            }
            append_raw(bytes, static_cast<uint16_t>(tag >> 16));
            append_raw(bytes, static_cast<uint16_t>(tag & 0xFFFF));
            return true;
        }
        case ValueKind::number: return binary_number(element.vr, bytes);
        default: return fail("unexpected value");
        }
    }

    bool binary_number(int32_t vr, std::string& bytes)
    {
        const std::size_t number_at = at_;
        std::string_view token;
        if (!number(token)) return false;
        bool ok = false;
        auto put = [&](auto type_tag) {
            using T = decltype(type_tag);
            if (const auto n = number_as<T>(token)) {
                append_raw(bytes, *n);
                ok = true;
            }
        };
        switch (vr) {
        case VR_US: put(uint16_t{}); break;
        case VR_SS: put(int16_t{}); break;
        case VR_UL: put(uint32_t{}); break;
        case VR_SL: put(int32_t{}); break;
        case VR_FL: put(float{}); break;
        case VR_FD: put(double{}); break;
        case VR_SV: put(int64_t{}); break;
        case VR_UV: put(uint64_t{}); break;
        default: break;
        }
        if (!ok) {
            at_ = number_at;
            return fail(std::string(token) + " is out of the range of VR " + vr_text(vr));
        }
        return true;
    }

    bool person_name(std::string& bytes)
    {
        if (peek('"')) { // a name written as its text
            std::string text;
            if (!string(text)) return false;
            bytes += text;
            return true;
        }
        if (!expect('{', "a person name object")) return false;
        std::string groups[3];
        skip_space();
        if (!take('}')) {
            do {
                skip_space();
                std::string key;
                if (!string(key)) return false;
                skip_space();
                if (!expect(':', "':' after a member name")) return false;
                skip_space();
                int index = -1;
                if (key == "Alphabetic") index = 0;
                if (key == "Ideographic") index = 1;
                if (key == "Phonetic") index = 2;
                if (index < 0) {
                    if (!skip_value(0)) return false;
                } else if (!literal("null") && !string(groups[index])) {
                    return false;
                }
                skip_space();
            } while (take(','));
            if (!expect('}', "',' or '}' in a person name")) return false;
        }
        std::size_t used = 3;
        while (used > 1 && groups[used - 1].empty())
            --used;
        for (std::size_t i = 0; i < used; ++i) {
            if (i != 0) bytes += '=';
            bytes += groups[i];
        }
        return true;
    }

    // The tokenizer.
    void skip_space()
    {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }
    bool peek(char c) const { return at_ < text_.size() && text_[at_] == c; }
    bool take(char c)
    {
        if (!peek(c)) return false;
        ++at_;
        return true;
    }
    bool expect(char c, const char* what) { return take(c) || fail(std::string("expected ") + what); }
    bool literal(std::string_view word)
    {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    bool string(std::string& out)
    {
        out.clear();
        const std::size_t start = at_;
        if (!take('"')) return fail("expected a string");
        for (;;) {
            const std::size_t plain = text_.find_first_of("\"\\", at_);
            if (plain == std::string_view::npos) {
                at_ = start;
                return fail("a string does not end");
            }
            for (std::size_t i = at_; i < plain; ++i)
                if (static_cast<unsigned char>(text_[i]) < 0x20) {
                    at_ = i;
                    return fail("a control character inside a string");
                }
            out.append(text_.substr(at_, plain - at_));
            at_ = plain + 1;
            if (text_[plain] == '"') return true;
            if (at_ >= text_.size()) {
                at_ = start;
                return fail("a string does not end");
            }
            const char escape = text_[at_++];
            switch (escape) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                uint32_t code = 0;
                if (!hex4(code)) return false;
                if (code >= 0xD800 && code < 0xDC00) {
                    uint32_t low = 0;
                    if (!literal("\\u") || !hex4(low) || low < 0xDC00 || low >= 0xE000)
                        return fail("a \\u escape of a high surrogate without its low one");
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                } else if (code >= 0xDC00 && code < 0xE000) {
                    return fail("a \\u escape of a low surrogate alone");
                }
                append_utf8(out, code);
                break;
            }
            default: --at_; return fail("an unknown escape in a string");
            }
        }
    }

    bool hex4(uint32_t& code)
    {
        if (at_ + 4 > text_.size()) return fail("a \\u escape without 4 hex digits");
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = hex_digit(text_[at_]);
            if (digit < 0) return fail("a \\u escape without 4 hex digits");
            code = code << 4 | static_cast<uint32_t>(digit);
            ++at_;
        }
        return true;
    }

    // A number token as JSON writes it: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
    bool number(std::string_view& token)
    {
        const std::size_t start = at_;
        auto digits = [&] {
            const std::size_t from = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9')
                ++at_;
            return at_ - from;
        };
        take('-');
        if (take('0')) {
            // no more digits may follow a leading zero
        } else if (digits() == 0) {
            at_ = start;
            return fail("expected a value");
        }
        if (take('.') && digits() == 0) return fail("a number without digits after its '.'");
        if (take('e') || take('E')) {
            if (!take('+')) take('-');
            if (digits() == 0) return fail("a number without digits in its exponent");
        }
        token = text_.substr(start, at_ - start);
        return true;
    }

    // Any JSON value, checked and passed over.
    bool skip_value(int depth)
    {
        if (depth > 4 * json_depth_limit) return fail("JSON nested deeper than the limit");
        skip_space();
        if (peek('"')) {
            std::string ignored;
            return string(ignored);
        }
        if (literal("null") || literal("true") || literal("false")) return true;
        const bool object = peek('{');
        if (object || peek('[')) {
            ++at_;
            const char close = object ? '}' : ']';
            skip_space();
            if (take(close)) return true;
            do {
                skip_space();
                if (object) {
                    std::string ignored;
                    if (!string(ignored)) return false;
                    skip_space();
                    if (!expect(':', "':' after a member name")) return false;
                }
                if (!skip_value(depth + 1)) return false;
                skip_space();
            } while (take(','));
            return expect(close, object ? "',' or '}'" : "',' or ']'");
        }
        std::string_view ignored;
        return number(ignored);
    }

    bool fail(std::string message)
    {
        if (error_.empty()) {
            error_ = std::move(message);
            error_at_ = std::min(at_, text_.size());
        }
        return false;
    }

    // The line and column of the failure, counted from 1.
    std::string where() const
    {
        std::size_t line = 1, column = 1;
        for (std::size_t i = 0; i < error_at_; ++i) {
            if (text_[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        return "line " + std::to_string(line) + ", column " + std::to_string(column);
    }

    std::string_view text_;
    std::size_t at_ = 0;
    int depth_ = 0;
    std::string error_;
    std::size_t error_at_ = 0;
};

} // namespace

bool read_json(std::string_view text, std::vector<DataSet>& data_sets, std::string& error)
{
    return JsonModelReader(text).read(data_sets, error);
}
