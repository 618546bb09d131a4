#include "encoding.h"

#include <cerrno>
#include <iconv.h>

namespace {

constexpr std::string_view replacement_utf8 = "\xEF\xBF\xBD";

// Runs iconv over the whole input; each byte it refuses is skipped and
// replaced by `replacement`.
std::string convert(const char* to, const char* from, std::string_view in, std::string_view replacement)
{
    std::string out;
    const bool from_utf8 = std::string_view(from) == "UTF-8";
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // No converter: keep the ASCII bytes and mark the rest.
        for (char c : in) {
            if (static_cast<unsigned char>(c) < 0x80) {
                out += c;
            } else {
                out += replacement;
            }
        }
        return out;
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
    iconv_close(cd);
    return out;
}

} // namespace

std::string cp932_to_utf8(std::string_view bytes) { return convert("UTF-8", "CP932", bytes, replacement_utf8); }

std::string utf8_to_cp932(std::string_view text) { return convert("CP932", "UTF-8", text, "?"); }
