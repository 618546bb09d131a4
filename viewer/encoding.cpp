#include "encoding.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <vector>

namespace {

constexpr std::string_view replacement_utf8 = "\xEF\xBF\xBD";

// Converters opened once per thread and kept: a walk converts every cell.
class ConverterCache {
public:
    ~ConverterCache()
    {
        for (const Slot& slot : slots_) {
            iconv_close(slot.cd);
        }
    }
    // The converter, reset to its initial state; (iconv_t)-1 when there is none.
    iconv_t get(const char* to, const char* from)
    {
        for (const Slot& slot : slots_) {
            if (slot.to == to && slot.from == from) {
                iconv(slot.cd, nullptr, nullptr, nullptr, nullptr);
                return slot.cd;
            }
        }
        iconv_t cd = iconv_open(to, from);
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            slots_.push_back({to, from, cd});
        }
        return cd;
    }

private:
    struct Slot {
        std::string to;
        std::string from;
        iconv_t cd;
    };
    std::vector<Slot> slots_;
};

iconv_t converter(const char* to, const char* from)
{
    thread_local ConverterCache cache;
    return cache.get(to, from);
}

// Runs iconv over the whole input, appending to out; each byte it refuses is
// skipped and replaced by `replacement`. A character cut short by the end of
// the input is dropped when drop_incomplete_tail is set.
void convert(std::string& out, const char* to, const char* from, std::string_view in, std::string_view replacement,
             bool drop_incomplete_tail = false)
{
    // Every encoding converted here reads ASCII as ASCII.
    if (std::all_of(in.begin(), in.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        out += in;
        return;
    }
    const bool from_utf8 = std::string_view(from) == "UTF-8";
    iconv_t cd = converter(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // No converter: keep the ASCII bytes and mark the rest.
        for (char c : in) {
            if (static_cast<unsigned char>(c) < 0x80) {
                out += c;
            } else {
                out += replacement;
            }
        }
        return;
    }
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char chunk[256];
    while (src_left > 0) {
        char* dst = chunk;
        size_t dst_left = sizeof chunk;
        const size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
        out.append(chunk, static_cast<size_t>(dst - chunk));
        if (rc == static_cast<size_t>(-1)) {
            if (errno == E2BIG) {
                continue;
            }
            if (errno == EINVAL && drop_incomplete_tail) {
                break;
            }
            // EILSEQ or EINVAL (a cut multi-byte character): skip one byte.
            out += replacement;
            ++src;
            --src_left;
            if (from_utf8) {
                // Skip the rest of the refused character as well.
                while (src_left > 0 && (static_cast<unsigned char>(*src) & 0xC0) == 0x80) {
                    ++src;
                    --src_left;
                }
            }
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    char* dst = chunk;
    size_t dst_left = sizeof chunk;
    iconv(cd, nullptr, nullptr, &dst, &dst_left);
    out.append(chunk, static_cast<size_t>(dst - chunk));
}

// The length of the well-formed UTF-8 character at the start of bytes (1 to
// 4 bytes: no overlong form, no surrogate, nothing past U+10FFFF); 0 when
// the bytes start none; -1 when they end inside a character that was
// well-formed so far.
int utf8_character_length(std::string_view bytes)
{
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = at(0);
    if (lead < 0x80) {
        return 1;
    }
    int length = 0;
    unsigned char second_low = 0x80;
    unsigned char second_high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        second_low = lead == 0xE0 ? 0xA0 : 0x80;
        second_high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        second_low = lead == 0xF0 ? 0x90 : 0x80;
        second_high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    for (int k = 1; k < length; ++k) {
        if (static_cast<std::size_t>(k) >= bytes.size()) {
            return -1;
        }
        const unsigned char low = k == 1 ? second_low : 0x80;
        const unsigned char high = k == 1 ? second_high : 0xBF;
        if (at(static_cast<std::size_t>(k)) < low || at(static_cast<std::size_t>(k)) > high) {
            return 0;
        }
    }
    return length;
}

// UTF-8 checked here rather than by iconv, whose UTF-8 to UTF-8 conversion
// passes some ill-formed sequences (the old 5- and 6-byte forms) through.
// Each byte that starts no character becomes `replacement`, and the
// continuation bytes after it go with it.
void append_checked_utf8(std::string& out, std::string_view in, bool drop_incomplete_tail)
{
    std::size_t i = 0;
    while (i < in.size()) {
        const int length = utf8_character_length(in.substr(i));
        if (length > 0) {
            out.append(in.substr(i, static_cast<std::size_t>(length)));
            i += static_cast<std::size_t>(length);
            continue;
        }
        if (length < 0 && drop_incomplete_tail) {
            return;
        }
        out += replacement_utf8;
        ++i;
        while (i < in.size() && (static_cast<unsigned char>(in[i]) & 0xC0) == 0x80) {
            ++i;
        }
    }
}

} // namespace

bool is_utf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const int length = utf8_character_length(text.substr(i));
        if (length <= 0) {
            return false;
        }
        i += static_cast<std::size_t>(length);
    }
    return true;
}

std::string cp932_to_utf8(std::string_view bytes)
{
    std::string out;
    convert(out, "UTF-8", "CP932", bytes, replacement_utf8);
    return out;
}

std::string utf8_to_cp932(std::string_view text)
{
    std::string out;
    convert(out, "CP932", "UTF-8", text, "?");
    return out;
}

void append_as_utf8(std::string& out, const char* from, std::string_view bytes, bool drop_incomplete_tail)
{
    if (std::string_view(from) == "UTF-8") {
        append_checked_utf8(out, bytes, drop_incomplete_tail);
        return;
    }
    convert(out, "UTF-8", from, bytes, replacement_utf8, drop_incomplete_tail);
}
