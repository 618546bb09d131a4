#include "charset.h"

#include <algorithm>
#include <cstring>

#include "encoding.h"
#include "reader/vr.h"

enum class CharacterSet::Codec : uint8_t {
    latin1, // also the default repertoire: bytes above 0x7F read as ISO 8859-1
    latin2,
    latin3,
    latin4,
    cyrillic,
    arabic,
    greek,
    hebrew,
    latin5,
    latin9,
    thai,
    jis_x0201, // Shift-JIS single bytes: 0x5C stays a backslash
    jis_x0208, // two 7-bit bytes per character
    jis_x0212, // two 7-bit bytes per character
    ks_x1001,  // two high bytes per character, ASCII below
    gb2312,    // two high bytes per character, ASCII below
    utf8,
    gbk,
    gb18030,
};

namespace {

using Codec = CharacterSet::Codec;

constexpr char esc = '\x1B';

struct Term {
    std::string_view name;
    Codec codec;
    std::string_view escape; // empty for sets that take no code extensions
};

constexpr Term known_terms[] = {
    {"ISO_IR 6", Codec::latin1, ""},
    {"ISO_IR 100", Codec::latin1, ""},
    {"ISO_IR 101", Codec::latin2, ""},
    {"ISO_IR 109", Codec::latin3, ""},
    {"ISO_IR 110", Codec::latin4, ""},
    {"ISO_IR 144", Codec::cyrillic, ""},
    {"ISO_IR 127", Codec::arabic, ""},
    {"ISO_IR 126", Codec::greek, ""},
    {"ISO_IR 138", Codec::hebrew, ""},
    {"ISO_IR 148", Codec::latin5, ""},
    {"ISO_IR 203", Codec::latin9, ""},
    {"ISO_IR 166", Codec::thai, ""},
    {"ISO_IR 13", Codec::jis_x0201, ""},
    {"ISO_IR 192", Codec::utf8, ""},
    {"GB18030", Codec::gb18030, ""},
    {"GBK", Codec::gbk, ""},
    {"ISO 2022 IR 6", Codec::latin1, "\x1B(B"},
    {"ISO 2022 IR 100", Codec::latin1, "\x1B-A"},
    {"ISO 2022 IR 101", Codec::latin2, "\x1B-B"},
    {"ISO 2022 IR 109", Codec::latin3, "\x1B-C"},
    {"ISO 2022 IR 110", Codec::latin4, "\x1B-D"},
    {"ISO 2022 IR 144", Codec::cyrillic, "\x1B-L"},
    {"ISO 2022 IR 127", Codec::arabic, "\x1B-G"},
    {"ISO 2022 IR 126", Codec::greek, "\x1B-F"},
    {"ISO 2022 IR 138", Codec::hebrew, "\x1B-H"},
    {"ISO 2022 IR 148", Codec::latin5, "\x1B-M"},
    {"ISO 2022 IR 203", Codec::latin9, "\x1B-b"},
    {"ISO 2022 IR 166", Codec::thai, "\x1B-T"},
    {"ISO 2022 IR 13", Codec::jis_x0201, "\x1B)I"},
    {"ISO 2022 IR 87", Codec::jis_x0208, "\x1B$B"},
    {"ISO 2022 IR 159", Codec::jis_x0212, "\x1B$(D"},
    {"ISO 2022 IR 149", Codec::ks_x1001, "\x1B$)C"},
    {"ISO 2022 IR 58", Codec::gb2312, "\x1B$)A"},
};

// Escapes to the G0 sets that every code extension may use: ASCII and the
// JIS X 0201 Roman set (read like ASCII, 0x5C a backslash).
constexpr Term g0_escapes[] = {
    {"", Codec::latin1, "\x1B(B"},
    {"", Codec::jis_x0201, "\x1B(J"},
};

const char* iconv_name(Codec codec)
{
    switch (codec) {
    case Codec::latin1: return "ISO-8859-1";
    case Codec::latin2: return "ISO-8859-2";
    case Codec::latin3: return "ISO-8859-3";
    case Codec::latin4: return "ISO-8859-4";
    case Codec::cyrillic: return "ISO-8859-5";
    case Codec::arabic: return "ISO-8859-6";
    case Codec::greek: return "ISO-8859-7";
    case Codec::hebrew: return "ISO-8859-8";
    case Codec::latin5: return "ISO-8859-9";
    case Codec::latin9: return "ISO-8859-15";
    case Codec::thai: return "TIS-620";
    case Codec::jis_x0201: return "CP932";
    case Codec::jis_x0208:
    case Codec::jis_x0212: return "EUC-JP";
    case Codec::ks_x1001: return "EUC-KR";
    case Codec::gb2312: return "GB2312";
    case Codec::utf8: return "UTF-8";
    case Codec::gbk: return "GBK";
    case Codec::gb18030: return "GB18030";
    }
    return "ISO-8859-1";
}

// Sets whose characters are pairs of 7-bit bytes: "^" and "=" may be half of
// a character there, so only control characters end them.
bool is_seven_bit_pairs(Codec codec) { return codec == Codec::jis_x0208 || codec == Codec::jis_x0212; }

bool is_graphic_7bit(unsigned char b) { return b >= 0x21 && b <= 0x7E; }

// Appends a run of bytes in one set as UTF-8.
void append_run(std::string& out, Codec codec, std::string_view bytes, bool cut)
{
    if (bytes.empty()) {
        return;
    }
    if (!is_seven_bit_pairs(codec)) {
        append_as_utf8(out, iconv_name(codec), bytes, cut);
        return;
    }
    // JIS X 0208 and 0212 in EUC-JP form: graphic bytes get their high bit,
    // JIS X 0212 characters the 0x8F prefix; a high byte has no meaning here.
    std::string euc;
    euc.reserve(bytes.size() * 3 / 2 + 1);
    bool first_of_pair = true;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (is_graphic_7bit(b)) {
            if (first_of_pair && codec == Codec::jis_x0212) {
                euc += '\x8F';
            }
            euc += static_cast<char>(b | 0x80);
            first_of_pair = !first_of_pair;
        } else {
            euc += b < 0x80 ? c : '\xFF';
            first_of_pair = true;
        }
    }
    append_as_utf8(out, "EUC-JP", euc, cut);
}

std::string_view trim_blanks(std::string_view s)
{
    while (!s.empty() && s.front() == ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) {
        s.remove_suffix(1);
    }
    return s;
}

const Term* find_term(std::string_view name)
{
    for (const Term& t : known_terms) {
        if (t.name == name) {
            return &t;
        }
    }
    return nullptr;
}

// Calls piece(part, is_last) for each part of bytes between separators.
template <typename Piece>
void split_at(std::string_view bytes, char separator, Piece piece)
{
    std::size_t start = 0;
    while (true) {
        const std::size_t end = bytes.find(separator, start);
        if (end == std::string_view::npos) {
            piece(bytes.substr(start), true);
            return;
        }
        piece(bytes.substr(start, end - start), false);
        start = end + 1;
    }
}

} // namespace

TextShape text_shape(int32_t vr)
{
    switch (vr) {
    case VR_LT:
    case VR_ST:
    case VR_UT:
    case VR_UR: return TextShape::single_valued;
    case VR_PN: return TextShape::person_name;
    default: return TextShape::multi_valued;
    }
}

std::optional<CharacterSet> CharacterSet::from_value(std::string_view value)
{
    value = value.substr(0, std::min(value.find('\0'), value.size()));
    if (trim_blanks(value).empty()) {
        return std::nullopt;
    }
    CharacterSet set;
    bool known = true;
    split_at(value, '\\', [&](std::string_view part, bool) {
        std::string_view name = trim_blanks(part);
        if (name.empty() && set.codecs_.empty()) {
            name = "ISO 2022 IR 6"; // an empty first term: the default repertoire
        }
        const Term* term = find_term(name);
        if (term == nullptr) {
            known = known && name.empty(); // a stray empty later term is harmless
            return;
        }
        set.codecs_.push_back(term->codec);
        set.escapes_.emplace_back(term->escape);
        set.code_extensions_ = set.code_extensions_ || !term->escape.empty();
    });
    if (!known || set.codecs_.empty()) {
        return std::nullopt;
    }
    const Codec first = set.codecs_.front();
    if (first == Codec::utf8 || first == Codec::gbk || first == Codec::gb18030) {
        // These sets take no code extensions: any further term is ignored.
        set.codecs_.resize(1);
        set.escapes_.resize(1);
        set.code_extensions_ = false;
    }
    return set;
}

std::size_t CharacterSet::match_escape(std::string_view bytes, Codec& codec) const
{
    for (std::size_t i = 0; i < escapes_.size(); ++i) {
        if (!escapes_[i].empty() && bytes.substr(0, escapes_[i].size()) == escapes_[i]) {
            codec = codecs_[i];
            return escapes_[i].size();
        }
    }
    for (const Term& t : g0_escapes) {
        if (bytes.substr(0, t.escape.size()) == t.escape) {
            codec = t.codec;
            return t.escape.size();
        }
    }
    return 0;
}

void CharacterSet::decode_run(std::string& out, std::string_view bytes, bool person_name, bool cut) const
{
    const Codec initial = codecs_.front();
    Codec active = initial;
    std::size_t run_start = 0;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == esc) {
            Codec next{};
            const std::size_t length = match_escape(bytes.substr(i), next);
            if (length > 0) {
                append_run(out, active, bytes.substr(run_start, i - run_start), false);
                active = next;
                i += length;
                run_start = i;
                continue;
            }
            if (cut && bytes.size() - i < 4) {
                // Possibly an escape sequence cut by the end of the bytes.
                append_run(out, active, bytes.substr(run_start, i - run_start), false);
                return;
            }
        } else if (b < 0x20 || (person_name && b == '^' && !is_seven_bit_pairs(active))) {
            // Control characters (and "^" between name groups) return to the
            // first set; the character itself is read in that set.
            if (active != initial) {
                append_run(out, active, bytes.substr(run_start, i - run_start), false);
                active = initial;
                run_start = i;
            }
        }
        ++i;
    }
    append_run(out, active, bytes.substr(run_start), cut);
}

std::string CharacterSet::decode(std::string_view bytes, TextShape shape, bool cut) const
{
    bytes = bytes.substr(0, std::min(bytes.find('\0'), bytes.size()));
    std::string out;
    if (!code_extensions_) {
        append_run(out, codecs_.front(), bytes, cut);
        return out;
    }
    const bool person_name = shape == TextShape::person_name;
    const auto decode_value = [&](std::string_view value, bool last_value) {
        if (!person_name) {
            decode_run(out, value, false, cut && last_value);
            return;
        }
        split_at(value, '=', [&](std::string_view component, bool last_component) {
            decode_run(out, component, true, cut && last_value && last_component);
            if (!last_component) {
                out += '=';
            }
        });
    };
    if (shape == TextShape::single_valued) {
        decode_value(bytes, true);
        return out;
    }
    split_at(bytes, '\\', [&](std::string_view value, bool last_value) {
        decode_value(value, last_value);
        if (!last_value) {
            out += '\\';
        }
    });
    return out;
}
