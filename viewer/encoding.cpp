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

} // namespace

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
    convert(out, "UTF-8", from, bytes, replacement_utf8, drop_incomplete_tail);
}
